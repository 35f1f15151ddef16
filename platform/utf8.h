// Cutting UTF-8 texts to a number of bytes without splitting a character.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The longest start of utf8 that fits in maxBytes without cutting a character: a split one
// would show as a replacement character, and would no longer match a stored text.
inline std::string CutUtf8(const std::string& utf8, std::size_t maxBytes) {
  if (utf8.size() <= maxBytes) return utf8;
  std::size_t n = maxBytes;
  // Step back over continuation bytes to the start of the character that would be cut.
  while (n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0u) == 0x80u) --n;
  return utf8.substr(0, n);
}

}  // namespace platform
