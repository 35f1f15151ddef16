// JSON output of the command line: one object on one line, built member by member.
#pragma once

#include <cstdint>
#include <string>

// A text as a JSON string: quotes and backslashes escaped, control characters as \u00XX,
// bytes that are not UTF-8 (a file name in another encoding) as U+FFFD, so that every JSON
// parser takes the line.
std::string JsonString(const std::string& text);

// {"a":1,"b":"x"}: members in the order added. Numbers are written so that a parser reads
// them back as the same type: whole numbers without a point, other numbers with one.
class JsonObject {
 public:
  JsonObject& Text(const char* name, const std::string& value);
  JsonObject& Whole(const char* name, std::uint64_t value);
  JsonObject& Signed(const char* name, std::int64_t value);
  // A number that is not whole; `decimals` < 0 for the shortest text that reads back the same
  // double. NaN and infinities, which JSON has no way to write, are written as null.
  JsonObject& Number(const char* name, double value, int decimals = -1);
  JsonObject& Bool(const char* name, bool value);
  std::string Line() const { return body_.empty() ? "{}" : body_ + "}"; }

 private:
  void Name(const char* name);
  std::string body_;
};
