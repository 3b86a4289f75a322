#include "common/HostControl.h"

#include <sys/eventfd.h>

#include <cerrno>
#include <system_error>

#include "FXErrorUtil.h"
#include "common/ErrorCodes.h"

namespace ZbCassandra {

namespace {

// Close-on-exec: neither the sidecar nor a tool command inherits it.
// Non-blocking: a cancel() never waits, even once the counter is full.
int CancelDescriptor() {
  const int descriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (descriptor < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  return descriptor;
}

}  // namespace

HostControl::HostControl() : m_descriptor(CancelDescriptor()) {}

HostControl::~HostControl() { close(m_descriptor); }

void HostControl::Cancel() noexcept {
  m_cancelled.store(true);
  if (getpid() != m_owner) return;
  // A signal handler must leave errno as it found it.
  const int saved = errno;
  const uint64_t one = 1;
  // It stays readable: nothing ever reads the counter back.
  if (write(m_descriptor, &one, sizeof one) < 0) {
    // EAGAIN: the counter is full, so it is readable already.
  }
  errno = saved;
}

CYrError CancelledError(const FXCodeLocation& location) {
  return FXErrorUtil::ErrorWin32(location, kCancelled, "Cancelled by the host");
}

}  // namespace ZbCassandra
