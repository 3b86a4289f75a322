#include "LaunchSleeps.h"

#include <algorithm>
#include <chrono>

#include "ChildState.h"
#include "LocalPort.h"

namespace priamctl {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kSlice(50);
constexpr uint32_t kLongestFirstShortWaitMs = 10000;

}  // namespace

LaunchSleeps::LaunchSleeps(SignalWatcher& signals, const ZbCassandra::PriamUtil& controller,
                           bool shortWaits)
    : m_signals(signals), m_controller(controller), m_shortWaits(shortWaits) {
  m_previous =
      YRSLEEP_SetHandler([this](uint32_t milliseconds, const char*, int) { Sleep(milliseconds); });
}

LaunchSleeps::~LaunchSleeps() { YRSLEEP_SetHandler(m_previous); }

bool LaunchSleeps::NothingToWaitFor() const {
  return m_signals.Received() != 0 || ChildHasExited(m_controller.priamPid());
}

void LaunchSleeps::Sleep(uint32_t milliseconds) {
  const bool first = m_sleeps++ == 0;
  bool untilListening = false;
  if (m_shortWaits) {
    untilListening = first;
    milliseconds = first ? std::min(milliseconds, kLongestFirstShortWaitMs) : milliseconds / 100;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (!NothingToWaitFor()) {
    if (untilListening && PortAcceptsConnections(m_controller.priamPort())) return;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return;
    m_signals.WaitFor(std::min<std::chrono::milliseconds>(
        kSlice, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now)));
  }
}

}  // namespace priamctl
