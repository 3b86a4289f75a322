// Ctrl-C, SIGTERM and SIGHUP, turned into a flag the commands look at.
//
// The constructor blocks SIGINT, SIGTERM and SIGHUP in the calling thread; make the
// watcher first thing in main, before any other thread starts, so that
// every thread inherits the mask and no signal can end the process behind
// the controller's back (the sidecar would outlive priamctl). A thread of
// its own receives them; the commands stop the sidecar through the
// controller and exit. Children start with an empty mask, so the sidecar
// itself stays signallable.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

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

 private:
  void Watch();

  int m_signalFd = -1;
  int m_stopFd = -1;
  std::atomic<int> m_signal{0};
  std::mutex m_mutex;
  std::condition_variable m_arrived;
  std::thread m_thread;
};

}  // namespace priamctl
