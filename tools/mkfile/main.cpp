// upgrade-mkfile: builds upgrade packages, image unit files, "trx" firmware images and the
// fuzz seed corpora, with switches that spoil each CRC, name or length on purpose.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "res/version.h"
#include "tools/mkfile/builder.h"

namespace {

// A number: decimal or 0x hex, optionally followed by K, M or G (times 1024, 1024^2, 1024^3).
std::optional<std::uint64_t> ParseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::string digits = text;
  std::uint64_t scale = 1;
  const char last = digits.back();
  if (digits.size() > 1 && (last == 'K' || last == 'M' || last == 'G')) {
    scale = last == 'K' ? 1024ull : last == 'M' ? 1024ull * 1024 : 1024ull * 1024 * 1024;
    digits.pop_back();
  }
  char* end = nullptr;
  const unsigned long long v = std::strtoull(digits.c_str(), &end, 0);
  if (end == digits.c_str() || *end != '\0' || digits[0] == '-') return std::nullopt;
  return static_cast<std::uint64_t>(v) * scale;
}

std::optional<std::uint32_t> ParseU32(const std::string& text) {
  auto v = ParseNumber(text);
  if (!v || *v > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(*v);
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(sep, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

bool Fail(const std::string& what) {
  std::fprintf(stderr, "upgrade-mkfile: %s\n", what.c_str());
  return false;
}

// NAME[,info=N][,infobyte=B][,formats=T/T/..][,count=N][,infolen=N][,next=N][,payload=N]
//     [,spoil=unit+fmthdr+entryI+infohdr+info]
bool ParseUnit(const std::string& text, mkfile::SUnitPlan& unit) {
  const std::vector<std::string> parts = Split(text, ',');
  unit.strName = parts[0];
  std::uint8_t infoByte = 0x5A;
  std::size_t infoLen = unit.info.size();
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::size_t eq = parts[i].find('=');
    if (eq == std::string::npos) return Fail("unit field without '=': " + parts[i]);
    const std::string key = parts[i].substr(0, eq);
    const std::string value = parts[i].substr(eq + 1);
    if (key == "formats") {
      unit.formats.clear();
      if (value.empty()) continue;
      for (const std::string& t : Split(value, '/')) {
        auto type = ParseU32(t);
        if (!type) return Fail("bad format type: " + t);
        unit.formats.push_back({*type, false});
      }
      continue;
    }
    if (key == "spoil") {
      for (const std::string& s : Split(value, '+')) {
        if (s == "unit") unit.bBadUnitCrc = true;
        else if (s == "fmthdr") unit.bBadFormatHeaderCrc = true;
        else if (s == "infohdr") unit.bBadInfoHeaderCrc = true;
        else if (s == "info") unit.bBadInfoCrc = true;
        else if (s.rfind("entry", 0) == 0) {
          auto n = ParseU32(s.substr(5));
          if (!n || *n >= unit.formats.size()) return Fail("no such format entry to spoil: " + s);
          unit.formats[*n].bBadCrc = true;
        } else {
          return Fail("unknown spoil switch: " + s);
        }
      }
      continue;
    }
    auto number = ParseU32(value);
    if (!number) return Fail("bad number in unit field: " + parts[i]);
    if (key == "info") infoLen = *number;
    else if (key == "infobyte") infoByte = static_cast<std::uint8_t>(*number);
    else if (key == "count") unit.dwFormatCount = *number;
    else if (key == "infolen") unit.dwInfoLen = *number;
    else if (key == "next") unit.dwNextUnitOffset = *number;
    else if (key == "payload") unit.dwPayloadLen = *number;
    else return Fail("unknown unit field: " + key);
  }
  if (infoLen > (64u << 20)) return Fail("info data above 64 MiB");
  unit.info = mkfile::Bytes(infoLen, infoByte);
  return true;
}

// HEAD,DATA[,magic=N][,fill=B][,info=TEXT]  (info takes the rest of the text, commas included)
bool ParseImageUnit(const std::string& text, mkfile::SImageUnitPlan& unit) {
  std::string rest = text;
  const std::size_t infoAt = rest.find(",info=");
  if (infoAt != std::string::npos) {
    unit.strInfo = rest.substr(infoAt + 6);
    rest = rest.substr(0, infoAt);
  }
  const std::vector<std::string> parts = Split(rest, ',');
  if (parts.size() < 2) return Fail("an image unit needs HEAD,DATA: " + text);
  auto head = ParseU32(parts[0]);
  auto data = ParseU32(parts[1]);
  if (!head || !data) return Fail("bad unit lengths: " + text);
  unit.dwHeadLen = *head;
  unit.dwDataLen = *data;
  for (std::size_t i = 2; i < parts.size(); ++i) {
    const std::size_t eq = parts[i].find('=');
    auto number = eq == std::string::npos ? std::nullopt : ParseU32(parts[i].substr(eq + 1));
    if (!number) return Fail("bad image unit field: " + parts[i]);
    const std::string key = parts[i].substr(0, eq);
    if (key == "magic") unit.dwMagic = *number;
    else if (key == "fill") unit.byFill = static_cast<std::uint8_t>(*number);
    else return Fail("unknown image unit field: " + key);
  }
  return true;
}

bool Write(const mkfile::CFileImage& image, const std::string& path) {
  if (!image.WriteTo(path)) return Fail("cannot write " + path);
  return true;
}

bool SizeOption(const std::string& text, std::uint64_t& out) {
  if (text.empty()) return true;
  auto v = ParseNumber(text);
  if (!v) return Fail("bad size: " + text);
  out = *v;
  return true;
}

struct Options {
  std::string out;
  std::string name = "UPGPKG 1.0";
  std::string version = "1.0.0";
  std::string firstOffset;
  bool badHeaderCrc = false;
  std::vector<std::string> units;
  std::string size;
  std::string truncate;
  std::string trailing;
  std::string trailingByte;
  std::string tag = "Q770";
  std::string target;
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Builds upgrade files for tests, fuzzing and benchmarks."};
  app.allow_windows_style_options(false);  // "/path" is a path on every system
  app.require_subcommand(1);
  app.set_version_flag("--version", res::VersionLine("upgrade-mkfile"));
  auto o = std::make_shared<Options>();
  int status = 0;

  CLI::App* package = app.add_subcommand("package", "An upgrade package (\"UPGPKG 1.0\" and its units)");
  package->add_option("OUT", o->out, "File to write")->required();
  package->add_option("--name", o->name, "Package header name (default \"UPGPKG 1.0\")");
  package->add_option("--version", o->version, "Version text (40 characters leave no NUL)");
  package->add_option("--first-offset", o->firstOffset, "Stated offset of the first unit (default 64)");
  package->add_flag("--bad-header-crc", o->badHeaderCrc, "Spoil the package header's CRC");
  package->add_option("--unit", o->units,
                      "NAME[,info=N][,infobyte=B][,formats=T/T..][,count=N][,infolen=N][,next=N]"
                      "[,payload=N][,spoil=unit+fmthdr+entryI+infohdr+info]; repeat in file order");
  package->add_option("--size", o->size, "Pad with zeros to this size (K, M, G suffixes)");
  package->add_option("--truncate", o->truncate, "Cut the file to this size");
  package->callback([o, &status] {
    mkfile::SPackagePlan plan;
    plan.strName = o->name;
    plan.strVersion = o->version;
    plan.bBadHeaderCrc = o->badHeaderCrc;
    bool ok = true;
    if (!o->firstOffset.empty()) {
      auto v = ParseU32(o->firstOffset);
      ok = v ? (plan.dwFirstUnitOffset = *v, true) : Fail("bad --first-offset");
    }
    for (const std::string& u : o->units) {
      mkfile::SUnitPlan unit;
      ok = ok && ParseUnit(u, unit);
      plan.units.push_back(unit);
    }
    std::uint64_t cut = 0;
    ok = ok && SizeOption(o->size, plan.qwSize) && SizeOption(o->truncate, cut);
    if (!o->truncate.empty()) plan.qwTruncate = cut;
    status = ok && Write(mkfile::BuildPackage(plan), o->out) ? 0 : 1;
  });

  CLI::App* image = app.add_subcommand("image", "An image unit file (chained 0xA55AAA55 unit headers)");
  image->add_option("OUT", o->out, "File to write")->required();
  image->add_option("--unit", o->units, "HEAD,DATA[,magic=N][,fill=B][,info=TEXT]; repeat in chain order");
  image->add_option("--trailing", o->trailing, "Bytes after the last unit");
  image->add_option("--trailing-byte", o->trailingByte, "Value of the trailing bytes (default 0)");
  image->add_option("--size", o->size, "Pad with zeros to this size");
  image->callback([o, &status] {
    mkfile::SImagePlan plan;
    bool ok = true;
    for (const std::string& u : o->units) {
      mkfile::SImageUnitPlan unit;
      ok = ok && ParseImageUnit(u, unit);
      plan.units.push_back(unit);
    }
    std::uint64_t byte = 0;
    ok = ok && SizeOption(o->trailing, plan.qwTrailing) && SizeOption(o->trailingByte, byte) &&
         SizeOption(o->size, plan.qwSize);
    plan.byTrailing = static_cast<std::uint8_t>(byte);
    status = ok && Write(mkfile::BuildImage(plan), o->out) ? 0 : 1;
  });

  CLI::App* trx = app.add_subcommand("trx", "A \"trx\" firmware image (model tag at 28, version at 76)");
  trx->add_option("OUT", o->out, "File to write")->required();
  trx->add_option("--size", o->size, "File size (default 1M)");
  trx->add_option("--tag", o->tag, "Model tag (default Q770)");
  trx->add_option("--version", o->version, "Version text (32 characters leave no NUL)");
  trx->callback([o, &status] {
    mkfile::STrxPlan plan;
    plan.strTag = o->tag;
    plan.strVersion = o->version;
    const bool ok = SizeOption(o->size, plan.qwSize);
    status = ok && Write(mkfile::BuildTrx(plan), o->out) ? 0 : 1;
  });

  CLI::App* seeds = app.add_subcommand("seeds", "The seed corpus of a fuzz target");
  seeds->add_option("TARGET", o->target, "package, image or analysis")
      ->required()
      ->check(CLI::IsMember({"package", "image", "analysis"}));
  seeds->add_option("DIR", o->out, "Directory to fill")->required();
  seeds->callback([o, &status] {
    std::error_code ec;
    std::filesystem::create_directories(o->out, ec);
    bool ok = !ec;
    for (const auto& [name, bytes] : mkfile::SeedCorpus(o->target)) {
      mkfile::CFileImage file;
      file.Put(0, bytes);
      ok = ok && Write(file, (std::filesystem::path(o->out) / name).string());
    }
    status = ok ? 0 : 1;
  });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  return status;
}
