// upgrade-cli plan: how many passes to send before the devices hold the file, and how long
// that takes, for a file measured as the sender measures it.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "cli/checks.h"
#include "cli/commands.h"
#include "platform/console.h"
#include "transmit/datagram.h"
#include "transmit/planner.h"

namespace {

struct PlanOptions {
  std::string loss = "0.01";
  std::string confidence = "0.99";
  std::uint32_t devices = 1;
  bool json = false;
  std::string file;
};

// A share written as a fraction ("0.05", "1e-4") or a percentage ("5%"); false for anything else.
bool ParseShare(const std::string& text, double& share) {
  if (text.empty()) return false;
  const bool percent = text.back() == '%';
  const std::string digits = percent ? text.substr(0, text.size() - 1) : text;
  // Decimal only: strtod would also take "inf", "nan" and hexadecimal.
  if (digits.empty() || digits.find_first_not_of("0123456789.eE+-") != std::string::npos) return false;
  char* end = nullptr;
  const double v = std::strtod(digits.c_str(), &end);
  if (end != digits.c_str() + digits.size() || !std::isfinite(v)) return false;
  share = percent ? v / 100.0 : v;
  return true;
}

CLI::Validator ShareValidator(bool aboveZero, const std::string& words) {
  return CLI::Validator(
      [aboveZero, words](std::string& text) -> std::string {
        double v = 0;
        if (ParseShare(text, v) && (aboveZero ? v > 0.0 : v >= 0.0) && v < 1.0) return {};
        return words;
      },
      "SHARE");
}

// A text as a JSON string.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", u);
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A share as a percentage for reading: 5%, 0.1%, 99.5%.
std::string Percent(double share) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g%%", share * 100.0);
  return text;
}

// A probability as a percentage cut (not rounded) to two decimals, so that a chance short of
// certainty never reads 100%.
std::string ChancePercent(double p) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f%%", std::floor(p * 10000.0) / 100.0);
  return text;
}

std::string Duration(double seconds) {
  const auto s = static_cast<unsigned long long>(std::ceil(seconds));
  char text[64];
  if (s < 60) std::snprintf(text, sizeof text, "%llu s", s);
  else if (s < 3600) std::snprintf(text, sizeof text, "%llu min %02llu s", s / 60, s % 60);
  else std::snprintf(text, sizeof text, "%llu h %02llu min", s / 3600, (s % 3600 + 59) / 60);
  return text;
}

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
  double loss = 0, confidence = 0;
  ParseShare(o.loss, loss);  // both checked by their validators
  ParseShare(o.confidence, confidence);
  std::uint32_t length = 0, chunks = 0;
  if (MeasureForPlan(o.file, length, chunks) != 0) return 1;

  const SPassPlan plan = PlanPasses(loss, o.devices, confidence, chunks);
  if (plan.status != PlanStatus::Ok) {  // the validators keep every input in range
    platform::PrintText(stderr, "upgrade-cli: no plan for these figures\n");
    return 1;
  }
  const double rate = 1.0 / (kPlannedPauseSeconds + kPlannedDatagramWorkSeconds);
  if (o.json) {
    platform::PrintText(stdout,
        "{\"file\":%s,\"bytes\":%u,\"chunks\":%u,\"loss\":%.15g,\"devices\":%u,\"confidence\":%.15g,"
        "\"passes\":%u,\"reachable\":%s,\"probability\":%.15g,\"seconds\":%.3f,\"datagrams_per_second\":%.1f,"
        "\"max_passes\":%u}\n",
        JsonString(o.file).c_str(), length, chunks, loss, o.devices, confidence, plan.dwPasses,
        plan.bReachable ? "true" : "false", plan.dProbability, plan.dSeconds, rate, kMaxPlannedPasses);
  } else {
    platform::PrintText(stdout, "%s: %u bytes, %u chunk%s (datagrams per pass)\n", o.file.c_str(), length, chunks,
                        chunks == 1 ? "" : "s");
    platform::PrintText(stdout, "%u device%s, each losing %s of the datagrams, asked: every device holds every chunk "
                        "with a chance of at least %s\n",
                        o.devices, o.devices == 1 ? "" : "s", Percent(loss).c_str(), Percent(confidence).c_str());
    if (plan.bReachable) {
      platform::PrintText(stdout, "passes   %u (chance %s)\n", plan.dwPasses, ChancePercent(plan.dProbability).c_str());
    } else {
      platform::PrintText(stdout, "passes   not reachable: after %u passes, the most planned, the chance is %s; "
                          "lower the loss (mend the network) or the confidence\n",
                          plan.dwPasses, ChancePercent(plan.dProbability).c_str());
    }
    platform::PrintText(stdout, "time     %s for %u pass%s at %.0f datagrams per second\n", Duration(plan.dSeconds).c_str(),
                        plan.dwPasses, plan.dwPasses == 1 ? "" : "es", rate);
  }
  std::fflush(stdout);
  return plan.bReachable ? 0 : 1;
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
  cmd->add_option("--loss", opts->loss,
                  "Share of datagrams each device loses, 0 up to (not including) 1, as a fraction\n"
                  "(0.05) or a percentage (5%) (default 0.01)")
      ->check(ShareValidator(false, "the loss is a share from 0 up to but not including 1 (0.05), or a percentage "
                                    "from 0% up to but not including 100% (5%)"));
  cmd->add_option("--devices", opts->devices, "Number of devices (default 1)")
      ->check(WholeNumberFrom(1, 4294967295ull));
  cmd->add_option("--confidence", opts->confidence,
                  "Chance wanted that every device holds every chunk, above 0 and below 1, as a\n"
                  "fraction (0.99) or a percentage (99%) (default 0.99)")
      ->check(ShareValidator(true, "the confidence is a share above 0 and below 1 (0.99), or a percentage above 0% "
                                   "and below 100% (99%)"));
  cmd->add_flag("--json", opts->json, "Print the plan as one JSON object");
  cmd->add_option("FILE", opts->file, "The upgrade file")->required();
  cmd->callback([opts, &status] { status = RunPlan(*opts); });
}
