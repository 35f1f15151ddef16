#include "cli/json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The length of the UTF-8 sequence at text[i], or 0 when no well-formed one starts there.
std::size_t Utf8Length(const std::string& text, std::size_t i) {
  const auto at = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = at(i);
  std::size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;  // no overlong forms
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (i + n > text.size() || at(i + 1) < lo || at(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  return n;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", u);
      out += esc;
    } else if (u >= 0x80) {
      const std::size_t n = Utf8Length(text, i);
      if (n == 0) {
        out += "\\ufffd";
        ++i;
      } else {
        out.append(text, i, n);
        i += n;
      }
      continue;
    } else {
      out += c;
    }
    ++i;
  }
  return out + "\"";
}

void JsonObject::Name(const char* name) {
  body_ += body_.empty() ? "{" : ",";
  body_ += JsonString(name);
  body_ += ':';
}

JsonObject& JsonObject::Text(const char* name, const std::string& value) {
  Name(name);
  body_ += JsonString(value);
  return *this;
}

JsonObject& JsonObject::Whole(const char* name, std::uint64_t value) {
  Name(name);
  body_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::Signed(const char* name, std::int64_t value) {
  Name(name);
  body_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::Number(const char* name, double value, int decimals) {
  Name(name);
  if (!std::isfinite(value)) {
    body_ += "null";
    return *this;
  }
  char text[64];
  if (decimals >= 0) {
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
  } else {
    // The shortest of %.15g to %.17g that reads back as the same double.
    for (int digits = 15; digits <= 17; ++digits) {
      std::snprintf(text, sizeof text, "%.*g", digits, value);
      if (std::strtod(text, nullptr) == value) break;
    }
  }
  std::string number = text;
  // With a point or an exponent, so that a parser takes it as a number that is not whole.
  if (number.find_first_of(".eE") == std::string::npos) number += ".0";
  body_ += number;
  return *this;
}

JsonObject& JsonObject::Bool(const char* name, bool value) {
  Name(name);
  body_ += value ? "true" : "false";
  return *this;
}
