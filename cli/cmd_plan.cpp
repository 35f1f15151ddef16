// upgrade-cli plan: how many passes to send before the devices hold the file, and how long
// that takes, for a file measured as the sender measures it.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "cli/commands.h"
#include "cli/json.h"
#include "cli/planning.h"
#include "platform/console.h"
#include "transmit/datagram.h"
#include "transmit/planner.h"

namespace {

struct PlanOptions {
  PlanFigures figures;
  bool json = false;
  std::string file;
};

// The file as `send` would take it: a regular file that opens, measured by MeasureBinFile.
// Answers 0 with the length and the datagram count, or 1 with a message on standard error.
int MeasureForPlan(const std::string& path, std::uint32_t& length, std::uint32_t& chunks) {
  std::error_code ec;
  const std::filesystem::file_status st =
      std::filesystem::status(std::filesystem::path(std::u8string(path.begin(), path.end())), ec);
  if (ec || !std::filesystem::exists(st)) {
    platform::PrintText(stderr, "upgrade-cli: %s does not exist\n", path.c_str());
    return 1;
  }
  // Only regular files are measured (the open refuses anything else too): said here in words.
  if (!std::filesystem::is_regular_file(st)) {
    platform::PrintText(stderr, "upgrade-cli: %s is not a regular file\n", path.c_str());
    return 1;
  }
  if (MeasureBinFile(path.c_str()) != 0) {
    platform::PrintText(stderr, "upgrade-cli: %s cannot be opened, or is longer than 2147483647 bytes\n", path.c_str());
    return 1;
  }
  length = g_hdrTemplate.dwTotalLen;
  chunks = g_hdrTemplate.dwPacketCount;
  if (chunks == 0) {
    platform::PrintText(stderr, "upgrade-cli: %s is empty: the sender sends nothing from an empty file\n", path.c_str());
    return 1;
  }
  return 0;
}

int RunPlan(const PlanOptions& o) {
  std::uint32_t length = 0, chunks = 0;
  if (MeasureForPlan(o.file, length, chunks) != 0) return 1;

  const PlanForFile p = PlanFor(o.figures, length, chunks);
  if (p.plan.status != PlanStatus::Ok) {  // the validators keep every input in range
    platform::PrintText(stderr, "upgrade-cli: no plan for these figures\n");
    return 1;
  }
  if (o.json) {
    JsonObject object;
    AddPlanMembers(object, o.file, p);
    platform::WriteText(stdout, object.Line() + "\n");
  } else {
    PrintPlan(stdout, "", o.file, p);
  }
  std::fflush(stdout);
  return p.plan.bReachable ? 0 : 1;
}

}  // namespace

void AddPlanCommand(CLI::App& app, int& status) {
  auto opts = std::make_shared<PlanOptions>();
  CLI::App* cmd = app.add_subcommand(
      "plan",
      "Tell how many passes of FILE to send so that, with the chance asked for, every one of\n"
      "the devices holds every chunk, when each device loses datagrams independently at the\n"
      "given rate; and how long those passes take at the sender's pace (1 ms pause per\n"
      "datagram, about 970 datagrams per second). FILE is measured as `send` measures it,\n"
      "not verified: `upgrade-cli inspect FILE` tells whether `send` accepts it. Exit status\n"
      "0 with a plan, 1 when the file cannot be planned or no number of passes up to 1000\n"
      "reaches the confidence.");
  AddPlanOptions(cmd, opts->figures);
  cmd->add_flag("--json", opts->json, "Print the plan as one JSON object");
  cmd->add_option("FILE", opts->file, "The upgrade file")->required();
  cmd->callback([opts, &status] { status = RunPlan(*opts); });
}
