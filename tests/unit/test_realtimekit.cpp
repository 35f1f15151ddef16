// The sending worker of a process the kernel refuses real time asks RealtimeKit: here a
// stand-in service (rtkit_standin) on a private dbus-daemon, and the worker in a child that
// gave up the right to real time (RLIMIT_RTPRIO 0, user nobody when run as root) and finds the
// system bus at the private bus's address.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/thread.h"
#include "tests/unit/scheduling_support.h"

#ifndef RTKIT_STANDIN
#define RTKIT_STANDIN ""  // not built: libsystemd's headers were missing
#endif

namespace {

using scheduling_test::ChildOutcome;
using scheduling_test::Describe;
using scheduling_test::FellBack;
using scheduling_test::IsRealtimePolicy;
using scheduling_test::PolicyAndPriority;
using scheduling_test::RunWorkerWithoutTheRight;
using scheduling_test::SpinUntilDemoted;

using platform::SchedulingMode;
namespace fs = std::filesystem;

// A started helper program whose first line of output says it is ready; ended (SIGTERM, then
// waited for) with the object, and with the test program should that die first.
class Helper {
 public:
  Helper() = default;
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;
  ~Helper() { Stop(); }

  // The first line, or "" when the program ended or said nothing within 5 s.
  std::string Start(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) return "";
    pid_ = fork();
    if (pid_ < 0) return "";
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      close(fds[1]);
      std::vector<char*> argv;
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
    std::string line;
    pollfd p{out_, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (line.find('\n') == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
      char buf[256];
      const ssize_t n = read(out_, buf, sizeof buf);
      if (n <= 0) return "";
      line.append(buf, static_cast<std::size_t>(n));
    }
    return line.substr(0, line.find('\n'));
  }

  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    if (out_ >= 0) {
      close(out_);
      out_ = -1;
    }
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

std::string FindDbusDaemon() {
  const char* path = std::getenv("PATH");
  std::string dirs = std::string(path != nullptr ? path : "") + ":/usr/bin:/bin";
  for (std::size_t at = 0; at <= dirs.size();) {
    const std::size_t end = std::min(dirs.find(':', at), dirs.size());
    const std::string candidate = dirs.substr(at, end - at) + "/dbus-daemon";
    if (end > at && access(candidate.c_str(), X_OK) == 0) return candidate;
    at = end + 1;
  }
  return "";
}

// A temporary folder that others may enter (the child runs as nobody), removed at the end.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/rtkit-test.XXXXXX";
    if (mkdtemp(pattern) != nullptr && chmod(pattern, 0755) == 0) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// A private bus (a dbus-daemon taking everyone's connections), and on it, where asked, the
// stand-in RealtimeKit.
class RealtimeKitTest : public testing::Test {
 protected:
  void SetUp() override {
    if (std::string(RTKIT_STANDIN).empty()) GTEST_SKIP() << "the stand-in service was not built (no libsystemd-dev)";
    if (geteuid() != 0) GTEST_SKIP() << "the stand-in service must be root to change another user's scheduling";
    const std::string daemon = FindDbusDaemon();
    if (daemon.empty()) GTEST_SKIP() << "no dbus-daemon (Debian package dbus-daemon)";
    ASSERT_FALSE(dir_.Path().empty());
    address_ = "unix:path=" + dir_.Path() + "/bus";
    const std::string config = dir_.Path() + "/bus.conf";
    std::ofstream(config) << "<busconfig><type>system</type><listen>" << address_
                          << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
                             "<allow own=\"*\"/><allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                             "</policy></busconfig>\n";
    const std::string said = daemon_.Start({daemon, "--config-file=" + config, "--nofork", "--print-address=1"});
    ASSERT_EQ(said.rfind(address_, 0), 0u) << "dbus-daemon said \"" << said << "\"";
  }

  void TearDown() override {
    standin_.Stop();
    daemon_.Stop();
  }

  // Starts the stand-in: "rr", "fifo" or "refuse".
  void StartStandin(const char* mode) {
    ASSERT_EQ(standin_.Start({RTKIT_STANDIN, address_, mode}), "ready");
  }

