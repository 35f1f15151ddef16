// upgrade-cli: the command-line front end of the upgrade tool.
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include <sstream>

#include "cli/commands.h"
#include "inspect/trace.h"
#include "platform/console.h"
#include "res/version.h"

namespace {

// The analysis's trace goes where the program's other text goes (platform::WriteText).
void PrintTraceLine(const char* line, std::size_t length) { platform::WriteText(stdout, std::string(line, length)); }

}  // namespace

int main(int argc, char** argv) {
  argv = platform::Utf8Arguments(argc, argv);
  platform::SetBinaryStdout();
  inspect::SetTraceSink(PrintTraceLine);
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
  AddPlanCommand(app, status);
  // A first word that names no command is said to be unknown, with the commands there are.
  if (argc > 1 && argv[1][0] != '-') {
    std::string names;
    bool known = false;
    for (const CLI::App* sub : app.get_subcommands({})) {
      known = known || sub->get_name() == argv[1];
      names += (names.empty() ? "" : ", ") + sub->get_name();
    }
    if (!known) {
      platform::PrintText(stderr, "upgrade-cli: unknown command \"%s\"; the commands are %s (see --help)\n", argv[1],
                          names.c_str());
      return 2;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help: the help, status 0. A usage error: one line, status 2.
    if (e.get_exit_code() == 0) {
      std::ostringstream out, err;
      const int code = app.exit(e, out, err);
      platform::WriteText(stdout, out.str());
      platform::WriteText(stderr, err.str());
      return code;
    }
    std::string what = e.what();
    for (char& c : what)
      if (c == '\n') c = ' ';
    platform::PrintText(stderr, "upgrade-cli: %s (see --help)\n", what.c_str());
    return 2;
  }
  return status;
}
