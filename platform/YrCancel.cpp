#include "YrCancel.h"

#include <cerrno>

#include "ZbProcessInfo.h"

namespace {

// Per thread: a cancel on one thread must not end another thread's waits.
thread_local int t_descriptor = -1;
thread_local pid_t t_peer = 0;

constexpr nfds_t kMostPolled = 7;

}  // namespace

YrCancelScope::YrCancelScope(int descriptor, pid_t peer)
    : m_previousDescriptor(t_descriptor), m_previousPeer(t_peer) {
  t_descriptor = descriptor;
  t_peer = peer;
}

YrCancelScope::~YrCancelScope() {
  t_descriptor = m_previousDescriptor;
  t_peer = m_previousPeer;
}

int YRCANCEL_Descriptor() { return t_descriptor; }

bool YRCANCEL_Requested() {
  if (t_descriptor < 0) return false;
  struct pollfd ready = {t_descriptor, POLLIN, 0};
  int rc;
  while ((rc = poll(&ready, 1, 0)) < 0 && errno == EINTR) {
  }
  // A closed write end of a pipe, or a descriptor closed under us, ends the
  // work as well: a wait must never spin on it.
  return rc > 0;
}

pid_t YRCANCEL_Peer() { return t_peer; }

bool YRCANCEL_PeerStopped() { return t_peer > 0 && ZbProcessInfo::IsStopped(t_peer); }

int YRCANCEL_Poll(struct pollfd* fds, nfds_t count, int timeoutMs) {
  if (count > kMostPolled) {
    errno = EINVAL;
    return -1;
  }
  struct pollfd all[kMostPolled + 1];
  for (nfds_t i = 0; i < count; ++i) all[i] = fds[i];
  nfds_t total = count;
  if (t_descriptor >= 0) all[total++] = {t_descriptor, POLLIN, 0};
  const int rc = poll(all, total, timeoutMs);
  for (nfds_t i = 0; i < count; ++i) fds[i].revents = all[i].revents;
  return rc;
}