  TempDir dir_;
  std::string address_;
  Helper daemon_, standin_;
};

// Where the service grants it (with either policy), the worker is real-time at priority 1,
// not inherited by children, says "realtime-rtkit", and the process's RLIMIT_RTTIME meets the
// service's 200 ms: the hard limit there, the soft limit (the watchdog) three quarters of it.
TEST_F(RealtimeKitTest, GrantedByTheService) {
  const struct {
    const char* mode;
    int policy;
  } cases[] = {{"rr", SCHED_RR}, {"fifo", SCHED_FIFO}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    StartStandin(c.mode);
    const ChildOutcome o = RunWorkerWithoutTheRight(address_, PolicyAndPriority);
    ASSERT_TRUE(o.reported) << Describe(o);
    EXPECT_EQ(o.report.mode, static_cast<int>(SchedulingMode::RealtimeKit)) << Describe(o);
    EXPECT_EQ(o.report.code, static_cast<std::uint32_t>(c.policy | SCHED_RESET_ON_FORK) << 8 | 1u);
    EXPECT_EQ(o.report.rttimeHard, 200000);
    EXPECT_EQ(o.report.rttimeSoft, 150000);
    standin_.Stop();
  }
}

// A service that refuses, and a bus without the service: the fall-back, at once.
TEST_F(RealtimeKitTest, FallBackWhenTheServiceRefusesOrIsMissing) {
  for (const char* mode : {"refuse", ""}) {
    SCOPED_TRACE(*mode ? mode : "no service");
    if (*mode) StartStandin(mode);
    const ChildOutcome o = RunWorkerWithoutTheRight(address_, PolicyAndPriority);
    ASSERT_TRUE(o.reported) << Describe(o);
    EXPECT_TRUE(FellBack(o.report)) << Describe(o);
    EXPECT_LT(o.report.startMs, 500) << Describe(o);
    standin_.Stop();
  }
}

// A worker that RealtimeKit made real-time and that holds the processor without a pause is
// put back to normal scheduling by the watchdog at the soft limit (150 ms), before the hard
// limit (200 ms), where the kernel would kill the process. The kernel counts in ticks, the
// thread's processor time here can be longer (in a virtual machine, by time its processor did
// not get from the host), so the bounds are loose.
TEST_F(RealtimeKitTest, WatchdogEndsARunawayThread) {
  StartStandin("rr");
  const ChildOutcome o = RunWorkerWithoutTheRight(address_, SpinUntilDemoted);
  ASSERT_TRUE(o.reported) << Describe(o);
  ASSERT_EQ(o.report.mode, static_cast<int>(SchedulingMode::RealtimeKit)) << Describe(o);
  EXPECT_GE(o.report.code, 100u);
  EXPECT_LT(o.report.code, 400u);
  EXPECT_EQ(o.report.modeAfter, static_cast<int>(SchedulingMode::Normal));
}

// No bus at the address: the fall-back, at once.
TEST(RealtimeKitWithoutBus, FallBackWhenNoBusListens) {
  TempDir dir;
  ASSERT_FALSE(dir.Path().empty());
  const ChildOutcome o = RunWorkerWithoutTheRight("unix:path=" + dir.Path() + "/bus", PolicyAndPriority);
  ASSERT_TRUE(o.reported) << Describe(o);
  EXPECT_TRUE(FellBack(o.report)) << Describe(o);
  EXPECT_LT(o.report.startMs, 500) << Describe(o);
}

// A bus that takes the connection and never answers holds the worker's start about a second,
// and only once: the process then knows RealtimeKit is not to be had.
TEST(RealtimeKitWithoutBus, HungBusDelaysTheStartOnlyOnceAndBriefly) {
  TempDir dir;
  ASSERT_FALSE(dir.Path().empty());
  const std::string path = dir.Path() + "/bus";
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(chmod(path.c_str(), 0777), 0);
  ASSERT_EQ(listen(listener, 8), 0);  // connections wait in the backlog, never accepted
  const ChildOutcome o = RunWorkerWithoutTheRight("unix:path=" + path, PolicyAndPriority, true);
  close(listener);
  ASSERT_TRUE(o.reported) << Describe(o);
  EXPECT_TRUE(FellBack(o.report)) << Describe(o);
  EXPECT_GE(o.report.startMs, 900) << Describe(o);
  EXPECT_LT(o.report.startMs, 1500) << Describe(o);
  EXPECT_LT(o.report.secondStartMs, 200);
}

}  // namespace
