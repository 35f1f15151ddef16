// Real time through RealtimeKit (org.freedesktop.RealtimeKit1 on the D-Bus system bus).
//
// A process without the right to real time may still get it from RealtimeKit, which desktop
// systems run for their audio programs: it reads the service's two limits (the highest
// priority it hands out, the largest RLIMIT_RTTIME it accepts), has the caller meet the second,
// and asks MakeThreadRealtime for one thread.
//
// The D-Bus side is sd-bus from libsystemd.so.0, loaded at run time with dlopen, with the few
// declarations it needs written out here: the program links no D-Bus library, so neither its
// build nor its package needs one, and where the library, the system bus or the service is
// missing the caller quietly goes on without real time. Every step runs asynchronously against
// one deadline, so a bus that takes the connection and never answers holds the thread no
// longer than that (sd-bus's own blocking calls wait 25 s, and its authentication 90 s).
#include "platform/posix/realtimekit.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace platform {
namespace {

// sd-bus's types and the functions used, as sd-bus.h declares them; a libsystemd.so.0 that
// lacks one counts as missing.
struct SdBus;
struct SdBusMessage;
struct SdBusSlot;
struct SdBusError {
  const char* name;
  const char* message;
  int needFree;
};
using SdBusMessageHandler = int (*)(SdBusMessage* m, void* userdata, SdBusError* retError);

struct SdBusApi {
  int (*busNew)(SdBus** ret);
  int (*setAddress)(SdBus* bus, const char* address);
  int (*setBusClient)(SdBus* bus, int b);
  int (*start)(SdBus* bus);
  int (*process)(SdBus* bus, SdBusMessage** r);
  int (*wait)(SdBus* bus, std::uint64_t timeoutUsec);
  void (*close)(SdBus* bus);
  SdBus* (*unref)(SdBus* bus);
  int (*callMethodAsync)(SdBus* bus, SdBusSlot** slot, const char* destination, const char* path,
                         const char* interface, const char* member, SdBusMessageHandler callback,
                         void* userdata, const char* types, ...);
  SdBusSlot* (*slotUnref)(SdBusSlot* slot);
  SdBusMessage* (*messageRef)(SdBusMessage* m);
  SdBusMessage* (*messageUnref)(SdBusMessage* m);
  const SdBusError* (*messageGetError)(SdBusMessage* m);
  int (*messageRead)(SdBusMessage* m, const char* types, ...);
};

// The library, loaded on first use and kept; nullptr where it or a function is missing.
const SdBusApi* LoadSdBus() {
  static const SdBusApi* const loaded = []() -> const SdBusApi* {
    void* lib = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return nullptr;
    static SdBusApi api;
    bool complete = true;
    auto take = [&](auto& fn, const char* name) {
      void* sym = dlsym(lib, name);
      complete = complete && sym != nullptr;
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(sym);
    };
    take(api.busNew, "sd_bus_new");
    take(api.setAddress, "sd_bus_set_address");
    take(api.setBusClient, "sd_bus_set_bus_client");
    take(api.start, "sd_bus_start");
    take(api.process, "sd_bus_process");
    take(api.wait, "sd_bus_wait");
    take(api.close, "sd_bus_close");
    take(api.unref, "sd_bus_unref");
    take(api.callMethodAsync, "sd_bus_call_method_async");
    take(api.slotUnref, "sd_bus_slot_unref");
    take(api.messageRef, "sd_bus_message_ref");
    take(api.messageUnref, "sd_bus_message_unref");
    take(api.messageGetError, "sd_bus_message_get_error");
    take(api.messageRead, "sd_bus_message_read");
    if (!complete) {
      dlclose(lib);
      return nullptr;
    }
    return &api;
  }();
  return loaded;
}

constexpr const char* kService = "org.freedesktop.RealtimeKit1";
constexpr const char* kPath = "/org/freedesktop/RealtimeKit1";
constexpr const char* kInterface = "org.freedesktop.RealtimeKit1";

// Error replies that say the service is not there, rather than that it said no.
bool MeansNoService(const char* error) {
  static const char* const kNames[] = {
      "org.freedesktop.DBus.Error.ServiceUnknown",   "org.freedesktop.DBus.Error.NameHasNoOwner",
      "org.freedesktop.DBus.Error.UnknownObject",    "org.freedesktop.DBus.Error.UnknownInterface",
      "org.freedesktop.DBus.Error.UnknownMethod",    "org.freedesktop.DBus.Error.UnknownProperty",
      "org.freedesktop.DBus.Error.NoReply",          "org.freedesktop.DBus.Error.Timeout",
      "org.freedesktop.DBus.Error.Disconnected",
  };
  for (const char* name : kNames)
    if (error != nullptr && std::strcmp(error, name) == 0) return true;
  return false;
}

using Clock = std::chrono::steady_clock;

// One connection to the system bus, for one request.
class Session {
 public:
  Session(const SdBusApi& api, Clock::time_point deadline) : api_(api), deadline_(deadline) {}
  ~Session() {
    if (bus_ != nullptr) {
      api_.close(bus_);  // not flushed: a bus that does not answer would hold us there
      api_.unref(bus_);
    }
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The address as sd_bus_open_system takes it (the variable is ignored in a program started
  // with raised rights); false when nothing listens there. Authentication and the bus's
  // greeting follow while the first call waits.
  bool Connect() {
    const char* address = secure_getenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (address == nullptr || *address == '\0') address = "unix:path=/run/dbus/system_bus_socket";
    if (api_.busNew(&bus_) < 0) {
      bus_ = nullptr;
      return false;
    }
    return api_.setAddress(bus_, address) >= 0 && api_.setBusClient(bus_, 1) >= 0 && api_.start(bus_) >= 0;
  }

  // Calls a method of the service and waits for its reply until the deadline.
  template <typename... Args>
  RealtimeKitAnswer Call(const char* interface, const char* member, SdBusMessage** reply, const char* types,
                         Args... args) {
    Pending pending{&api_, nullptr};
    SdBusSlot* slot = nullptr;
    if (api_.callMethodAsync(bus_, &slot, kService, kPath, interface, member, OnReply, &pending, types, args...) < 0)
      return RealtimeKitAnswer::Unavailable;
    const bool answered = RunUntilAnswered(pending);
    api_.slotUnref(slot);  // cancels the call when it was not answered
    if (!answered) return RealtimeKitAnswer::Unavailable;
    const SdBusError* error = api_.messageGetError(pending.reply);
    if (error != nullptr) {
      const bool noService = MeansNoService(error->name);
      api_.messageUnref(pending.reply);
      return noService ? RealtimeKitAnswer::Unavailable : RealtimeKitAnswer::Refused;
    }
    if (reply != nullptr)
      *reply = pending.reply;
    else
      api_.messageUnref(pending.reply);
    return RealtimeKitAnswer::Granted;
  }

  // A property of the service's interface; `type` is its D-Bus type.
  template <typename T>
  RealtimeKitAnswer ReadProperty(const char* name, const char* type, T* value) {
    SdBusMessage* reply = nullptr;
    const RealtimeKitAnswer answer =
        Call("org.freedesktop.DBus.Properties", "Get", &reply, "ss", kInterface, name);
    if (answer != RealtimeKitAnswer::Granted) return answer;
    const int r = api_.messageRead(reply, "v", type, value);
    api_.messageUnref(reply);
    return r > 0 ? RealtimeKitAnswer::Granted : RealtimeKitAnswer::Unavailable;
  }

 private:
  struct Pending {
    const SdBusApi* api;
    SdBusMessage* reply;
  };

  static int OnReply(SdBusMessage* m, void* userdata, SdBusError*) {
    auto* pending = static_cast<Pending*>(userdata);
    pending->reply = pending->api->messageRef(m);
    return 0;
  }

  // false when the deadline passed first or the connection failed.
  bool RunUntilAnswered(const Pending& pending) {
    while (pending.reply == nullptr) {
      const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline_ - Clock::now()).count();
      if (left <= 0) return false;
      const int r = api_.process(bus_, nullptr);
      if (r < 0) return false;
      if (r > 0) continue;
      const int w = api_.wait(bus_, static_cast<std::uint64_t>(left));
      if (w < 0 && w != -EINTR) return false;
    }
    return true;
  }

  const SdBusApi& api_;
  const Clock::time_point deadline_;
  SdBus* bus_ = nullptr;
};

RealtimeKitAnswer Ask(pid_t tid, int priority, MeetRealtimeTimeLimit meetLimit, std::chrono::milliseconds wait) {
  const SdBusApi* api = LoadSdBus();
  if (api == nullptr) return RealtimeKitAnswer::Unavailable;
  Session session(*api, Clock::now() + wait);
  if (!session.Connect()) return RealtimeKitAnswer::Unavailable;
  std::int32_t maxPriority = 0;
  std::int64_t rttimeUsecMax = 0;
  RealtimeKitAnswer answer = session.ReadProperty("MaxRealtimePriority", "i", &maxPriority);
  if (answer == RealtimeKitAnswer::Granted) answer = session.ReadProperty("RTTimeUSecMax", "x", &rttimeUsecMax);
  if (answer != RealtimeKitAnswer::Granted) return answer;
  if (maxPriority < priority || !meetLimit(rttimeUsecMax)) return RealtimeKitAnswer::Refused;
  return session.Call(kInterface, "MakeThreadRealtime", nullptr, "tu", static_cast<std::uint64_t>(tid),
                      static_cast<std::uint32_t>(priority));
}

std::atomic<bool> g_unavailable{false};

}  // namespace

RealtimeKitAnswer AskRealtimeKit(pid_t tid, int priority, MeetRealtimeTimeLimit meetLimit,
                                 std::chrono::milliseconds wait) {
  if (g_unavailable.load()) return RealtimeKitAnswer::Unavailable;
  const RealtimeKitAnswer answer = Ask(tid, priority, meetLimit, wait);
  if (answer == RealtimeKitAnswer::Unavailable) g_unavailable.store(true);
  return answer;
}

}  // namespace platform
