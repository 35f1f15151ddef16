// upgrade-cli send: what the window's Start does, from the command line, until the number
// of passes asked for has gone out or the operator interrupts it (which is Stop).
#include <algorithm>
#include <atomic>
#include <cctype>
#include <memory>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/checks.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/planning.h"
#include "inspect/trace.h"
#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/localtime.h"
#include "platform/openfile.h"
#include "platform/sendlock.h"
#include "platform/socket.h"
#include "platform/thread.h"
#include "res/texts.h"
#include "transmit/datagram.h"
#include "transmit/events.h"
#include "transmit/planner.h"
#include "transmit/reconnect.h"
#include "transmit/sender.h"
#include "transmit/state.h"

namespace {

struct SendOptions {
  std::string adapter;
  std::string file;
  std::string lang = "en";
  std::string passes = "0";  // a whole number (0: until interrupted), or "auto": planned
  PlanFigures figures;       // for --passes auto
  bool json = false;
  bool verbose = false;      // -v: which adapter, which scheduling the sending thread got
  double giveUpAfter = 0;    // seconds of outage after which to stop; 0: never
  bool force = false;
};

std::atomic<std::uint32_t> g_passesWanted{0};
std::atomic<std::uint32_t> g_passesDone{0};
std::atomic<int> g_stopSignal{0};
std::atomic<bool> g_workerDone{false};
std::atomic<bool> g_gaveUp{false};

// Stop, as the window's Stop button does it: the worker sees it before its next datagram
// or its next set-up attempt.
void RequestStop() {
  g_nRunState = RUN_STOPPED;  // first: see TransmissionThreadProc
  g_bSending = 0;
}

extern "C" void OnStopSignal(int sig) {
  g_stopSignal = sig;
  RequestStop();
}

std::uint32_t Worker(std::intptr_t param) {
  const std::uint32_t result = TransmissionThreadProc(param);
  g_workerDone = true;
  return result;
}

// --passes: a whole number, or "auto".
CLI::Validator PassesValidator() {
  const CLI::Validator whole = WholeNumberFrom(0, 4294967294u);
  return CLI::Validator(
      [whole](std::string& value) -> std::string {
        if (value == "auto") return {};
        std::string copy = value;
        const std::string error = whole(copy);
        return error.empty() ? error : error + ", nor auto";
      },
      "N|auto");
}

bool AllDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// "v0 (10.77.0.1), b0 (0.0.0.0)": adapters as a usage error names them, on one line.
std::string AdapterNames(const std::vector<const platform::AdapterInfo*>& some) {
  std::string out;
  for (const platform::AdapterInfo* a : some) {
    if (!out.empty()) out += ", ";
    out += a->name + " (" + a->ipv4 + ")";
  }
  return out.empty() ? "none" : out;
}

// The adapter the operator named: an interface name, an index of `upgrade-cli adapters`, an
// IPv4 address, or the beginning of a description that fits one adapter only; without a
// name, the one adapter that has an IPv4 address. On failure a usage error line is in *error.
bool ResolveAdapter(const std::string& wanted, SChosenAdapter* chosen, std::string* error) {
  std::vector<platform::AdapterInfo> all;
  if (platform::ListAdapters(all) != platform::AdapterListStatus::Ok) all.clear();
  std::vector<const platform::AdapterInfo*> every, fits;
  for (const platform::AdapterInfo& a : all) every.push_back(&a);
  auto take = [chosen](const platform::AdapterInfo& a) {
    *chosen = {a.name, a.description};
    if (a.ipv4 == "0.0.0.0")
      // Named as the adapter box names it, not by its system name (a GUID on Windows).
      platform::PrintText(stderr, "upgrade-cli: adapter %s has no IPv4 address now: nothing is sent until it has one\n",
                          platform::AdapterEntryText(a).c_str());
    return true;
  };

  if (wanted.empty()) {
    for (const platform::AdapterInfo& a : all)
      if (a.ipv4 != "0.0.0.0") fits.push_back(&a);
    if (fits.size() == 1) return take(*fits[0]);
    *error = fits.empty() ? "no adapter has an IPv4 address; name one with --adapter: " + AdapterNames(every)
                          : "several adapters have an IPv4 address; name one with --adapter: " + AdapterNames(fits);
    return false;
  }
  if (AllDigits(wanted)) {
    const std::size_t listed = std::min(all.size(), static_cast<std::size_t>(kAdaptersConsidered));
    if (wanted.size() <= 2 && std::stoul(wanted) < listed) return take(all[std::stoul(wanted)]);
    *error = "no adapter with index " + wanted + " (`upgrade-cli adapters` lists " + std::to_string(listed) +
             (listed == 1 ? " adapter)" : " adapters)");
    return false;
  }
  for (const platform::AdapterInfo& a : all)
    if (a.name == wanted || a.ipv4 == wanted) fits.push_back(&a);
  if (fits.empty())
    for (const platform::AdapterInfo& a : all)
      if (StartsWithNoCase(a.description, wanted)) fits.push_back(&a);
  if (fits.size() == 1) return take(*fits[0]);
  *error = fits.empty() ? "no adapter \"" + wanted + "\"; the adapters are: " + AdapterNames(every)
                        : "\"" + wanted + "\" fits " + std::to_string(fits.size()) +
                              " adapters; name one of them: " + AdapterNames(fits);
  return false;
}

// The time left in the pass at `rate` datagrams per second, for reading ("3 s"); "--" while
// no rate is known.
std::string TimeLeftInPass(std::uint32_t packet, std::uint32_t count, double rate) {
  if (rate <= 0 || packet > count) return "--";
  return Duration(static_cast<double>(count - packet) / rate);
}

// The share of the pass sent, in percent, as the window's bar computes it.
unsigned PassPercent(std::uint32_t packet) {
  const std::uint32_t total = g_dwFileLength.load();
  return total == 0 ? 0
         : total <= kChunkSize
             ? 100
             : static_cast<unsigned>(std::min<std::uint64_t>(100, static_cast<std::uint64_t>(packet) * 1024 * 100 / total));
}

// The progress bar on a terminal: one line rewritten every 100 ms.
class ProgressLine {
 public:
  explicit ProgressLine(bool enabled) : enabled_(enabled) {}

