// The window program: the window host linked in runs the application object. --version and
// --help are answered here, before any window host starts; every other argument is the
// host's (Qt takes its own, such as -platform).
#include <cstdio>
#include <cstring>

#include "platform/app.h"
#include "res/version.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s\n", res::VersionLine("upgrade").c_str());
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "The upgrade tool's window: choose the network adapter and the upgrade file, press Start.\n"
        "Usage: upgrade [OPTIONS]\n\n"
        "Options:\n"
        "  -h,--help                   Print this help message and exit\n"
        "  --version                   Display program version information and exit\n");
    return 0;
  }
  return platform::AfxWinMain(argc, argv);
}
