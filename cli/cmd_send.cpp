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
#include "transmit/reconnect.h"
#include "transmit/sender.h"
#include "transmit/state.h"

namespace {

struct SendOptions {
  std::string adapter;
  std::string file;
  std::string lang = "en";
  unsigned passes = 0;       // 0: until interrupted
  double giveUpAfter = 0;    // seconds of outage after which to stop; 0: never
  bool force = false;
};

std::atomic<std::uint32_t> g_passesWanted{0};
std::atomic<std::uint32_t> g_passesDone{0};
std::atomic<int> g_stopSignal{0};
std::atomic<bool> g_workerDone{false};

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

void OnPassDone(std::uint32_t) {
  const std::uint32_t done = g_passesDone.fetch_add(1) + 1;
  const std::uint32_t wanted = g_passesWanted.load();
  if (wanted != 0 && done >= wanted) RequestStop();
}

std::uint32_t Worker(std::intptr_t param) {
  const std::uint32_t result = TransmissionThreadProc(param);
  g_workerDone = true;
  return result;
}

void PrintMessage(texts::Message m, int language) {
  const char* text = texts::MessageText(m, language);
  if (text != nullptr) platform::PrintText(stderr, "%s\n", text);
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

// The outages of one run, as the command line reports them: an outage begins when the worker
// finds that it cannot send (its adapter gone, without address or link, or a datagram not
// sent) and ends when datagrams go out again. One line each, with the local time.
class OutageLog {
 public:
  explicit OutageLog(std::string adapter) : adapter_(std::move(adapter)) {}

  // Looks at the worker's state; answers true when a line was written.
  bool Update(bool datagramFailed) {
    const std::uint64_t sent = g_qwDatagramsSent.load();
    const bool waiting = g_bAdapterWait.load() != 0;
    if (!inOutage_ && (datagramFailed || waiting)) {
      inOutage_ = true;
      began_ = platform::CounterNow();
      sentAtBegin_ = sent;
      ++count_;
      platform::PrintText(stderr, "upgrade-cli: %s: outage %u: nothing can be sent from adapter %s "
                          "(gone, without an IPv4 address or without link); waiting for it\n",
                          platform::IsoLocalTimeNow().c_str(), count_, adapter_.c_str());
      return true;
    }
    if (inOutage_ && !waiting && sent > sentAtBegin_) {
      inOutage_ = false;
      platform::PrintText(stderr, "upgrade-cli: %s: sending again from adapter %s after an outage of %.1f s\n",
                          platform::IsoLocalTimeNow().c_str(), adapter_.c_str(), Seconds());
      return true;
    }
    return false;
  }

  bool InOutage() const { return inOutage_; }
  double Seconds() const {
    return static_cast<double>(platform::CounterNow() - began_) / static_cast<double>(platform::CounterFrequency());
  }
  unsigned Count() const { return count_; }

 private:
  std::string adapter_;
  bool inOutage_ = false;
  std::int64_t began_ = 0;
  std::uint64_t sentAtBegin_ = 0;
  unsigned count_ = 0;
};

class ProgressLine {
 public:
  explicit ProgressLine(bool enabled) : enabled_(enabled) {}

  void Update() {
    if (!enabled_) return;
    const std::int64_t now = platform::CounterNow();
    const std::uint32_t count = g_hdrTemplate.dwPacketCount;
    const std::uint32_t pass = g_dwPassCount.load();
    const std::uint32_t packet = g_dwPacketNo.load();
    // Datagrams sent so far, for the rate: whole passes plus the current one.
    const std::uint64_t sent = static_cast<std::uint64_t>(g_passesDone.load()) * count + packet;
    double rate = 0;
    if (lastTime_ != 0 && now > lastTime_ && sent >= lastSent_)
      rate = static_cast<double>(sent - lastSent_) * static_cast<double>(platform::CounterFrequency()) /
             static_cast<double>(now - lastTime_);
    lastTime_ = now;
    lastSent_ = sent;
    const std::uint32_t total = g_dwFileLength.load();
    const unsigned percent =
        total == 0 ? 0 : total <= kChunkSize ? 100 : static_cast<unsigned>(static_cast<std::uint64_t>(packet) * 1024 * 100 / total);
    platform::PrintText(stderr, "\rpass %u  datagram %u/%u  %3u%%  %6.0f datagrams/s   ", pass, packet, count,
                        percent, rate);
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
};

int RunSend(const SendOptions& o) {
  const int language = o.lang == "zh" ? 1 : 0;
  g_nLanguage = language;
  SetTransmissionDefaults();
  g_nPolicy = 1;

  if (o.file.size() >= kFilePathSize) {
    platform::PrintText(stderr, "upgrade-cli: the file path is longer than %zu bytes\n", kFilePathSize - 1);
    return 1;
  }
  std::memset(g_szFilePath, 0, sizeof g_szFilePath);
  std::memcpy(g_szFilePath, o.file.data(), o.file.size());

  SChosenAdapter chosen;
  std::string error;
  if (!ResolveAdapter(o.adapter, &chosen, &error)) {
    platform::PrintText(stderr, "upgrade-cli: send: %s\n", error.c_str());
    return 2;
  }

  // The file must open; then what the window shows once the file is chosen (the analysis,
  // its trace on standard output) and what its Start checks (the policy, the measure).
  if (std::FILE* f = platform::OpenFileForReading(g_szFilePath)) {
    std::fclose(f);
  } else {
    PrintMessage(texts::Message::FileUnreadable, language);
    return 1;
  }
  std::string refusal;
  if (RefusedLikeStart(o.file, language, refusal)) {
    std::fflush(stdout);
    platform::PrintText(stderr, "%s\n", refusal.c_str());
    return 1;
  }
  if (MeasureBinFile(g_szFilePath) != 0) {
    PrintMessage(texts::Message::PolicyMismatch, language);
    return 1;
  }

  // One sender per adapter on this host: the mark is held by the worker until it ends.
  std::unique_ptr<platform::AdapterSendLock> sendLock;
  if (platform::TryLockAdapterForSending(chosen.strName, &sendLock) == platform::SendLockStatus::Busy) {
    platform::PrintText(stderr, "upgrade-cli: another program is sending on adapter %s; nothing was sent\n",
                        chosen.strName.c_str());
    return 1;
  }
  SetChosenAdapter(chosen);
  SetSendLock(std::move(sendLock));

  g_bForceUpgrade = o.force ? 1 : 0;
  g_dwPacketNo = 0;
  g_dwPassCount = 0;
  g_nRunState = RUN_STARTED;
  g_passesWanted = o.passes;
  g_pfnPassDone = OnPassDone;
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);

  std::unique_ptr<platform::WorkerThread> worker =
      platform::StartWorkerThread(Worker, -1, platform::ThreadPriority::Normal);
  if (!worker) {
    platform::PrintText(stderr, "upgrade-cli: cannot start the sending thread\n");
    return 1;
  }

  ProgressLine progress(platform::IsTerminal(stderr));
  OutageLog outages(chosen.strName);
  bool gaveUp = false;
  while (!g_workerDone.load()) {
    // A datagram that could not be sent: the worker sets up again and starts the file again.
    std::int32_t retry = TX_RETRY;
    const bool datagramFailed = g_nResult.compare_exchange_strong(retry, TX_OK);
    if (datagramFailed || g_bAdapterWait.load() != 0) progress.Finish();
    outages.Update(datagramFailed);
    if (!gaveUp && o.giveUpAfter > 0 && outages.InOutage() && outages.Seconds() >= o.giveUpAfter) {
      gaveUp = true;
      RequestStop();
    }
    if (!outages.InOutage()) progress.Update();
    platform::SleepMs(100);
  }
  const auto result = static_cast<std::int32_t>(worker->Join());
  progress.Finish();
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  g_pfnPassDone = nullptr;

  platform::PrintText(stderr, "upgrade-cli: %s: %u complete pass(es) sent, %u outage(s)\n",
                      platform::IsoLocalTimeNow().c_str(), g_passesDone.load(), outages.Count());
  if (result == TX_ERR_OPEN) {
    PrintMessage(texts::Message::OpenFailed, language);
    return 1;
  }
  if (result == TX_ERR_CRC) {
    PrintMessage(texts::Message::CrcError, language);
    return 1;
  }
  if (result == TX_ERR_CHANGED) {
    const char* text = texts::MessageText(texts::Message::FileChanged, language);
    platform::PrintText(stderr, "upgrade-cli: %s: %s\n", o.file.c_str(), text != nullptr ? text : "");
    return 1;
  }
  if (gaveUp) {
    platform::PrintText(stderr, "upgrade-cli: gave up after %.1f s without adapter %s\n", o.giveUpAfter,
                        chosen.strName.c_str());
    return 1;
  }
  // Stopped while the worker had no socket: its last set-up failed, or a datagram could not
  // be sent and no new socket followed. Nothing was being sent when it ended.
  if (result != TX_OK) {
    platform::PrintText(stderr, "upgrade-cli: stopped while the adapter could not be set up for sending (code %d)\n",
                        static_cast<int>(result));
    return 1;
  }
  if (o.passes != 0 && g_passesDone.load() < o.passes) {
    platform::PrintText(stderr, "upgrade-cli: stopped before the %u pass(es) asked for were complete\n", o.passes);
    return 1;
  }
  return 0;
}

}  // namespace

void AddSendCommand(CLI::App& app, int& status) {
  auto opts = std::make_shared<SendOptions>();
  CLI::App* cmd = app.add_subcommand(
      "send", "Send FILE as the window's Start does: a carousel of 1060-byte datagrams to\n"
              "224.0.0.119:13456 from the chosen adapter, 1 ms apart, pass after pass, until\n"
              "--passes complete passes have gone out or Ctrl-C / SIGTERM stops it. The file is\n"
              "analysed first, as the window does when it is chosen (the trace goes to standard\n"
              "output), and refused with the window's messages when the window would not send it.");
  cmd->add_option("--adapter", opts->adapter,
                  "Adapter to send from: its interface name, its INDEX in `upgrade-cli adapters`,\n"
                  "its IPv4 address, or the beginning of its description when only one adapter\n"
                  "fits (default: the one adapter that has an IPv4 address). Only this adapter\n"
                  "ever sends: while it is gone, without address or without link, the command\n"
                  "waits for it and says so");
  cmd->add_option("--passes", opts->passes, "Stop after N complete passes (default 0: until interrupted)")
      ->check(WholeNumberFrom(0, 4294967294u));
  cmd->add_option("--give-up-after", opts->giveUpAfter,
                  "Stop when no datagram could be sent for this many seconds on end (default 0:\n"
                  "wait for the adapter as long as it takes)")
      ->check(SecondsUpTo(31536000));
  cmd->add_flag("--force", opts->force, "Set the force-upgrade flag in every datagram");
  cmd->add_option("--lang", opts->lang, "Language of the messages: en (default) or zh")
      ->check(CLI::IsMember({"en", "zh"}));
  cmd->add_option("FILE", opts->file, "The upgrade file")->required();
  cmd->callback([opts, &status] { status = RunSend(*opts); });
}