  void Update() {
    if (!enabled_) return;
    const std::int64_t now = platform::CounterNow();
    const std::uint32_t count = g_hdrTemplate.dwPacketCount;
    const std::uint32_t pass = g_dwPassCount.load();
    const std::uint32_t packet = g_dwPacketNo.load();
    const std::uint64_t sent = g_qwDatagramsSent.load();
    double rate = 0;
    if (lastTime_ != 0 && now > lastTime_ && sent >= lastSent_)
      rate = static_cast<double>(sent - lastSent_) * static_cast<double>(platform::CounterFrequency()) /
             static_cast<double>(now - lastTime_);
    // The time left is reckoned at a steadier rate: the last second or so.
    steadyRate_ = lastTime_ == 0 ? 0 : steadyRate_ == 0 ? rate : steadyRate_ + (rate - steadyRate_) / 8;
    lastTime_ = now;
    lastSent_ = sent;
    char line[200];
    std::snprintf(line, sizeof line, "pass %u  datagram %u/%u  %3u%%  %6.0f datagrams/s  %s left in the pass", pass,
                  packet, count, PassPercent(packet), rate, TimeLeftInPass(packet, count, steadyRate_).c_str());
    // Spaces over what a longer line before left.
    const int length = static_cast<int>(std::strlen(line));
    width_ = std::max(width_, length);
    platform::PrintText(stderr, "\r%-*s   ", width_, line);
    std::fflush(stderr);
    shown_ = true;
  }

  // Ends the progress line, so that a message can follow on a line of its own.
  void Finish() {
    if (shown_) platform::WriteText(stderr, "\n");
    shown_ = false;
  }

 private:
  bool enabled_;
  bool shown_ = false;
  std::int64_t lastTime_ = 0;
  std::uint64_t lastSent_ = 0;
  double steadyRate_ = 0;
  int width_ = 0;
};

// What a run of `send` says, on three channels: the outage lines and the summary on standard
// error always; with --json, one JSON object a line on standard output for every event; and,
// without --json when standard error is no terminal (a log), a line with its time at every
// pass end and every 10 s.
class SendReport {
 public:
  SendReport(const SendOptions& o, bool json, bool logLines, bool bar)
      : o_(o), json_(json), logLines_(logLines), bar_(bar) {}

  // A line of standard error as the message of the finished event: without "upgrade-cli: ".
  static std::string Message(const std::string& line) {
    const std::string prefix = "upgrade-cli: ";
    return line.compare(0, prefix.size(), prefix) == 0 ? line.substr(prefix.size()) : line;
  }

