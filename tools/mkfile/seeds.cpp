// Seed corpora for the fuzz targets, made with the builder like every other test file.
#include "tools/mkfile/builder.h"

namespace mkfile {
namespace {

SUnitSpec Unit(const char* name, std::size_t infoLen = 8) {
  SUnitSpec u;
  u.strName = name;
  u.info = Bytes(infoLen, 0x5A);
  u.dwPayloadLen = 16;
  return u;
}

std::vector<std::pair<std::string, SPackageSpec>> PackageSpecs() {
  std::vector<std::pair<std::string, SPackageSpec>> out;
  auto add = [&out](std::string name, SPackageSpec spec) { out.emplace_back(std::move(name), std::move(spec)); };
  SPackageSpec full;
  full.units = {Unit("BOOT"), Unit("ROUTER"), Unit("MODEM")};
  add("full", full);
  SPackageSpec none;
  add("no-units", none);
  SPackageSpec two;
  two.units = {Unit("ROUTER"), Unit("MODEM")};
  add("router-modem", two);
  SPackageSpec empty = full;
  empty.units[0].info.clear();
  add("boot-empty-info", empty);
  SPackageSpec formats = full;
  formats.units[1].formats = {{0, false}, {1, false}, {3, false}, {4, false}};
  add("four-formats", formats);
  SPackageSpec five = full;
  five.units[2].formats = std::vector<SFormatSpec>(5);
  add("five-formats", five);
  SPackageSpec delta = full;
  delta.units[0].formats = {{2, false}};
  add("delta", delta);
  SPackageSpec lying = full;
  lying.units[1].dwFormatCount = 0xFFFFFFFFu;
  add("count-huge", lying);
  SPackageSpec longInfo = full;
  longInfo.units[2].dwInfoLen = 0x7FFFFFF0u;
  add("infolen-beyond", longInfo);
  SPackageSpec bad = full;
  bad.units[0].bBadUnitCrc = true;
  add("bad-unit-crc", bad);
  bad = full;
  bad.units[1].bBadFormatHeaderCrc = true;
  add("bad-format-header-crc", bad);
  bad = full;
  bad.units[1].formats[0].bBadCrc = true;
  add("bad-entry-crc", bad);
  bad = full;
  bad.units[2].bBadInfoHeaderCrc = true;
  add("bad-info-header-crc", bad);
  bad = full;
  bad.units[2].bBadInfoCrc = true;
  add("bad-info-crc", bad);
  bad = full;
  bad.bBadHeaderCrc = true;
  add("bad-header-crc", bad);
  SPackageSpec noNul = full;
  noNul.strVersion = std::string(40, 'V');
  add("version-no-nul", noNul);
  SPackageSpec cut = full;
  cut.qwTruncate = 40;
  add("short", cut);
  SPackageSpec loop = full;
  loop.units[0].dwNextUnitOffset = 64;
  add("next-self", loop);
  return out;
}

std::vector<std::pair<std::string, SImageSpec>> ImageSpecs() {
  std::vector<std::pair<std::string, SImageSpec>> out;
  auto add = [&out](std::string name, SImageSpec spec) { out.emplace_back(std::move(name), std::move(spec)); };
  SImageUnitSpec u;
  u.dwDataLen = 30;
  u.strInfo = "APP:Q770:1.0.5";
  SImageSpec one;
  one.units = {u};
  add("one", one);
  SImageSpec three;
  three.units = {u, u, u};
  three.units[1].dwDataLen = 3;
  add("three", three);
  SImageSpec tail = three;
  tail.qwTrailing = 50;
  add("tail-short", tail);
  tail.qwTrailing = 120;
  tail.byTrailing = 0x33;
  add("tail-long", tail);
  SImageSpec sixteen;
  sixteen.units = std::vector<SImageUnitSpec>(16, u);
  add("sixteen", sixteen);
  sixteen.units.push_back(u);
  add("seventeen", sixteen);
  SImageSpec zero;
  zero.units = {u};
  zero.units[0].dwHeadLen = 0;
  zero.units[0].dwDataLen = 0;
  add("zero-step", zero);
  SImageSpec noColon = one;
  noColon.units[0].strInfo = "APPQ770";
  add("no-colon", noColon);
  SImageSpec noNul = one;
  noNul.units[0].strInfo = std::string(20, 'A') + ":" + std::string(11, '9');
  add("info-no-nul", noNul);
  SImageSpec wrap = one;
  wrap.units[0].dwDataLen = 0xFFFFFFF0u;
  add("wrap", wrap);
  return out;
}

}  // namespace

std::vector<std::pair<std::string, Bytes>> SeedCorpus(const std::string& target) {
  std::vector<std::pair<std::string, Bytes>> out;
  if (target == "package") {
    for (auto& [name, spec] : PackageSpecs()) out.emplace_back(name, BuildPackage(spec).Flatten());
  } else if (target == "image") {
    for (auto& [name, spec] : ImageSpecs()) out.emplace_back(name, BuildImage(spec).Flatten());
  } else if (target == "analysis") {
    auto with = [&out](std::string name, std::uint8_t selector, Bytes file) {
      file.insert(file.begin(), selector);
      out.emplace_back(std::move(name), std::move(file));
    };
    for (auto& [name, spec] : PackageSpecs()) with("bin-" + name, kAnalysisPadFlag | 0, BuildPackage(spec).Flatten());
    for (auto& [name, spec] : ImageSpecs()) with("BIN-" + name, kAnalysisPadFlag | 1, BuildImage(spec).Flatten());
    STrxSpec trx;
    trx.qwSize = 128;
    with("trx", kAnalysisPadFlag | 2, BuildTrx(trx).Flatten());
    trx.strTag = "Q771";
    with("trx-bad-tag", kAnalysisPadFlag | 2, BuildTrx(trx).Flatten());
    with("bin-small", 0, BuildPackage(PackageSpecs().front().second).Flatten());
    with("TRX", kAnalysisPadFlag | 3, BuildTrx(STrxSpec{128, "Q770", "1.2.3"}).Flatten());
  }
  return out;
}

}  // namespace mkfile
