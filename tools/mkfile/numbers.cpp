#include "tools/mkfile/numbers.h"

namespace mkfile {

std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t max) {
  std::uint64_t scale = 1;
  if (!text.empty()) {
    switch (text.back()) {
      case 'K': scale = 1ull << 10; break;
      case 'M': scale = 1ull << 20; break;
      case 'G': scale = 1ull << 30; break;
      default: break;
    }
    if (scale != 1) text.remove_suffix(1);
  }
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return std::nullopt;
    if (digit > max || value > (max - digit) / base) return std::nullopt;  // value * base + digit > max
    value = value * base + digit;
  }
  if (value > max / scale) return std::nullopt;
  return value * scale;
}

}  // namespace mkfile
