// upgrade-cli: the command-line front end of the upgrade tool.
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "platform/console.h"
#include "res/version.h"

int main(int argc, char** argv) {
  platform::SetBinaryStdout();
  CLI::App app{"Firmware upgrade tool: inspects upgrade files and sends them to every device on\n"
               "the segment as a paced carousel of UDP multicast datagrams (224.0.0.119:13456)."};
  app.require_subcommand(1);
  app.set_version_flag("--version", res::VersionLine("upgrade-cli"));
  // "/path/file.bin" is a file, not a Windows-style option.
  app.allow_windows_style_options(false);
  int status = 0;
  AddAdaptersCommand(app, status);
  AddSendCommand(app, status);
  AddInspectCommand(app, status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Usage errors end with status 2, --help with 0.
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  return status;
}
