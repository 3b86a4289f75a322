// How the library's sleeps behave while priamctl waits for the sidecar.
//
// The controller sleeps 30 seconds before it first asks the sidecar, and up
// to 30 seconds between retries; nothing in it can be cancelled. While an
// object of this class lives, each of those sleeps ends early when a signal
// has arrived or when the sidecar has exited (nothing is left to wait for),
// so Ctrl-C ends the launch within moments and the sidecar is stopped.
//
// `shortWaits` exists for tests: the first sleep then ends as soon as the
// sidecar accepts connections (10 seconds at most), later ones last a
// hundredth of their time.
//
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "PriamUtil.h"
#include "SignalWatcher.h"
#include "YrSleep.h"

namespace priamctl {

class LaunchSleeps {
 public:
  // `beforeWait` is told of each sleep there is reason to wait through (no
  // signal came, the sidecar runs), with the milliseconds the library asked.
  LaunchSleeps(SignalWatcher& signals, const ZbCassandra::PriamUtil& controller, bool shortWaits,
               std::function<void(uint32_t)> beforeWait);
  ~LaunchSleeps();
  LaunchSleeps(const LaunchSleeps&) = delete;
  LaunchSleeps& operator=(const LaunchSleeps&) = delete;

 private:
  void Sleep(uint32_t milliseconds);
  bool NothingToWaitFor();

  SignalWatcher& m_signals;
  const ZbCassandra::PriamUtil& m_controller;
  const bool m_shortWaits;
  const std::function<void(uint32_t)> m_beforeWait;
  int m_sleeps = 0;
  YrSleepHandler m_previous;
};

}  // namespace priamctl
