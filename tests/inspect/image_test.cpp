// The image unit parser: each row builds a file, and expects the trace byte for byte, the
// answer and the version text.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "inspect/image.h"
#include "tests/inspect/support.h"
#include "tools/mkfile/builder.h"

namespace {

using mkfile::CFileImage;
using mkfile::SImagePlan;
using mkfile::SImageUnitPlan;

SImageUnitPlan U(std::uint32_t head, std::uint32_t data, std::string info = "APP:Q770:1.0.5") {
  SImageUnitPlan u;
  u.dwHeadLen = head;
  u.dwDataLen = data;
  u.strInfo = std::move(info);
  u.byFill = 0xC3;
  return u;
}

SImagePlan Chain(std::vector<SImageUnitPlan> units, std::uint64_t trailing = 0, std::uint8_t trailingByte = 0) {
  SImagePlan s;
  s.units = std::move(units);
  s.qwTrailing = trailing;
  s.byTrailing = trailingByte;
  return s;
}

std::string Len(std::uint64_t n) { return "the imageTotalLen is " + std::to_string(n) + "!\n"; }
const std::string kFread = "fread fail!\n";
const std::string kSixteen = "unitHeadNum is error: [16]!\n";

struct Row {
  const char* name;
  std::function<CFileImage()> make;
  std::function<std::string(std::uint64_t size)> trace;
  int result;
  std::string version;  // "untouched" when the buffer must stay as it was
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

std::function<std::string(std::uint64_t)> LenThen(std::string rest) {
  return [rest](std::uint64_t size) { return Len(size) + rest; };
}

CFileImage Of(SImagePlan s) { return mkfile::BuildImage(s); }

CFileImage Sized(std::uint64_t size) {
  CFileImage f;
  f.Put(0, mkfile::Bytes(static_cast<std::size_t>(std::min<std::uint64_t>(size, 92)), 0x55));
  f.Resize(size);
  return f;
}

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"empty file", [] { return Sized(0); }, LenThen(""), 0, "untouched"},
      {"92 bytes", [] { return Sized(92); }, LenThen(""), 0, "untouched"},
      {"93 bytes", [] { return Sized(93); }, LenThen(kFread), 0, "untouched"},
      {"first header without the magic", [] {
         SImagePlan s = Chain({U(98, 10)});
         s.units[0].dwMagic = 0xA55AAA56u;
         return Of(s);
       },
       LenThen(""), 0, "untouched"},
      {"magic bytes in the wrong order", [] {
         SImagePlan s = Chain({U(98, 10)});
         s.units[0].dwMagic = 0x55AAA55Au;
         return Of(s);
       },
       LenThen(""), 0, "untouched"},
      {"one unit ending at the end of the file", [] { return Of(Chain({U(98, 30)})); }, LenThen(""), 1, "1.0.5"},
      {"three units ending at the end of the file", [] { return Of(Chain({U(98, 30), U(120, 7), U(98, 1)})); },
       LenThen(""), 1, "1.0.5"},
      {"1 byte after the last unit", [] { return Of(Chain({U(98, 30)}, 1)); }, LenThen(kFread), 0, "untouched"},
      {"50 bytes after the last unit", [] { return Of(Chain({U(98, 30), U(98, 2)}, 50)); }, LenThen(kFread), 0,
       "untouched"},
      {"97 bytes after the last unit", [] { return Of(Chain({U(98, 30)}, 97, 0x55)); }, LenThen(kFread), 0,
       "untouched"},
      {"98 zero bytes after the last unit", [] { return Of(Chain({U(98, 30)}, 98)); }, LenThen(""), 1, "1.0.5"},
      {"4000 bytes after the last unit", [] { return Of(Chain({U(98, 30)}, 4000, 0xEE)); }, LenThen(""), 1,
       "1.0.5"},
      {"head 98 and data 3: the next header 104 bytes on", [] { return Of(Chain({U(98, 3), U(98, 0)}, 50)); },
       LenThen(kFread), 0, "untouched"},
      {"head 98 and data 3, chain ending exactly", [] { return Of(Chain({U(98, 3), U(98, 0)})); }, LenThen(""), 1,
       "1.0.5"},
      {"zero-length step", [] { return Of(Chain({U(0, 0)})); }, LenThen(kSixteen), 0, "untouched"},
      {"step of 4 reads a header cut short", [] { return Of(Chain({U(4, 0)})); }, LenThen(kFread), 0, "untouched"},
      {"step of 4 walks inside the first header", [] {
         SImagePlan s = Chain({U(4, 0)});
         s.qwSize = 400;
         return Of(s);
       },
       LenThen(""), 1,
       "1.0.5"},
      {"sixteen units ending exactly", [] { return Of(Chain(std::vector<SImageUnitPlan>(16, U(98, 6)))); },
       LenThen(""), 1, "1.0.5"},
      {"sixteen units and 10 more bytes",
       [] { return Of(Chain(std::vector<SImageUnitPlan>(16, U(98, 6)), 10)); }, LenThen(kSixteen), 0,
       "untouched"},
      {"sixteen units and 200 more bytes",
       [] { return Of(Chain(std::vector<SImageUnitPlan>(16, U(98, 6)), 200)); }, LenThen(kSixteen), 0,
       "untouched"},
      {"seventeen units", [] { return Of(Chain(std::vector<SImageUnitPlan>(17, U(98, 6)))); }, LenThen(kSixteen),
       0, "untouched"},
      {"fifteen units and a header without the magic", [] {
         SImagePlan s = Chain(std::vector<SImageUnitPlan>(16, U(98, 6)));
         s.units[15].dwMagic = 0;
         return Of(s);
       },
       LenThen(""), 1, "1.0.5"},
      {"step that wraps to 96", [] { return Of(Chain({U(98, 0xFFFFFFFEu)}, 200)); }, LenThen(""), 1, "1.0.5"},
      {"step that wraps the offset to 0", [] { return Of(Chain({U(98, 0xFFFFFF42u)})); }, LenThen(""), 1,
       "1.0.5"},
      {"only the first header names the version", [] {
         return Of(Chain({U(98, 2, "A:B:9.9"), U(98, 2, "X:Y:1.1"), U(98, 2, "no colon")}));
       },
       LenThen(""), 1, "9.9"},
      {"three parts, the last 1.0.5", [] { return Of(Chain({U(98, 0, "ROOT:Q770:1.0.5")})); }, LenThen(""), 1,
       "1.0.5"},
      {"text ending in a colon", [] { return Of(Chain({U(98, 0, "ROOT:Q770:")})); }, LenThen(""), 1, ""},
      {"text with one colon", [] { return Of(Chain({U(98, 0, "ROOT:2.0")})); }, LenThen(""), 1, "2.0"},
      {"text without a colon", [] { return Of(Chain({U(98, 0, "ROOT-Q770-1.0.5")})); }, LenThen(""), 0,
       "untouched"},
      {"empty text", [] { return Of(Chain({U(98, 0, "")})); }, LenThen(""), 0, "untouched"},
      {"text of 32 bytes without NUL", [] { return Of(Chain({U(98, 0, std::string(20, 'A') + ":" + std::string(11, '7'))})); },
       LenThen(""), 1, std::string(11, '7')},
      {"text of 32 bytes ending in a colon", [] { return Of(Chain({U(98, 0, std::string(31, 'A') + ":")})); },
       LenThen(""), 1, ""},
      {"colon after the field's NUL is not seen", [] {
         return Of(Chain({U(98, 0, std::string("ROOT\0:1.0", 9))}));
       },
       LenThen(""), 0, "untouched"},
  };
  return rows;
}

