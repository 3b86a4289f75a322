// How priamctl watches the library's sleeps while it waits for the sidecar.
//
// The library ends its waits itself: at a cancel (priamctl cancels the
// controller at Ctrl-C, SIGTERM or SIGHUP; SignalWatcher) and when the
// sidecar exits. While an object of this class lives, each sleep of the
// library is told to `beforeWait` first (so that a retry can be shown as it
// happens), then slept as the platform sleeps it.
//
// `shortWaits` exists for tests: the first sleep then ends as soon as the
// sidecar accepts connections (10 seconds at most), later ones last a
// hundredth of their time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "PriamUtil.h"
#include "YrSleep.h"

namespace priamctl {

class LaunchSleeps {
 public:
  // `beforeWait` is told of each sleep while the sidecar runs, with the
  // milliseconds the library asked.
  LaunchSleeps(const ZbCassandra::PriamUtil& controller, bool shortWaits,
               std::function<void(uint32_t)> beforeWait);
  ~LaunchSleeps();
  LaunchSleeps(const LaunchSleeps&) = delete;
  LaunchSleeps& operator=(const LaunchSleeps&) = delete;

 private:
  void Sleep(uint32_t milliseconds);
  void SleepUntilListening(uint32_t milliseconds);

  const ZbCassandra::PriamUtil& m_controller;
  const bool m_shortWaits;
  const std::function<void(uint32_t)> m_beforeWait;
  int m_sleeps = 0;
  YrSleepHandler m_previous;
};

}  // namespace priamctl
