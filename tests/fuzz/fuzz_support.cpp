#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>

#include "inspect/package.h"
#include "inspect/trace.h"
#include "platform/msgbox.h"

namespace fuzz {
namespace {

std::uint64_t g_fileSize = 0;
long g_blocks = 0;

void CheckLine(const char* line, std::size_t len) {
  // Every trace line is whole: not empty, and ended by a line feed.
  if (len == 0 || line[len - 1] != '\n') std::abort();
}

void NoBox(const char*, const char*) {}

void* CheckedAlloc(std::size_t size) {
  if (size > g_fileSize && size > 1) {
    std::fprintf(stderr, "info block of %zu bytes for a file of %llu bytes\n", size,
                 static_cast<unsigned long long>(g_fileSize));
    std::abort();
  }
  ++g_blocks;
  return std::malloc(size);
}

void CheckedFree(void* block) {
  --g_blocks;
  std::free(block);
}

std::filesystem::path ScratchBase() {
  std::random_device rd;
  return std::filesystem::temp_directory_path() /
         ("inspect-fuzz-" + std::to_string(rd()) + "-" + std::to_string(rd()));
}

struct Cleanup {
  std::map<std::string, std::string> paths;
  ~Cleanup() {
    for (const auto& [ext, path] : paths) std::remove(path.c_str());
  }
};

}  // namespace

void Prepare() {
  static const bool done = [] {
    inspect::SetTraceSink(CheckLine);
    inspect::SetInfoAllocator(CheckedAlloc, CheckedFree);
    platform::SetMessageBoxHandler(NoBox);
    return true;
  }();
  (void)done;
}

const std::string& WriteInput(const std::uint8_t* data, std::size_t size, const std::string& extension,
                              std::uint64_t padTo) {
  static const std::filesystem::path base = ScratchBase();
  static Cleanup cleanup;
  std::string& path = cleanup.paths[extension];
  if (path.empty()) path = base.string() + (extension.empty() ? "" : "." + extension);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  g_fileSize = size;
  if (padTo > size) {
    std::error_code ec;
    std::filesystem::resize_file(path, padTo, ec);
    if (ec) std::abort();
    g_fileSize = padTo;
  }
  return path;
}

void CheckBlocksFreed() {
  if (g_blocks != 0) std::abort();
}

}  // namespace fuzz
