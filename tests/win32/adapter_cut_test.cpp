// The adapter box's description cut on Windows is counted in the ANSI code page, where the
// system's descriptions come from. CTest runs this program in two code pages (Wine takes the
// code page from the locale): Western (1252) and Simplified Chinese (936).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/adapters.h"

namespace {

// prefix, then piece n times (built by appending: GCC 12 warns wrongly on "A" + string).
std::string Repeat(const char* prefix, const std::string& piece, int n) {
  std::string all(prefix);
  for (int i = 0; i < n; ++i) all += piece;
  return all;
}

TEST(AdapterCut, CountsTheBytesOfTheAnsiCodePage) {
  struct Row {
    UINT codePage;
    std::string description, cut;
  } rows[] = {
      // "é" is one byte in 1252: 45 of them fit, where UTF-8 would hold 22.
      {1252, Repeat("A", "é", 50), Repeat("A", "é", 44)},
      // Not in the code page (no system description is): cut as UTF-8, 14 whole characters.
      {1252, Repeat("A", "网", 20), Repeat("A", "网", 14)},
      {1252, std::string(60, 'D'), std::string(45, 'D')},
      // Two bytes a character in 936: 22 fit in 44 bytes after "A".
      {936, Repeat("A", "网", 30), Repeat("A", "网", 22)},
      // After "AB" the 22nd character would end at byte 46: it is left out whole.
      {936, Repeat("AB", "网", 30), Repeat("AB", "网", 21)},
      {936, "Realtek 网卡", "Realtek 网卡"},
  };
  int checked = 0;
  for (const Row& r : rows) {
    if (r.codePage != GetACP()) continue;
    EXPECT_EQ(platform::CutAdapterDescription(r.description, platform::kAdapterDescriptionCut), r.cut)
        << r.description;
    ++checked;
  }
  EXPECT_GT(checked, 0) << "no rows for code page " << GetACP();
}

}  // namespace
