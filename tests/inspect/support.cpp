#include "tests/inspect/support.h"

#include <cstdlib>
#include <random>

#include "inspect/package.h"
#include "inspect/trace.h"
#include "transmit/crc32.h"

namespace inspect_test {
namespace {

std::string g_traced;
void Collect(const char* line, std::size_t len) { g_traced.append(line, len); }

int g_allocated = 0;
int g_freed = 0;
std::size_t g_largest = 0;
bool g_fail = false;

void* CountedAlloc(std::size_t size) {
  if (g_fail) return nullptr;
  ++g_allocated;
  if (size > g_largest) g_largest = size;
  return std::malloc(size);
}

void CountedFree(void* block) {
  ++g_freed;
  std::free(block);
}

}  // namespace

TraceCapture::TraceCapture() {
  g_traced.clear();
  inspect::SetTraceSink(Collect);
}
TraceCapture::~TraceCapture() { inspect::SetTraceSink(nullptr); }
std::string TraceCapture::Take() {
  std::string out;
  out.swap(g_traced);
  return out;
}

ScratchDir::ScratchDir() {
  std::random_device rd;
  m_dir = std::filesystem::temp_directory_path() / ("inspect-test-" + std::to_string(rd()) + std::to_string(rd()));
  std::filesystem::create_directories(m_dir);
}
ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_dir, ec);
}
std::string ScratchDir::Path(const std::string& name) const { return (m_dir / name).string(); }
std::string ScratchDir::Write(const std::string& name, const mkfile::CFileImage& image) const {
  const std::string path = Path(name);
  if (!image.WriteTo(path)) std::abort();
  return path;
}

AllocationCounter::AllocationCounter(bool failAllocations) {
  g_allocated = g_freed = 0;
  g_largest = 0;
  g_fail = failAllocations;
  inspect::SetInfoAllocator(CountedAlloc, CountedFree);
}
AllocationCounter::~AllocationCounter() {
  inspect::SetInfoAllocator(nullptr, nullptr);
  g_fail = false;
}
int AllocationCounter::Allocated() const { return g_allocated; }
int AllocationCounter::Freed() const { return g_freed; }
std::size_t AllocationCounter::Largest() const { return g_largest; }

std::uint32_t LoadLE32(const mkfile::Bytes& b, std::size_t off) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    if (off + i < b.size()) v |= static_cast<std::uint32_t>(b[off + i]) << (8 * i);
  }
  return v;
}

std::uint32_t RecordCrc(const mkfile::Bytes& b, std::size_t off, std::size_t len, std::size_t crcOff) {
  mkfile::Bytes record(len, 0);
  for (std::size_t i = 0; i < len && off + i < b.size(); ++i) record[i] = b[off + i];
  for (std::size_t i = 0; i < 4; ++i) record[crcOff + i] = 0;
  return Crc32Update(0, record.data(), static_cast<std::uint32_t>(len));
}

std::uint32_t CrcOf(const mkfile::Bytes& b, std::size_t off, std::size_t len) {
  return Crc32Update(0, b.data() + off, static_cast<std::uint32_t>(len));
}

}  // namespace inspect_test
