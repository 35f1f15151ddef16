// The one reader of the fixture builder's numbers and sizes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mkfile {

// Decimal digits, or 0x and hex digits, then optionally one of K, M, G (times 1024, 1024^2,
// 1024^3). No sign, blank or anything else before or after. The value, or nullopt for any
// other text or a value above `max` (overflow included).
std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t max);

inline constexpr std::uint64_t kMaxByte = 0xFF;
inline constexpr std::uint64_t kMaxU32 = 0xFFFFFFFFu;
inline constexpr std::uint64_t kMaxFileSize = 0x7FFFFFFFFFFFFFFFull;  // what a file offset holds

}  // namespace mkfile
