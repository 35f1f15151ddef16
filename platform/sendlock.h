// The mark of a program sending on an adapter, so that two senders on one host never send on
// the same adapter at once. Held while sending; the system frees it when the process ends,
// however it ends (Linux: an abstract-namespace Unix socket bound to a name made from the
// adapter's, per network namespace; Windows: a named kernel mutex in the Global namespace).
// Never waited on.
#pragma once

#include <memory>
#include <string>

namespace platform {

class AdapterSendLock {
 public:
  virtual ~AdapterSendLock() = default;  // lets go of the mark
};

enum class SendLockStatus { Held, Busy, Failed };

// Takes the mark of adapter `name` (platform::AdapterInfo::name). Held: *out owns it. Busy:
// another process (or another holder in this one) has it.
SendLockStatus TryLockAdapterForSending(const std::string& name, std::unique_ptr<AdapterSendLock>* out);

}  // namespace platform
