// A stand-in for RealtimeKit on a private bus, for the tests of the sending worker's scheduling.
//
//   rtkit_standin ADDRESS rr|fifo|refuse
//
// Connects to the bus at ADDRESS, owns org.freedesktop.RealtimeKit1 and writes "ready" on
// standard output. Like RealtimeKit it offers MaxRealtimePriority (20) and RTTimeUSecMax
// (200000), and MakeThreadRealtime(thread, priority) makes a thread of the calling process
// real-time (SCHED_RR, RealtimeKit's default, or SCHED_FIFO, with SCHED_RESET_ON_FORK) after
// the checks RealtimeKit makes: the thread is the caller's, the priority at most the highest,
// and the caller's hard RLIMIT_RTTIME set and at most RTTimeUSecMax. "refuse" refuses every
// request. Must run with the right to change another user's scheduling (root).
#include <sched.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr std::int32_t kMaxPriority = 20;
constexpr std::int64_t kRttimeUsecMax = 200000;
int g_policy = SCHED_RR;
bool g_refuse = false;

// The hard limit of "Max realtime timeout" in /proc/PID/limits; -1 when unlimited or unread.
long long HardRealtimeTimeout(pid_t pid) {
  std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
  const std::string label = "Max realtime timeout";
  for (std::string line; std::getline(limits, line);) {
    if (line.compare(0, label.size(), label) != 0) continue;
    char soft[32] = {}, hard[32] = {};
    if (std::sscanf(line.c_str() + label.size(), "%31s %31s", soft, hard) != 2) return -1;
    char* end = nullptr;
    const long long value = std::strtoll(hard, &end, 10);
    return end != hard && *end == '\0' ? value : -1;
  }
  return -1;
}

int MakeThreadRealtime(sd_bus_message* m, void*, sd_bus_error* error) {
  std::uint64_t thread = 0;
  std::uint32_t priority = 0;
  int r = sd_bus_message_read(m, "tu", &thread, &priority);
  if (r < 0) return r;
  if (g_refuse) return sd_bus_error_set_errno(error, EPERM);
  sd_bus_creds* creds = nullptr;
  r = sd_bus_query_sender_creds(m, SD_BUS_CREDS_PID, &creds);
  if (r < 0) return r;
  pid_t pid = 0;
  r = sd_bus_creds_get_pid(creds, &pid);
  sd_bus_creds_unref(creds);
  if (r < 0) return r;
  const std::string task = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(thread);
  if (access(task.c_str(), F_OK) != 0) return sd_bus_error_set_errno(error, ESRCH);
  if (priority < 1 || priority > static_cast<std::uint32_t>(kMaxPriority)) return sd_bus_error_set_errno(error, EPERM);
  const long long rttime = HardRealtimeTimeout(pid);
  if (rttime < 0 || rttime > kRttimeUsecMax) return sd_bus_error_set_errno(error, EPERM);
  sched_param p{};
  p.sched_priority = static_cast<int>(priority);
  if (sched_setscheduler(static_cast<pid_t>(thread), g_policy | SCHED_RESET_ON_FORK, &p) != 0)
    return sd_bus_error_set_errno(error, errno);
  return sd_bus_reply_method_return(m, "");
}

// The properties, read by sd-bus from the object's data.
struct Properties {
  std::int32_t maxPriority = kMaxPriority;
  std::int64_t rttimeUsecMax = kRttimeUsecMax;
};

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("MaxRealtimePriority", "i", nullptr, offsetof(Properties, maxPriority),
                    SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("RTTimeUSecMax", "x", nullptr, offsetof(Properties, rttimeUsecMax), SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("MakeThreadRealtime", "tu", "", MakeThreadRealtime, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: rtkit_standin ADDRESS rr|fifo|refuse\n");
    return 2;
  }
  const std::string mode = argv[2];
  g_policy = mode == "fifo" ? SCHED_FIFO : SCHED_RR;
  g_refuse = mode == "refuse";
  static Properties properties;
  sd_bus* bus = nullptr;
  int r = sd_bus_new(&bus);
  if (r >= 0) r = sd_bus_set_address(bus, argv[1]);
  if (r >= 0) r = sd_bus_set_bus_client(bus, 1);
  if (r >= 0) r = sd_bus_start(bus);
  if (r >= 0)
    r = sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/RealtimeKit1", "org.freedesktop.RealtimeKit1",
                                 kVtable, &properties);
  // The name may still be held for a moment by a stand-in that was just ended.
  for (int tries = 0; r >= 0; ++tries) {
    r = sd_bus_request_name(bus, "org.freedesktop.RealtimeKit1", 0);
    if (r != -EEXIST || tries == 100) break;
    usleep(20000);
    r = 0;
  }
  if (r < 0) {
    std::fprintf(stderr, "rtkit_standin: %s\n", std::strerror(-r));
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    r = sd_bus_process(bus, nullptr);
    if (r < 0) return 1;
    if (r == 0 && sd_bus_wait(bus, UINT64_MAX) < 0) return 1;
  }
}