  void SetRun(const std::string& adapter, std::uint32_t passesWanted) {
    adapter_ = adapter;
    passesWanted_ = passesWanted;
  }
  // How the sending thread is scheduled ("realtime", "realtime-rtkit", "normal-short-slice",
  // "normal"): in the started event, and on a line of its own with -v.
  void SetScheduling(const char* mode) {
    scheduling_ = mode;
    if (o_.verbose)
      platform::PrintText(stderr, "upgrade-cli: sending from adapter %s; the sending thread's scheduling: %s\n",
                          adapter_.c_str(), scheduling_.c_str());
  }
  ProgressLine& Bar() { return bar_; }

  // A line on standard error that ends the run before the worker started, and the finished
  // event that goes with it.
  int Refuse(int status, const std::string& line) {
    platform::PrintText(stderr, "%s\n", line.c_str());
    Finished(status, 0, Message(line), nullptr);
    return status;
  }

  void Plan(const PlanForFile& p) {
    PrintPlan(stderr, "upgrade-cli: plan: ", o_.file, p);
    if (!json_) return;
    JsonObject object = Begin("plan");
    AddPlanMembers(object, o_.file, p);
    Emit(object);
  }

  // The run's events other than Finished (see Finished).
  void Event(const STxEvent& e, const CTransmissionEvents& run) {
    switch (e.kind) {
      case TxEventKind::Started:
        lastLine_ = e.qwTicks;
        lastLineSent_ = 0;
        if (json_) {
          // Room for more members: a reader takes the ones it knows.
          JsonObject object = Begin("started");
          object.Text("file", o_.file)
              .Text("adapter", adapter_)
              .Text("scheduling", scheduling_)
              .Whole("bytes", g_hdrTemplate.dwTotalLen)
              .Whole("chunks", g_hdrTemplate.dwPacketCount)
              .Whole("passes_wanted", passesWanted_)
              .Bool("planned", o_.passes == "auto")
              .Bool("force", o_.force);
          Emit(Counts(object, e));
        }
        return;
      case TxEventKind::PassComplete:
        if (json_) Emit(Counts(Begin("pass_complete").Whole("pass", e.dwPass).Number("seconds", e.dSeconds, 3), e));
        if (logLines_) {
          Log("pass " + PassOfWanted(e.dwPass) + " complete in " + Fixed(e.dSeconds) + " s, " +
              std::to_string(e.qwDatagrams) + " datagrams sent");
          Logged(run);
        }
        return;
      case TxEventKind::OutageBegun:
        bar_.Finish();
        platform::PrintText(stderr, "upgrade-cli: %s: outage %u: nothing can be sent from adapter %s "
                     "(gone, without an IPv4 address or without link); waiting for it\n",
                     platform::IsoLocalTimeNow().c_str(), e.dwOutage, adapter_.c_str());
        if (json_) Emit(Counts(Begin("outage_begun").Whole("outage", e.dwOutage).Text("adapter", adapter_), e));
        Logged(run);
        return;
      case TxEventKind::OutageEnded:
        bar_.Finish();
        platform::PrintText(stderr, "upgrade-cli: %s: sending again from adapter %s after an outage of %.1f s\n",
                     platform::IsoLocalTimeNow().c_str(), adapter_.c_str(), e.dSeconds);
        if (json_)
          Emit(Counts(
              Begin("outage_ended").Whole("outage", e.dwOutage).Number("seconds", e.dSeconds, 3).Text("adapter", adapter_),
              e));
        Logged(run);
        return;
      case TxEventKind::FileChanged:
        if (json_) Emit(Counts(Begin("file_changed").Text("file", o_.file), e));
        return;
      case TxEventKind::Stopped:
        if (json_) {
          JsonObject object = Begin("stopped");
          const int sig = g_stopSignal.load();
          object.Text("reason", sig != 0                ? "signal"
                                : g_gaveUp.load()       ? "gave_up"
                                : PassesReached()       ? "passes"
                                                        : "stop");
          if (sig != 0) object.Text("signal", sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : std::to_string(sig));
          Emit(Counts(object, e));
        }
        return;
      case TxEventKind::Finished:
        return;
    }
  }

  // The last event: how the run ended, with the exit status and the message on standard error;
  // the worker's result, the run's length and its counts when a run took place (`e`).
  void Finished(int status, std::int32_t result, const std::string& message, const STxEvent* e) {
    if (!json_) return;
    JsonObject object = Begin("finished");
    object.Signed("status", status);
    if (e != nullptr) object.Signed("result", result).Number("seconds", e->dSeconds, 3);
    if (!message.empty()) object.Text("message", message);
    if (e != nullptr) Counts(object, *e);
    Emit(object);
  }

