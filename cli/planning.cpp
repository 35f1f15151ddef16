#include "cli/planning.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "cli/checks.h"
#include "platform/console.h"

namespace {

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

}  // namespace

PlanOptionHandles AddPlanOptions(CLI::App* cmd, PlanFigures& figures) {
  PlanOptionHandles h;
  h.loss = cmd->add_option("--loss", figures.loss,
                           "Share of datagrams each device loses, 0 up to (not including) 1, as a fraction\n"
                           "(0.05) or a percentage (5%) (default 0.01)")
               ->check(ShareValidator(false, "the loss is a share from 0 up to but not including 1 (0.05), or a "
                                             "percentage from 0% up to but not including 100% (5%)"));
  h.devices = cmd->add_option("--devices", figures.devices, "Number of devices (default 1)")
                  ->check(WholeNumberFrom(1, 4294967295ull));
  h.confidence = cmd->add_option("--confidence", figures.confidence,
                                 "Chance wanted that every device holds every chunk, above 0 and below 1, as a\n"
                                 "fraction (0.99) or a percentage (99%) (default 0.99)")
                     ->check(ShareValidator(true, "the confidence is a share above 0 and below 1 (0.99), or a "
                                                  "percentage above 0% and below 100% (99%)"));
  return h;
}

PlanForFile PlanFor(const PlanFigures& figures, std::uint32_t bytes, std::uint32_t chunks) {
  PlanForFile p;
  ParseShare(figures.loss, p.loss);  // both checked by their validators
  ParseShare(figures.confidence, p.confidence);
  p.devices = figures.devices;
  p.bytes = bytes;
  p.chunks = chunks;
  p.plan = PlanPasses(p.loss, p.devices, p.confidence, chunks);
  return p;
}

double PlannedRate() { return 1.0 / (kPlannedPauseSeconds + kPlannedDatagramWorkSeconds); }

std::string Duration(double seconds) {
  const auto s = static_cast<unsigned long long>(std::ceil(std::max(0.0, seconds)));
  char text[64];
  if (s < 60) std::snprintf(text, sizeof text, "%llu s", s);
  else if (s < 3600) std::snprintf(text, sizeof text, "%llu min %02llu s", s / 60, s % 60);
  else std::snprintf(text, sizeof text, "%llu h %02llu min", s / 3600, (s % 3600 + 59) / 60);
  return text;
}

void PrintPlan(std::FILE* to, const std::string& prefix, const std::string& name, const PlanForFile& p) {
  const char* pre = prefix.c_str();
  platform::PrintText(to, "%s%s: %u bytes, %u chunk%s (datagrams per pass)\n", pre, name.c_str(), p.bytes, p.chunks,
               p.chunks == 1 ? "" : "s");
  platform::PrintText(to,
               "%s%u device%s, each losing %s of the datagrams, asked: every device holds every chunk "
               "with a chance of at least %s\n",
               pre, p.devices, p.devices == 1 ? "" : "s", Percent(p.loss).c_str(), Percent(p.confidence).c_str());
  if (p.plan.bReachable) {
    platform::PrintText(to, "%spasses   %u (chance %s)\n", pre, p.plan.dwPasses, ChancePercent(p.plan.dProbability).c_str());
  } else {
    platform::PrintText(to,
                 "%spasses   not reachable: after %u passes, the most planned, the chance is %s; "
                 "lower the loss (mend the network) or the confidence\n",
                 pre, p.plan.dwPasses, ChancePercent(p.plan.dProbability).c_str());
  }
  platform::PrintText(to, "%stime     %s for %u pass%s at %.0f datagrams per second\n", pre,
               Duration(p.plan.dSeconds).c_str(), p.plan.dwPasses, p.plan.dwPasses == 1 ? "" : "es", PlannedRate());
}

void AddPlanMembers(JsonObject& object, const std::string& name, const PlanForFile& p) {
  object.Text("file", name)
      .Whole("bytes", p.bytes)
      .Whole("chunks", p.chunks)
      .Number("loss", p.loss)
      .Whole("devices", p.devices)
      .Number("confidence", p.confidence)
      .Whole("passes", p.plan.dwPasses)
      .Bool("reachable", p.plan.bReachable)
      .Number("probability", p.plan.dProbability)
      .Number("seconds", p.plan.dSeconds, 3)
      .Number("datagrams_per_second", PlannedRate(), 1)
      .Whole("max_passes", kMaxPlannedPasses);
}
