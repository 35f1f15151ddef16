// Fuzz target: the upgrade package verifier on a file holding the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "inspect/package.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Prepare();
  const std::string& path = fuzz::WriteInput(data, size, "bin");
  char version[256];
  std::memset(version, 0x7E, sizeof version);
  version[0] = '\0';
  const int result = inspect::VerifyUpgradeFile(path.c_str(), version, 41);
  if (result != 0 && result != 1) std::abort();
  // The version never fills more than the room it was given.
  if (std::memchr(version, '\0', 41) == nullptr || version[41] != 0x7E) std::abort();
  fuzz::CheckBlocksFreed();
  return 0;
}