  // Every 10 s without another line: where the pass is, or how long the outage has lasted.
  void Tick(const CTransmissionEvents& run) {
    if (!logLines_) return;
    const std::int64_t now = platform::CounterNow();
    const double since = static_cast<double>(now - lastLine_) / static_cast<double>(platform::CounterFrequency());
    if (since < kLogEverySeconds) return;
    if (run.InOutage()) {
      Log("outage " + std::to_string(run.Outages()) + ": nothing sent from adapter " + adapter_ + " for " +
          Fixed(run.OutageSeconds(now)) + " s");
    } else {
      const std::uint32_t count = g_hdrTemplate.dwPacketCount;
      const std::uint32_t packet = g_dwPacketNo.load();
      const double rate = static_cast<double>(run.Datagrams() - lastLineSent_) / since;
      char numbers[160];
      std::snprintf(numbers, sizeof numbers, ": datagram %u/%u (%u%%), %.0f datagrams/s, ", packet, count,
                    PassPercent(packet), rate);
      Log("pass " + PassOfWanted(run.Passes() + 1) + numbers + TimeLeftInPass(packet, count, rate) +
          " left in the pass");
    }
    Logged(run);
  }

 private:
  static constexpr double kLogEverySeconds = 10.0;

  static std::string Fixed(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
  }
  // A line went to the log now: the next progress line comes 10 s later.
  void Logged(const CTransmissionEvents& run) {
    lastLine_ = platform::CounterNow();
    lastLineSent_ = run.Datagrams();
  }
  bool PassesReached() const { return passesWanted_ != 0 && g_passesDone.load() >= passesWanted_; }
  // "3", or "3/5" when 5 passes were asked for.
  std::string PassOfWanted(std::uint32_t pass) const {
    return std::to_string(pass) + (passesWanted_ != 0 ? "/" + std::to_string(passesWanted_) : "");
  }
  static JsonObject Begin(const char* event) {
    JsonObject object;
    object.Text("time", platform::IsoLocalTimeNow()).Text("event", event);
    return object;
  }
  static JsonObject& Counts(JsonObject& object, const STxEvent& e) {
    return object.Whole("passes", e.dwPass).Whole("outages", e.dwOutage).Whole("datagrams", e.qwDatagrams);
  }
  static JsonObject& Counts(JsonObject&& object, const STxEvent& e) { return Counts(object, e); }
  void Emit(JsonObject& object) {
    platform::WriteText(stdout, object.Line() + "\n");
    std::fflush(stdout);
  }
  void Emit(JsonObject&& object) { Emit(object); }
  void Log(const std::string& text) {
    platform::PrintText(stderr, "upgrade-cli: %s: %s\n", platform::IsoLocalTimeNow().c_str(), text.c_str());
    std::fflush(stderr);
  }

