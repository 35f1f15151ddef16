// What the Qt window tests share: the Qt host started offscreen once per test program, and the
// archive tool at a place of the test's making, so that start-up asks nothing.
#pragma once

#include <cstdlib>
#include <string>

#include "../dialog/scratch.h"
#include "platform/qt/qt_host.h"
#include "ui/workdlg.h"

namespace window_test {

// The Qt host, offscreen unless QT_QPA_PLATFORM names another platform; from SetUpTestSuite.
inline void InstallOffscreenHost(const char* programName) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static std::string name;
  name = programName;
  static char* argv[] = {name.data(), nullptr};
  platform::qt::InstallHost(argc, argv);
}

inline std::string g_strRar;
inline const char* TestRar() { return g_strRar.c_str(); }

// The archive tool as a file in the test's scratch folder, where start-up looks for it.
inline void PlaceArchiveTool(const ScratchFolder& dir) {
  g_strRar = dir.Path("rar");
  ScratchFolder::Write(g_strRar, "archiver");
  g_pfnDefaultArchiveToolPath = &TestRar;
}

}  // namespace window_test
