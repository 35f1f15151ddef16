// The private-profile rules over a file's bytes (no system calls here).
#include "platform/profile.h"

#include <vector>

namespace platform::profile {
namespace {

struct Line {
  std::size_t begin;    // first byte of the line
  std::size_t end;      // one past its last byte, before CR LF / LF
  std::size_t next;     // first byte of the following line
};

std::vector<Line> SplitLines(const std::string& s) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::size_t nl = s.find('\n', pos);
    std::size_t next = nl == std::string::npos ? s.size() : nl + 1;
    std::size_t end = nl == std::string::npos ? s.size() : nl;
    if (end > pos && s[end - 1] == '\r') --end;
    lines.push_back({pos, end, next});
    pos = next;
  }
  return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string Trim(const std::string& s, std::size_t b, std::size_t e) {
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

enum class Kind { Other, Section, Key };

struct Parsed {
  Kind kind = Kind::Other;
  std::string name;
  std::string value;
};

Parsed ParseLine(const std::string& s, const Line& l) {
  Parsed p;
  std::string t = Trim(s, l.begin, l.end);
  if (t.empty() || t[0] == ';') return p;
  if (t[0] == '[') {
    std::size_t close = t.find(']');
    p.kind = Kind::Section;
    p.name = Trim(t, 1, close == std::string::npos ? t.size() : close);
    return p;
  }
  std::size_t eq = t.find('=');
  if (eq == std::string::npos) return p;
  p.kind = Kind::Key;
  p.name = Trim(t, 0, eq);
  p.value = Trim(t, eq + 1, t.size());
  if (p.value.size() >= 2 && p.value.front() == '"' && p.value.back() == '"')
    p.value = p.value.substr(1, p.value.size() - 2);
  return p;
}

// Index of the first line of the first matching section's header, or -1.
long FindSection(const std::string& s, const std::vector<Line>& lines, const std::string& section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Parsed p = ParseLine(s, lines[i]);
    if (p.kind == Kind::Section && EqualNoCase(p.name, section)) return static_cast<long>(i);
  }
  return -1;
}

}  // namespace

bool FindValue(const std::string& content, const std::string& section, const std::string& key,
               std::string& value) {
  std::vector<Line> lines = SplitLines(content);
  long sec = FindSection(content, lines, section);
  if (sec < 0) return false;
  for (std::size_t i = static_cast<std::size_t>(sec) + 1; i < lines.size(); ++i) {
    Parsed p = ParseLine(content, lines[i]);
    if (p.kind == Kind::Section) break;
    if (p.kind == Kind::Key && EqualNoCase(p.name, key)) {
      value = p.value;
      return true;
    }
  }
  return false;
}

std::string StoreValue(const std::string& content, const std::string& section, const std::string& key,
                       const std::string& value) {
  const std::string line = key + "=" + value;
  std::vector<Line> lines = SplitLines(content);
  long sec = FindSection(content, lines, section);
  if (sec < 0) {
    std::string out = content;
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    out += "[" + section + "]\r\n" + line + "\r\n";
    return out;
  }
  std::size_t after = static_cast<std::size_t>(sec);  // the line the new key goes after
  for (std::size_t i = static_cast<std::size_t>(sec) + 1; i < lines.size(); ++i) {
    Parsed p = ParseLine(content, lines[i]);
    if (p.kind == Kind::Section) break;
    if (p.kind == Kind::Key) {
      if (EqualNoCase(p.name, key)) {
        // Replace the line's text, keep its line end.
        return content.substr(0, lines[i].begin) + line + content.substr(lines[i].end);
      }
      after = i;
    }
  }
  const Line& a = lines[after];
  std::string out = content.substr(0, a.next);
  if (a.next == a.end) out += "\r\n";  // the line had no line end: it was the last one
  out += line + "\r\n";
  out += content.substr(a.next);
  return out;
}

std::uint32_t ParseInt(const std::string& v) {
  std::size_t i = 0;
  while (i < v.size() && (v[i] == ' ' || v[i] == '\t')) ++i;
  bool negative = false;
  if (i < v.size() && (v[i] == '+' || v[i] == '-')) {
    negative = v[i] == '-';
    ++i;
  }
  std::uint32_t n = 0;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) n = n * 10u + static_cast<std::uint32_t>(v[i] - '0');
  return negative ? 0u - n : n;
}

}  // namespace platform::profile
