#include "ScopedCancel.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

namespace testsupport {

ScopedCancel::ScopedCancel(pid_t peer)
    : m_descriptor(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_scope(m_descriptor, peer) {}

ScopedCancel::~ScopedCancel() {
  if (m_canceller.joinable()) m_canceller.join();
  close(m_descriptor);
}

void ScopedCancel::Cancel() {
  const uint64_t one = 1;
  if (write(m_descriptor, &one, sizeof one) != sizeof one) {
    // Full: readable already.
  }
}

void ScopedCancel::CancelAfter(int milliseconds) {
  m_canceller = std::thread([this, milliseconds] {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    Cancel();
  });
}

}  // namespace testsupport