  const SendOptions& o_;
  bool json_;
  bool logLines_;
  std::string adapter_;
  std::string scheduling_ = "normal";
  std::uint32_t passesWanted_ = 0;
  ProgressLine bar_;
  std::int64_t lastLine_ = 0;
  std::uint64_t lastLineSent_ = 0;
};

// The worker's pass hook feeds the run's events; set while a run is on.
std::atomic<CTransmissionEvents*> g_events{nullptr};

void OnPassDone(std::uint32_t) {
  if (CTransmissionEvents* events = g_events.load())
    events->NotePassDone(platform::CounterNow(), g_qwDatagramsSent.load());
  const std::uint32_t done = g_passesDone.fetch_add(1) + 1;
  const std::uint32_t wanted = g_passesWanted.load();
  if (wanted != 0 && done >= wanted) RequestStop();
}

// The analysis's trace, on standard error when standard output carries the JSON lines.
void TraceToStderr(const char* line, std::size_t len) { platform::WriteText(stderr, std::string(line, len)); }

int RunSend(const SendOptions& o) {
  const int language = o.lang == "zh" ? 1 : 0;
  const bool terminal = platform::IsTerminal(stderr);
  SendReport report(o, o.json, !o.json && !terminal, terminal);
  auto message = [language](texts::Message m) {
    const char* text = texts::MessageText(m, language);
    return std::string(text != nullptr ? text : "");
  };
  g_nLanguage = language;
  SetTransmissionDefaults();
  g_nPolicy = 1;
  if (o.json) inspect::SetTraceSink(TraceToStderr);

  if (o.file.size() >= kFilePathSize)
    return report.Refuse(1, "upgrade-cli: the file path is longer than " + std::to_string(kFilePathSize - 1) + " bytes");
  std::memset(g_szFilePath, 0, sizeof g_szFilePath);
  std::memcpy(g_szFilePath, o.file.data(), o.file.size());

  SChosenAdapter chosen;
  std::string error;
  if (!ResolveAdapter(o.adapter, &chosen, &error)) return report.Refuse(2, "upgrade-cli: send: " + error);

  // The file must open; then what the window shows once the file is chosen (the analysis,
  // its trace on standard output) and what its Start checks (the policy, the measure).
  if (std::FILE* f = platform::OpenFileForReading(g_szFilePath)) {
    std::fclose(f);
  } else {
    return report.Refuse(1, message(texts::Message::FileUnreadable));
  }
  std::string refusal;
  if (RefusedLikeStart(o.file, language, refusal)) {
    std::fflush(stdout);
    return report.Refuse(1, refusal);
  }
  if (MeasureBinFile(g_szFilePath) != 0) return report.Refuse(1, message(texts::Message::PolicyMismatch));

  // --passes auto: the planner's number for the figures given, or nothing sent.
  std::uint32_t passesWanted = 0;
  if (o.passes == "auto") {
    const PlanForFile p = PlanFor(o.figures, g_hdrTemplate.dwTotalLen, g_hdrTemplate.dwPacketCount);
    report.Plan(p);
    if (p.plan.status != PlanStatus::Ok || !p.plan.bReachable)
      return report.Refuse(1, "upgrade-cli: send: no number of passes up to " + std::to_string(kMaxPlannedPasses) +
                                  " reaches the confidence asked for; nothing was sent");
    passesWanted = p.plan.dwPasses;
  } else {
    passesWanted = static_cast<std::uint32_t>(std::stoul(o.passes));  // checked by its validator
  }

  // One sender per adapter on this host: the mark is held by the worker until it ends.
  std::unique_ptr<platform::AdapterSendLock> sendLock;
  if (platform::TryLockAdapterForSending(chosen.strName, &sendLock) == platform::SendLockStatus::Busy)
    return report.Refuse(1, "upgrade-cli: another program is sending on adapter " + chosen.strName +
                                "; nothing was sent");
  SetChosenAdapter(chosen);
  SetSendLock(std::move(sendLock));
  report.SetRun(chosen.strName, passesWanted);

  g_bForceUpgrade = o.force ? 1 : 0;
  g_dwPacketNo = 0;
  g_dwPassCount = 0;
  g_nRunState = RUN_STARTED;
  g_passesWanted = passesWanted;
  CTransmissionEvents events(platform::CounterFrequency());
  std::vector<STxEvent> happened;
  events.Start(ObserveTransmission(), happened);
  g_events = &events;
  g_pfnPassDone = OnPassDone;
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);

  std::unique_ptr<platform::WorkerThread> worker =
      platform::StartWorkerThread(Worker, -1, platform::ThreadPriority::Normal);
  if (!worker) {
    g_pfnPassDone = nullptr;
    g_events = nullptr;
    return report.Refuse(1, "upgrade-cli: cannot start the sending thread");
  }
  report.SetScheduling(platform::SchedulingModeName(worker->Scheduling()));
  for (const STxEvent& e : happened) report.Event(e, events);

  while (!g_workerDone.load()) {
    happened.clear();
    events.Update(ObserveTransmission(), happened);
    for (const STxEvent& e : happened) report.Event(e, events);
    if (!g_gaveUp.load() && o.giveUpAfter > 0 && events.InOutage() &&
        events.OutageSeconds(platform::CounterNow()) >= o.giveUpAfter) {
      g_gaveUp = true;
      RequestStop();
    }
    if (!events.InOutage()) report.Bar().Update();
    report.Tick(events);
    platform::SleepMs(100);
  }
  const auto result = static_cast<std::int32_t>(worker->Join());
  report.Bar().Finish();
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  g_pfnPassDone = nullptr;
  happened.clear();
  events.Finish(ObserveTransmission(), result, happened);
  g_events = nullptr;

