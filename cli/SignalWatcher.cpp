#include "SignalWatcher.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>
#include <exception>
#include <stdexcept>

namespace priamctl {

namespace {

sigset_t WatchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  // A closed terminal must not end priamctl behind the controller either.
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

SignalWatcher::SignalWatcher() {
  const sigset_t set = WatchedSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  m_signalFd = signalfd(-1, &set, SFD_CLOEXEC);
  m_stopFd = eventfd(0, EFD_CLOEXEC);
  if (m_signalFd < 0 || m_stopFd < 0) {
    if (m_signalFd >= 0) close(m_signalFd);
    if (m_stopFd >= 0) close(m_stopFd);
    throw std::runtime_error("cannot watch for signals");
  }
  m_thread = std::thread([this] { Watch(); });
}

SignalWatcher::~SignalWatcher() {
  const uint64_t one = 1;
  if (write(m_stopFd, &one, sizeof(one)) != sizeof(one)) {
    // The thread cannot be told to stop; it must not outlive its object.
    std::terminate();
  }
  m_thread.join();
  close(m_signalFd);
  close(m_stopFd);
}

void SignalWatcher::CancelOnSignal(ZbCassandra::PriamUtil* controller) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_cancelled = controller;
  if (m_cancelled && m_signal.load() != 0) m_cancelled->cancel();
}

void SignalWatcher::OnHangUp(std::function<void()> reopen) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_onHangUp = std::move(reopen);
}

bool SignalWatcher::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_arrived.wait_for(lock, timeout, [this] { return m_signal.load() != 0; });
}

void SignalWatcher::Watch() {
  pollfd fds[2] = {{m_signalFd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) continue;  // EINTR: nothing to do
    if (fds[1].revents != 0) return;
    if (fds[0].revents == 0) continue;
    signalfd_siginfo info;
    if (read(m_signalFd, &info, sizeof(info)) != sizeof(info)) continue;
    std::function<void()> reopen;
    if (info.ssi_signo == SIGHUP) {
      std::lock_guard<std::mutex> lock(m_mutex);
      reopen = m_onHangUp;
    }
    if (reopen) {
      // Outside the lock: reopening may take a while and may log.
      reopen();
      continue;
    }
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      int none = 0;
      m_signal.compare_exchange_strong(none, static_cast<int>(info.ssi_signo));
      if (m_cancelled) m_cancelled->cancel();
    }
    m_arrived.notify_all();
  }
}

}  // namespace priamctl
