// Checks of option values that say in words what they take: "a whole number from 0 to 100",
// never the limits of a machine type.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include <CLI/CLI.hpp>

// A whole number written in decimal digits only (no sign, no space, no exponent), from lo to
// hi.
inline CLI::Validator WholeNumberFrom(unsigned long long lo, unsigned long long hi) {
  const std::string range = "a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
  return CLI::Validator(
      [lo, hi, range](std::string& value) -> std::string {
        const bool digits = !value.empty() && value.size() <= 20 &&
                            value.find_first_not_of("0123456789") == std::string::npos;
        errno = 0;
        const unsigned long long v = digits ? std::strtoull(value.c_str(), nullptr, 10) : 0;
        if (!digits || errno == ERANGE || v < lo || v > hi) return "\"" + value + "\" is not " + range;
        return {};
      },
      range);
}

// A number of seconds, decimals allowed, from 0 to most.
inline CLI::Validator SecondsUpTo(double most) {
  const std::string range = "a number of seconds from 0 to " + std::to_string(static_cast<long long>(most));
  return CLI::Validator(
      [most, range](std::string& value) -> std::string {
        char* end = nullptr;
        errno = 0;
        const double v = value.empty() ? -1 : std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v) || v < 0 || v > most ||
            value.find_first_not_of("0123456789.") != std::string::npos)
          return "\"" + value + "\" is not " + range;
        return {};
      },
      range);
}
