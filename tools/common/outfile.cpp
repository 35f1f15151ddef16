#include "tools/common/outfile.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <system_error>
#include <vector>

namespace tools {
namespace fs = std::filesystem;
namespace {

// A name in the target's folder that nothing has yet: the target's name, a dot and a
// random suffix (made of the clock and the random device, so that two tools writing into
// one folder at once do not meet).
fs::path TemporaryName(const fs::path& target) {
  static std::mt19937_64 rng([] {
    std::random_device rd;
    return (static_cast<std::uint64_t>(rd()) << 32) ^ rd() ^
           static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(rng()));
    fs::path candidate = target;
    candidate += suffix;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate;
  }
  return {};
}

// The program holds names in UTF-8 (on Windows too: platform::Utf8Arguments); a path made
// from a std::string would read it in the ANSI code page there, which holds few names.
fs::path FromUtf8(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
std::string ToUtf8(const fs::path& p) {
  const std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

}  // namespace

bool COutputFile::Open(const std::string& path, std::string* error) {
  Discard();
  auto refuse = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (path.empty()) return refuse("no file name given");
  std::error_code ec;
  fs::path target = FromUtf8(path);
  if (!target.has_filename()) return refuse(path + " names a folder, not a regular file");
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    const fs::path real = fs::canonical(target, ec);
    if (ec) return refuse(path + " is a link to nothing that can be written");
    target = real;
  }
  const fs::file_status st = fs::status(target, ec);
  if (fs::exists(st) && !fs::is_regular_file(st)) return refuse(path + " is not a regular file");
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  if (!fs::is_directory(folder, ec)) return refuse("no folder " + ToUtf8(folder) + " for " + path);
  temp_ = TemporaryName(target);
  if (temp_.empty()) return refuse("cannot find a free temporary name beside " + path);
  file_.open(temp_, std::ios::binary | std::ios::out | std::ios::trunc);
  if (!file_.is_open()) {
    temp_.clear();
    return refuse("cannot create a file in " + ToUtf8(folder));
  }
  target_ = target;
  open_ = true;
  ok_ = true;
  return true;
}

bool COutputFile::Write(const void* data, std::size_t n) {
  if (ok_ && n > 0) ok_ = static_cast<bool>(file_.write(static_cast<const char*>(data), static_cast<std::streamsize>(n)));
  return ok_;
}

bool COutputFile::Seek(std::uint64_t offset) {
  if (ok_) ok_ = offset <= static_cast<std::uint64_t>(INT64_MAX) &&
                 static_cast<bool>(file_.seekp(static_cast<std::streamoff>(offset), std::ios::beg));
  return ok_;
}

bool COutputFile::Fill(std::uint64_t count, std::uint8_t value) {
  static constexpr std::size_t kBlock = 1 << 16;
  const std::vector<char> block(static_cast<std::size_t>(std::min<std::uint64_t>(count, kBlock)),
                                static_cast<char>(value));
  while (ok_ && count > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kBlock));
    Write(block.data(), n);
    count -= n;
  }
  return ok_;
}

bool COutputFile::Commit(std::uint64_t size, std::string* error) {
  if (!open_) {
    if (error) *error = "nothing to write";
    return false;
  }
  file_.flush();
  ok_ = ok_ && static_cast<bool>(file_);
  file_.close();
  ok_ = ok_ && !file_.fail();
  std::error_code ec;
  if (ok_ && size <= static_cast<std::uint64_t>(INT64_MAX)) {
    fs::resize_file(temp_, size, ec);  // the zero background after the last bytes stays a hole
    ok_ = !ec;
  } else {
    ok_ = false;
  }
  if (ok_) {
    fs::rename(temp_, target_, ec);
    ok_ = !ec;
  }
  if (!ok_) {
    if (error) *error = "cannot write " + ToUtf8(target_) + (ec ? ": " + ec.message() : std::string());
    Discard();
    return false;
  }
  open_ = false;
  temp_.clear();
  return true;
}

void COutputFile::Discard() {
  if (file_.is_open()) file_.close();
  if (!temp_.empty()) {
    std::error_code ec;
    fs::remove(temp_, ec);
    temp_.clear();
  }
  open_ = false;
  ok_ = false;
}

}  // namespace tools
