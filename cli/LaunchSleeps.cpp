#include "LaunchSleeps.h"

#include <algorithm>
#include <chrono>

#include "LocalPort.h"

namespace priamctl {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kSlice(50);
constexpr uint32_t kLongestFirstShortWaitMs = 10000;

}  // namespace

LaunchSleeps::LaunchSleeps(SignalWatcher& signals, const ZbCassandra::PriamUtil& controller,
                           bool shortWaits, std::function<void(uint32_t)> beforeWait)
    : m_signals(signals),
      m_controller(controller),
      m_shortWaits(shortWaits),
      m_beforeWait(std::move(beforeWait)) {
  m_previous =
      YRSLEEP_SetHandler([this](uint32_t milliseconds, const char*, int) { Sleep(milliseconds); });
}

LaunchSleeps::~LaunchSleeps() { YRSLEEP_SetHandler(m_previous); }

bool LaunchSleeps::NothingToWaitFor() {
  return m_signals.Received() != 0 || m_controller.priamExited();
}

void LaunchSleeps::Sleep(uint32_t milliseconds) {
  if (m_beforeWait && !NothingToWaitFor()) m_beforeWait(milliseconds);
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
