// A named pipe chosen through Open is analysed at once and refused like a file that cannot
// be opened: the window never waits for a writer.
#include <sys/stat.h>

#include <chrono>

#include "flow_support.h"

using namespace flow;

namespace {

class PipeFlowTest : public FlowTestBase {};

TEST_F(PipeFlowTest, ANamedPipeIsRefusedAtOnce) {
  Run([&](HeadlessWindow& w) {
    for (const char* name : {"x.bin", "x.trx"}) {
      const std::string path = dir.Path(name);
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
      const auto began = std::chrono::steady_clock::now();
      Choose(w, path);
      EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(2)) << name;
      EXPECT_EQ(w.Control(IDC_STATIC_VERSION).text, "Analyse file version failed! Please check your file!") << name;
      EXPECT_FALSE(w.Control(IDC_BTN_START).enabled) << name;
    }
  });
}

}  // namespace
