// Ctrl-C, SIGTERM and SIGHUP, turned into a flag the commands look at and a
// cancel of the controller at work.
//
// The constructor blocks SIGINT, SIGTERM and SIGHUP in the calling thread; make the
// watcher first thing in main, before any other thread starts, so that
// every thread inherits the mask and no signal can end the process behind
// the controller's back (the sidecar would outlive priamctl). A thread of
// its own receives them and cancels the controller it was given, whose
// blocking call then returns at once; the commands stop the sidecar through
// the controller and exit. Children start with an empty mask, so the sidecar
// itself stays signallable.
//
// SIGHUP means two things. To a daemon it is "reopen your log": logrotate's
// postrotate sends it once the log file has been moved away. To an
// interactive command it is the terminal's hang-up. A command that keeps a
// log file it can reopen says so with OnHangUp(); otherwise SIGHUP ends it
// like SIGTERM.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "PriamUtil.h"

namespace priamctl {

class SignalWatcher {
 public:
  SignalWatcher();
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

  // The first signal received, or 0.
  int Received() const { return m_signal.load(); }
  // Wait up to `timeout` for a signal; true when one has arrived.
  bool WaitFor(std::chrono::milliseconds timeout);

  // A signal cancels `controller` (null: none) from now on, and at once when
  // one has already arrived. The controller must outlive its turn here.
  void CancelOnSignal(ZbCassandra::PriamUtil* controller);

  // From now on SIGHUP runs `reopen` (on the watcher's thread) and ends
  // nothing; an empty function makes SIGHUP end the command again.
  void OnHangUp(std::function<void()> reopen);

 private:
  void Watch();

  int m_signalFd = -1;
  int m_stopFd = -1;
  std::atomic<int> m_signal{0};
  std::mutex m_mutex;
  ZbCassandra::PriamUtil* m_cancelled = nullptr;  // guarded by m_mutex
  std::function<void()> m_onHangUp;               // guarded by m_mutex
  std::condition_variable m_arrived;
  std::thread m_thread;
};

}  // namespace priamctl