class ImageParser : public ::testing::TestWithParam<Row> {};

TEST_P(ImageParser, TraceResultAndVersion) {
  const Row& row = GetParam();
  const CFileImage image = row.make();
  inspect_test::ScratchDir dir;
  const std::string path = dir.Write("image.bin", image);
  inspect_test::TraceCapture trace;
  char version[256];
  std::memset(version, 0, sizeof version);
  std::strcpy(version, "untouched");
  EXPECT_EQ(inspect::ParseImageFile(path.c_str(), version, sizeof version), row.result);
  EXPECT_EQ(trace.Take(), row.trace(image.Size()));
  EXPECT_EQ(std::string(version), row.version);
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  std::string name;
  for (const char c : std::string(info.param.name)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return std::to_string(info.index) + "_" + name;
}

INSTANTIATE_TEST_SUITE_P(Rows, ImageParser, ::testing::ValuesIn(Rows()), RowName);

TEST(ImageParserFile, PathsThatDoNotOpen) {
  inspect_test::ScratchDir dir;
  const struct {
    const char* path;
    std::string trace;
  } rows[] = {
      {nullptr, "the bin path is null!\n"},
      {"/nonexistent/dir/x.bin", "can not open the file : [/nonexistent/dir/x.bin].\n"},
  };
  for (const auto& row : rows) {
    inspect_test::TraceCapture trace;
    char version[16] = "untouched";
    EXPECT_EQ(inspect::ParseImageFile(row.path, version, sizeof version), 0);
    EXPECT_EQ(trace.Take(), row.trace);
    EXPECT_STREQ(version, "untouched");
  }
  // A directory opens with fopen on some systems but is no file.
  inspect_test::TraceCapture trace;
  const std::string d = dir.Path("");
  EXPECT_EQ(inspect::ParseImageFile(d.c_str(), nullptr, 0), 0);
  EXPECT_EQ(trace.Take(), "can not open the file : [" + d + "].\n");
}

TEST(ImageParserFile, LongPathInTheTrace) {
  const std::string path = "/nonexistent/" + std::string(3000, 'p') + ".bin";
  inspect_test::TraceCapture trace;
  EXPECT_EQ(inspect::ParseImageFile(path.c_str(), nullptr, 0), 0);
  EXPECT_EQ(trace.Take(), "can not open the file : [" + path + "].\n");
}

TEST(ImageParserFile, VersionCutToTheCallersBuffer) {
  const struct {
    std::size_t size;
    const char* expected;
  } rows[] = {{1, ""}, {3, "1."}, {6, "1.0.5"}, {40, "1.0.5"}};
  inspect_test::ScratchDir dir;
  const std::string path = dir.Write("i.bin", Of(Chain({U(98, 0)})));
  for (const auto& row : rows) {
    inspect_test::TraceCapture trace;
    char version[64];
    std::memset(version, 'x', sizeof version);
    EXPECT_EQ(inspect::ParseImageFile(path.c_str(), version, row.size), 1);
    EXPECT_STREQ(version, row.expected) << row.size;
    EXPECT_EQ(version[row.size], 'x') << "wrote past the buffer of " << row.size;
  }
}

}  // namespace
