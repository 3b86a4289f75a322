#include "YrCancel.h"

#include <cerrno>

#include "ZbProcessInfo.h"

namespace {

// Per thread: a cancel on one thread must not end another thread's waits.
thread_local int t_descriptor = -1;
thread_local pid_t t_peer = 0;
thread_local YrWatch* t_watch = nullptr;
thread_local bool t_restoring = false;

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

YrWatchScope::YrWatchScope(YrWatch* watch) : m_previous(t_watch) { t_watch = watch; }

YrWatchScope::~YrWatchScope() { t_watch = m_previous; }

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

pid_t YRCANCEL_WatchedStopped() {
  const pid_t watched = t_watch ? t_watch->process : 0;
  return watched > 0 && ZbProcessInfo::IsStopped(watched) ? watched : 0;
}

int YRCANCEL_WatchDescriptor() { return t_watch && !t_restoring ? t_watch->descriptor : -1; }

void YRCANCEL_TendWatch() {
  const int descriptor = YRCANCEL_WatchDescriptor();
  if (descriptor < 0 || !t_watch->restore) return;
  struct pollfd ended = {descriptor, POLLIN, 0};
  if (poll(&ended, 1, 0) <= 0) return;
  // Whatever the restore waits for itself is not watched again.
  t_restoring = true;
  t_watch->restore();
  t_restoring = false;
}

int YRCANCEL_Poll(struct pollfd* fds, nfds_t count, int timeoutMs) {
  if (count > kMostPolled) {
    errno = EINVAL;
    return -1;
  }
  struct pollfd all[kMostPolled + 2];
  for (nfds_t i = 0; i < count; ++i) all[i] = fds[i];
  nfds_t total = count;
  if (t_descriptor >= 0) all[total++] = {t_descriptor, POLLIN, 0};
  const int watched = YRCANCEL_WatchDescriptor();
  if (watched >= 0) all[total++] = {watched, POLLIN, 0};
  const int rc = poll(all, total, timeoutMs);
  const int saved = errno;
  for (nfds_t i = 0; i < count; ++i) fds[i].revents = all[i].revents;
  if (watched >= 0 && rc > 0 && all[total - 1].revents != 0) YRCANCEL_TendWatch();
  errno = saved;
  return rc;
}
