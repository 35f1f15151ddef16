// The sending mark on Linux: a Unix socket bound to a name in the abstract namespace. The name
// is one per adapter and network namespace, the system frees it with the last descriptor,
// and a second bind of the name fails at once with EADDRINUSE.
#include "platform/sendlock.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace platform {
namespace {

class UnixNameLock final : public AdapterSendLock {
 public:
  explicit UnixNameLock(int fd) : fd_(fd) {}
  ~UnixNameLock() override { close(fd_); }

 private:
  int fd_;
};

}  // namespace

SendLockStatus TryLockAdapterForSending(const std::string& name, std::unique_ptr<AdapterSendLock>* out) {
  const std::string key = "upgrade-tool/send/" + name;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (name.empty() || key.size() + 1 > sizeof addr.sun_path) return SendLockStatus::Failed;
  key.copy(addr.sun_path + 1, key.size());  // sun_path[0] == 0: the abstract namespace
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return SendLockStatus::Failed;
  const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + key.size());
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    const int err = errno;
    close(fd);
    return err == EADDRINUSE ? SendLockStatus::Busy : SendLockStatus::Failed;
  }
  *out = std::make_unique<UnixNameLock>(fd);
  return SendLockStatus::Held;
}

}  // namespace platform
