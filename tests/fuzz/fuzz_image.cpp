// Fuzz target: the image unit parser on a file holding the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "inspect/image.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Prepare();
  const std::string& path = fuzz::WriteInput(data, size, "bin");
  char version[64];
  std::memset(version, 0x7E, sizeof version);
  version[0] = '\0';
  const int result = inspect::ParseImageFile(path.c_str(), version, 33);
  if (result != 0 && result != 1) std::abort();
  if (std::memchr(version, '\0', 33) == nullptr || version[33] != 0x7E) std::abort();
  return 0;
}