  // How it ended: the exit status, and the message that follows the summary line.
  int status = 0;
  std::string last;
  if (result == TX_ERR_OPEN) {
    status = 1;
    last = message(texts::Message::OpenFailed);
  } else if (result == TX_ERR_CRC) {
    status = 1;
    last = message(texts::Message::CrcError);
  } else if (result == TX_ERR_CHANGED) {
    status = 1;
    last = "upgrade-cli: " + o.file + ": " + message(texts::Message::FileChanged);
  } else if (g_gaveUp.load()) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", o.giveUpAfter);
    status = 1;
    last = "upgrade-cli: gave up after " + std::string(text) + " s without adapter " + chosen.strName;
  } else if (result != TX_OK) {
    // Stopped while the worker had no socket: its last set-up failed, or a datagram could not
    // be sent and no new socket followed. Nothing was being sent when it ended.
    status = 1;
    last = "upgrade-cli: stopped while the adapter could not be set up for sending (code " +
           std::to_string(result) + ")";
  } else if (passesWanted != 0 && g_passesDone.load() < passesWanted) {
    status = 1;
    last = "upgrade-cli: stopped before the " + std::to_string(passesWanted) + " pass(es) asked for were complete";
  }
  for (const STxEvent& e : happened) {
    if (e.kind == TxEventKind::Finished) report.Finished(status, result, SendReport::Message(last), &e);
    else report.Event(e, events);
  }
  platform::PrintText(stderr, "upgrade-cli: %s: %u complete pass(es) sent, %u outage(s)\n",
               platform::IsoLocalTimeNow().c_str(), g_passesDone.load(), events.Outages());
  if (!last.empty()) platform::PrintText(stderr, "%s\n", last.c_str());
  return status;
}

}  // namespace

void AddSendCommand(CLI::App& app, int& status) {
  auto opts = std::make_shared<SendOptions>();
  CLI::App* cmd = app.add_subcommand(
      "send", "Send FILE as the window's Start does: a carousel of 1060-byte datagrams to\n"
              "224.0.0.119:13456 from the chosen adapter, 1 ms apart, pass after pass, until\n"
              "--passes complete passes have gone out or Ctrl-C / SIGTERM stops it. The file is\n"
              "analysed first, as the window does when it is chosen (the trace goes to standard\n"
              "output, to standard error with --json), and refused with the window's messages\n"
              "when the window would not send it. On a terminal a progress line shows the pass;\n"
              "otherwise (a log) a line with its time comes at every pass end and every 10 s.\n"
              "Exit status 0 when it stopped as asked, 1 when it could not send or was stopped\n"
              "before the passes asked for were complete, 2 for a usage error.");
  cmd->add_option("--adapter", opts->adapter,
                  "Adapter to send from: its interface name, its INDEX in `upgrade-cli adapters`,\n"
                  "its IPv4 address, or the beginning of its description when only one adapter\n"
                  "fits (default: the one adapter that has an IPv4 address). Only this adapter\n"
                  "ever sends: while it is gone, without address or without link, the command\n"
                  "waits for it and says so");
  cmd->add_option("--passes", opts->passes,
                  "Stop after N complete passes (default 0: until interrupted); auto: the number\n"
                  "`upgrade-cli plan` gives for --loss, --devices and --confidence (the plan is\n"
                  "shown on standard error; nothing is sent when no number of passes reaches it)")
      ->check(PassesValidator());
  const PlanOptionHandles planned = AddPlanOptions(cmd, opts->figures);
  cmd->add_option("--give-up-after", opts->giveUpAfter,
                  "Stop when no datagram could be sent for this many seconds on end (default 0:\n"
                  "wait for the adapter as long as it takes)")
      ->check(SecondsUpTo(31536000));
  cmd->add_flag("--json", opts->json,
                "Write the run's events on standard output, one JSON object a line: plan, started,\n"
                "pass_complete, outage_begun, outage_ended, file_changed, stopped, finished");
  cmd->add_flag("--force", opts->force, "Set the force-upgrade flag in every datagram");
  cmd->add_flag("-v,--verbose", opts->verbose,
                "Say which adapter sends and how the sending thread is scheduled: realtime,\n"
                "realtime-rtkit (granted by RealtimeKit), normal-short-slice or normal (see the\n"
                "README on granting real time)");
  cmd->add_option("--lang", opts->lang, "Language of the messages: en (default) or zh")
      ->check(CLI::IsMember({"en", "zh"}));
  cmd->add_option("FILE", opts->file, "The upgrade file")->required();
  cmd->callback([opts, planned, &status] {
    if (opts->passes != "auto" && planned.loss->count() + planned.devices->count() + planned.confidence->count() > 0) {
      platform::PrintText(stderr, "upgrade-cli: send: --loss, --devices and --confidence plan the passes: give them with "
                           "--passes auto (see --help)\n");
      status = 2;
      return;
    }
    status = RunSend(*opts);
  });
}
