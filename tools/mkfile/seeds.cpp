// Seed corpora for the fuzz targets, made with the builder like every other test file.
#include "tools/mkfile/builder.h"

namespace mkfile {
namespace {

SUnitPlan Unit(const char* name, std::size_t infoLen = 8) {
  SUnitPlan u;
  u.strName = name;
  u.info = Bytes(infoLen, 0x5A);
  u.dwPayloadLen = 16;
  return u;
}

std::vector<std::pair<std::string, SPackagePlan>> PackageSpecs() {
  std::vector<std::pair<std::string, SPackagePlan>> out;
  auto add = [&out](std::string name, SPackagePlan plan) { out.emplace_back(std::move(name), std::move(plan)); };
  SPackagePlan full;
  full.units = {Unit("BOOT"), Unit("ROUTER"), Unit("MODEM")};
  add("full", full);
  SPackagePlan none;
  add("no-units", none);
  SPackagePlan two;
  two.units = {Unit("ROUTER"), Unit("MODEM")};
  add("router-modem", two);
  SPackagePlan empty = full;
  empty.units[0].info.clear();
  add("boot-empty-info", empty);
  SPackagePlan formats = full;
  formats.units[1].formats = {{0, false}, {1, false}, {3, false}, {4, false}};
  add("four-formats", formats);
  SPackagePlan five = full;
  five.units[2].formats = std::vector<SFormatPlan>(5);
  add("five-formats", five);
  SPackagePlan delta = full;
  delta.units[0].formats = {{2, false}};
  add("delta", delta);
  SPackagePlan lying = full;
  lying.units[1].dwFormatCount = 0xFFFFFFFFu;
  add("count-huge", lying);
  SPackagePlan longInfo = full;
  longInfo.units[2].dwInfoLen = 0x7FFFFFF0u;
  add("infolen-beyond", longInfo);
  SPackagePlan bad = full;
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
  SPackagePlan noNul = full;
  noNul.strVersion = std::string(40, 'V');
  add("version-no-nul", noNul);
  SPackagePlan cut = full;
  cut.qwTruncate = 40;
  add("short", cut);
  SPackagePlan loop = full;
  loop.units[0].dwNextUnitOffset = 64;
  add("next-self", loop);
  return out;
}

std::vector<std::pair<std::string, SImagePlan>> ImageSpecs() {
  std::vector<std::pair<std::string, SImagePlan>> out;
  auto add = [&out](std::string name, SImagePlan plan) { out.emplace_back(std::move(name), std::move(plan)); };
  SImageUnitPlan u;
  u.dwDataLen = 30;
  u.strInfo = "APP:Q770:1.0.5";
  SImagePlan one;
  one.units = {u};
  add("one", one);
  SImagePlan three;
  three.units = {u, u, u};
  three.units[1].dwDataLen = 3;
  add("three", three);
  SImagePlan tail = three;
  tail.qwTrailing = 50;
  add("tail-short", tail);
  tail.qwTrailing = 120;
  tail.byTrailing = 0x33;
  add("tail-long", tail);
  SImagePlan sixteen;
  sixteen.units = std::vector<SImageUnitPlan>(16, u);
  add("sixteen", sixteen);
  sixteen.units.push_back(u);
  add("seventeen", sixteen);
  SImagePlan zero;
  zero.units = {u};
  zero.units[0].dwHeadLen = 0;
  zero.units[0].dwDataLen = 0;
  add("zero-step", zero);
  SImagePlan noColon = one;
  noColon.units[0].strInfo = "APPQ770";
  add("no-colon", noColon);
  SImagePlan noNul = one;
  noNul.units[0].strInfo = std::string(20, 'A') + ":" + std::string(11, '9');
  add("info-no-nul", noNul);
  SImagePlan wrap = one;
  wrap.units[0].dwDataLen = 0xFFFFFFF0u;
  add("wrap", wrap);
  return out;
}

}  // namespace

std::vector<std::pair<std::string, Bytes>> SeedCorpus(const std::string& target) {
  std::vector<std::pair<std::string, Bytes>> out;
  if (target == "package") {
    for (auto& [name, plan] : PackageSpecs()) out.emplace_back(name, BuildPackage(plan).Flatten());
  } else if (target == "image") {
    for (auto& [name, plan] : ImageSpecs()) out.emplace_back(name, BuildImage(plan).Flatten());
  } else if (target == "analysis") {
    auto with = [&out](std::string name, std::uint8_t selector, Bytes file) {
      file.insert(file.begin(), selector);
      out.emplace_back(std::move(name), std::move(file));
    };
    for (auto& [name, plan] : PackageSpecs()) with("bin-" + name, kAnalysisPadFlag | 0, BuildPackage(plan).Flatten());
    for (auto& [name, plan] : ImageSpecs()) with("BIN-" + name, kAnalysisPadFlag | 1, BuildImage(plan).Flatten());
    STrxPlan trx;
    trx.qwSize = 128;
    with("trx", kAnalysisPadFlag | 2, BuildTrx(trx).Flatten());
    trx.strTag = "Q771";
    with("trx-bad-tag", kAnalysisPadFlag | 2, BuildTrx(trx).Flatten());
    with("bin-small", 0, BuildPackage(PackageSpecs().front().second).Flatten());
    with("TRX", kAnalysisPadFlag | 3, BuildTrx(STrxPlan{128, "Q770", "1.2.3"}).Flatten());
  }
  return out;
}

}  // namespace mkfile
