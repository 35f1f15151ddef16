// upgrade-cli send: what the window's Start does, from the command line, until the number
// of passes asked for has gone out or the operator interrupts it (which is Stop).
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/openfile.h"
#include "platform/socket.h"
#include "platform/thread.h"
#include "res/texts.h"
#include "transmit/datagram.h"
#include "transmit/sender.h"
#include "transmit/state.h"

namespace {

struct SendOptions {
  std::string adapter;
  std::string file;
  std::string lang = "en";
  unsigned passes = 0;  // 0: until interrupted
  bool force = false;
};

std::atomic<std::uint32_t> g_passesWanted{0};
std::atomic<std::uint32_t> g_passesDone{0};
std::atomic<int> g_stopSignal{0};
std::atomic<bool> g_workerDone{false};
std::intptr_t g_adapterIndex = -1;

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

// The list index of the adapter the operator named, among the first ten; nullopt with a
// message on standard error when there is none.
std::optional<std::intptr_t> ResolveAdapter(const std::string& wanted) {
  std::vector<platform::AdapterInfo> all;
  if (platform::ListAdapters(all) != platform::AdapterListStatus::Ok) {
    platform::PrintText(stderr, "upgrade-cli: no network adapter found\n");
    return std::nullopt;
  }
  if (all.size() > static_cast<std::size_t>(kAdaptersConsidered)) all.resize(kAdaptersConsidered);
  // An adapter is named as the adapter box names it (on Windows its system name is a GUID).
  auto chosen = [&all](std::size_t i) {
    if (all[i].ipv4 == "0.0.0.0")
      platform::PrintText(stderr, "upgrade-cli: adapter %zu (%s) has no IPv4 address: nothing is sent until it has one\n",
                          i, platform::AdapterEntryText(all[i]).c_str());
    return static_cast<std::intptr_t>(i);
  };
  if (wanted.empty()) return chosen(0);
  if (AllDigits(wanted)) {
    if (wanted.size() < 3 && std::stoul(wanted) < all.size()) return chosen(std::stoul(wanted));
  } else {
    for (std::size_t i = 0; i < all.size(); ++i)
      if (all[i].ipv4 == wanted || all[i].name == wanted) return chosen(i);
    for (std::size_t i = 0; i < all.size(); ++i)
      if (all[i].description.rfind(wanted, 0) == 0) return chosen(i);
  }
  platform::PrintText(stderr, "upgrade-cli: no adapter \"%s\" among:\n", wanted.c_str());
  for (std::size_t i = 0; i < all.size(); ++i)
    platform::PrintText(stderr, "  %zu\t%s\n", i, platform::AdapterEntryText(all[i]).c_str());
  return std::nullopt;
}

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

  const std::optional<std::intptr_t> index = ResolveAdapter(o.adapter);
  if (!index) return 1;
  g_adapterIndex = *index;

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

  g_bForceUpgrade = o.force ? 1 : 0;
  g_dwPacketNo = 0;
  g_dwPassCount = 0;
  g_nRunState = RUN_STARTED;
  g_passesWanted = o.passes;
  g_pfnPassDone = OnPassDone;
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);

  std::unique_ptr<platform::WorkerThread> worker =
      platform::StartWorkerThread(Worker, g_adapterIndex, platform::ThreadPriority::Normal);
  if (!worker) {
    platform::PrintText(stderr, "upgrade-cli: cannot start the sending thread\n");
    return 1;
  }

  ProgressLine progress(platform::IsTerminal(stderr));
  unsigned reconnects = 0;
  while (!g_workerDone.load()) {
    // A datagram that could not be sent: the worker sets up a new socket and starts the
    // file again. Say so once for each time it happens.
    std::int32_t retry = TX_RETRY;
    if (g_nResult.compare_exchange_strong(retry, TX_OK)) {
      ++reconnects;
      progress.Finish();
      platform::PrintText(stderr, "upgrade-cli: a datagram could not be sent; setting up the adapter again\n");
    }
    progress.Update();
    platform::SleepMs(100);
  }
  const auto result = static_cast<std::int32_t>(worker->Join());
  progress.Finish();
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  g_pfnPassDone = nullptr;

  platform::PrintText(stderr, "upgrade-cli: %u complete pass(es) sent, %u reconnect(s)\n", g_passesDone.load(), reconnects);
  if (result == TX_ERR_OPEN) {
    PrintMessage(texts::Message::OpenFailed, language);
    return 1;
  }
  if (result == TX_ERR_CRC) {
    PrintMessage(texts::Message::CrcError, language);
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
                  "Adapter to send from: its INDEX in `upgrade-cli adapters`, its IPv4 address,\n"
                  "its interface name, or the beginning of its description (default: index 0)");
  cmd->add_option("--passes", opts->passes, "Stop after N complete passes (default 0: until interrupted)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_flag("--force", opts->force, "Set the force-upgrade flag in every datagram");
  cmd->add_option("--lang", opts->lang, "Language of the messages: en (default) or zh")
      ->check(CLI::IsMember({"en", "zh"}));
  cmd->add_option("FILE", opts->file, "The upgrade file")->required();
  cmd->callback([opts, &status] { status = RunSend(*opts); });
}
