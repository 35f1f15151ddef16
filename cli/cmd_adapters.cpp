// upgrade-cli adapters: the adapter list as the window's adapter box shows it.
#include <cstdio>
#include <vector>

#include "cli/commands.h"
#include "platform/console.h"
#include "platform/adapters.h"
#include "transmit/sender.h"

void AddAdaptersCommand(CLI::App& app, int& status) {
  CLI::App* cmd = app.add_subcommand(
      "adapters", "List the network adapters a transmission can use, one per line: INDEX<TAB>ENTRY,\n"
                  "where ENTRY is the text of the window's adapter box and INDEX is what\n"
                  "`send --adapter` takes.");
  cmd->callback([&status] {
    std::vector<platform::AdapterInfo> adapters;
    if (platform::ListAdapters(adapters) != platform::AdapterListStatus::Ok) {
      platform::PrintText(stderr, "upgrade-cli: no network adapter found\n");
      status = 1;
      return;
    }
    for (std::size_t i = 0; i < adapters.size() && i < static_cast<std::size_t>(kAdaptersConsidered); ++i)
      platform::PrintText(stdout, "%zu\t%s\n", i, platform::AdapterEntryText(adapters[i]).c_str());
    status = 0;
  });
}
