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

#include "platform/console.h"
#include "res/version.h"
#include "tools/mkfile/builder.h"
#include "tools/mkfile/numbers.h"

namespace {

// A usage error: CLI11 prints it as one line and the program ends with status 2.
[[noreturn]] void Refuse(const std::string& what) { throw CLI::ValidationError(what); }

std::uint64_t Number(const std::string& text, std::uint64_t max, const std::string& what) {
  auto v = mkfile::ParseNumber(text, max);
  if (!v) {
    char range[64];
    std::snprintf(range, sizeof range, "%llu", static_cast<unsigned long long>(max));
    Refuse(what + ": \"" + text + "\" is not a number from 0 to " + range +
           " (decimal or 0x hex, optionally K, M or G)");
  }
  return *v;
}

std::uint32_t U32(const std::string& text, const std::string& what) {
  return static_cast<std::uint32_t>(Number(text, mkfile::kMaxU32, what));
}
std::uint8_t Byte(const std::string& text, const std::string& what) {
  return static_cast<std::uint8_t>(Number(text, mkfile::kMaxByte, what));
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

// NAME[,info=N][,infobyte=B][,formats=T/T/..][,count=N][,infolen=N][,next=N][,payload=N]
//     [,spoil=unit+fmthdr+entryI+infohdr+info]
mkfile::SUnitPlan ParseUnit(const std::string& text) {
  mkfile::SUnitPlan unit;
  const std::vector<std::string> parts = Split(text, ',');
  unit.strName = parts[0];
  std::uint8_t infoByte = 0x5A;
  std::uint64_t infoLen = unit.info.size();
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::size_t eq = parts[i].find('=');
    if (eq == std::string::npos) Refuse("--unit: field without '=': " + parts[i]);
    const std::string key = parts[i].substr(0, eq);
    const std::string value = parts[i].substr(eq + 1);
    const std::string what = "--unit " + key;
    if (key == "formats") {
      unit.formats.clear();
      if (value.empty()) continue;
      for (const std::string& t : Split(value, '/')) unit.formats.push_back({U32(t, what), false});
    } else if (key == "spoil") {
      for (const std::string& sw : Split(value, '+')) {
        if (sw == "unit") unit.bBadUnitCrc = true;
        else if (sw == "fmthdr") unit.bBadFormatHeaderCrc = true;
        else if (sw == "infohdr") unit.bBadInfoHeaderCrc = true;
        else if (sw == "info") unit.bBadInfoCrc = true;
        else if (sw.rfind("entry", 0) == 0) {
          const std::uint32_t n = U32(sw.substr(5), "--unit spoil=entry");
          if (n >= unit.formats.size()) Refuse("--unit spoil: no format entry " + sw.substr(5) + " to spoil");
          unit.formats[n].bBadCrc = true;
        } else {
          Refuse("--unit spoil: unknown switch " + sw);
        }
      }
    } else if (key == "info") infoLen = Number(value, 64u << 20, what);  // held in memory: at most 64 MiB
    else if (key == "infobyte") infoByte = Byte(value, what);
    else if (key == "count") unit.dwFormatCount = U32(value, what);
    else if (key == "infolen") unit.dwInfoLen = U32(value, what);
    else if (key == "next") unit.dwNextUnitOffset = U32(value, what);
    else if (key == "payload") unit.dwPayloadLen = U32(value, what);
    else Refuse("--unit: unknown field " + key);
  }
  unit.info = mkfile::Bytes(static_cast<std::size_t>(infoLen), infoByte);
  return unit;
}

// HEAD,DATA[,magic=N][,fill=B][,info=TEXT]  (info takes the rest of the text, commas included)
mkfile::SImageUnitPlan ParseImageUnit(const std::string& text) {
  mkfile::SImageUnitPlan unit;
  std::string rest = text;
  const std::size_t infoAt = rest.find(",info=");
  if (infoAt != std::string::npos) {
    unit.strInfo = rest.substr(infoAt + 6);
    rest = rest.substr(0, infoAt);
  }
  const std::vector<std::string> parts = Split(rest, ',');
  if (parts.size() < 2) Refuse("--unit: an image unit needs HEAD,DATA: " + text);
  unit.dwHeadLen = U32(parts[0], "--unit HEAD");
  unit.dwDataLen = U32(parts[1], "--unit DATA");
  for (std::size_t i = 2; i < parts.size(); ++i) {
    const std::size_t eq = parts[i].find('=');
    const std::string key = parts[i].substr(0, eq);
    if (eq == std::string::npos) Refuse("--unit: field without '=': " + parts[i]);
    const std::string value = parts[i].substr(eq + 1);
    if (key == "magic") unit.dwMagic = U32(value, "--unit magic");
    else if (key == "fill") unit.byFill = Byte(value, "--unit fill");
    else Refuse("--unit: unknown field " + key);
  }
  return unit;
}

// Writes the file whole or leaves what was there; status 1 with a line when it cannot.
int Write(const mkfile::CFileImage& image, const std::string& path) {
  std::string error;
  if (image.WriteTo(path, &error)) return 0;
  std::fprintf(stderr, "upgrade-mkfile: %s\n", error.c_str());
  return 1;
}

// The seed corpus of a fuzz target into a folder, made when missing; says what it did.
int WriteSeeds(const std::string& target, const std::string& dir) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status st = fs::status(dir, ec);
  bool made = false;
  if (fs::exists(st) && !fs::is_directory(st)) {
    std::fprintf(stderr, "upgrade-mkfile: seeds: %s is not a folder; nothing written\n", dir.c_str());
    return 1;
  }
  if (!fs::exists(st)) {
    made = fs::create_directories(dir, ec);
    if (!made) {
      std::fprintf(stderr, "upgrade-mkfile: seeds: cannot make the folder %s: %s\n", dir.c_str(), ec.message().c_str());
      return 1;
    }
  }
  int written = 0, replaced = 0, failed = 0;
  for (const auto& [name, bytes] : mkfile::SeedCorpus(target)) {
    const fs::path path = fs::path(dir) / name;
    const bool existed = fs::exists(fs::symlink_status(path, ec));
    mkfile::CFileImage file;
    file.Put(0, bytes);
    if (Write(file, path.string()) != 0) {
      ++failed;
      continue;
    }
    ++written;
    if (existed) ++replaced;
  }
  std::printf("upgrade-mkfile: seeds %s: %d file(s) written into %s %s, %d of them replacing a file of the same name",
              target.c_str(), written, made ? "the new folder" : "the existing folder", dir.c_str(), replaced);
  if (failed > 0) std::printf("; %d could not be written", failed);
  std::printf("\n");
  return failed > 0 ? 1 : 0;
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
  argv = platform::Utf8Arguments(argc, argv);
  CLI::App app{"Builds upgrade files for tests, fuzzing and benchmarks. Every file is written whole\n"
               "to a temporary file beside it and renamed into place, or not at all; only a regular\n"
               "file (or a new one) is replaced. Exit status 0, 1 when a file cannot be written, 2 for\n"
               "a usage error."};
  app.allow_windows_style_options(false);  // "/path" is a path on every system
  app.failure_message([](const CLI::App*, const CLI::Error& e) { return "upgrade-mkfile: " + std::string(e.what()) + "\n"; });
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
    if (!o->firstOffset.empty()) plan.dwFirstUnitOffset = U32(o->firstOffset, "--first-offset");
    for (const std::string& u : o->units) plan.units.push_back(ParseUnit(u));
    if (!o->size.empty()) plan.qwSize = Number(o->size, mkfile::kMaxFileSize, "--size");
    mkfile::CFileImage file = mkfile::BuildPackage(plan);
    if (!o->truncate.empty()) {
      const std::uint64_t cut = Number(o->truncate, mkfile::kMaxFileSize, "--truncate");
      if (cut > file.Size())
        Refuse("--truncate: " + o->truncate + " is beyond the end of the " + std::to_string(file.Size()) +
               "-byte file; it only cuts");
      file.Resize(cut);
    }
    status = Write(file, o->out);
  });

  CLI::App* image = app.add_subcommand("image", "An image unit file (chained 0xA55AAA55 unit headers)");
  image->add_option("OUT", o->out, "File to write")->required();
  image->add_option("--unit", o->units, "HEAD,DATA[,magic=N][,fill=B][,info=TEXT]; repeat in chain order");
  image->add_option("--trailing", o->trailing, "Bytes after the last unit");
  image->add_option("--trailing-byte", o->trailingByte, "Value of the trailing bytes (default 0)");
  image->add_option("--size", o->size, "Pad with zeros to this size");
  image->callback([o, &status] {
    mkfile::SImagePlan plan;
    for (const std::string& u : o->units) plan.units.push_back(ParseImageUnit(u));
    if (!o->trailing.empty()) plan.qwTrailing = Number(o->trailing, mkfile::kMaxFileSize, "--trailing");
    if (!o->trailingByte.empty()) plan.byTrailing = Byte(o->trailingByte, "--trailing-byte");
    if (!o->size.empty()) plan.qwSize = Number(o->size, mkfile::kMaxFileSize, "--size");
    status = Write(mkfile::BuildImage(plan), o->out);
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
    if (!o->size.empty()) plan.qwSize = Number(o->size, mkfile::kMaxFileSize, "--size");
    status = Write(mkfile::BuildTrx(plan), o->out);
  });

  CLI::App* seeds = app.add_subcommand("seeds", "The seed corpus of a fuzz target");
  seeds->add_option("TARGET", o->target, "package, image or analysis")
      ->required()
      ->check(CLI::IsMember({"package", "image", "analysis"}));
  seeds->add_option("DIR", o->out, "Directory to fill")->required();
  seeds->callback([o, &status] { status = WriteSeeds(o->target, o->out); });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  return status;
}
