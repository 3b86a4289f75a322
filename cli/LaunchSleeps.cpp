#include "LaunchSleeps.h"

#include <algorithm>
#include <chrono>

#include "LocalPort.h"

namespace priamctl {

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kSliceMs = 50;
constexpr uint32_t kLongestFirstShortWaitMs = 10000;

}  // namespace

LaunchSleeps::LaunchSleeps(const ZbCassandra::PriamUtil& controller, bool shortWaits,
                           std::function<void(uint32_t)> beforeWait)
    : m_controller(controller), m_shortWaits(shortWaits), m_beforeWait(std::move(beforeWait)) {
  m_previous =
      YRSLEEP_SetHandler([this](uint32_t milliseconds, const char*, int) { Sleep(milliseconds); });
}

LaunchSleeps::~LaunchSleeps() { YRSLEEP_SetHandler(m_previous); }

void LaunchSleeps::Sleep(uint32_t milliseconds) {
  // After an exit the library reports it instead of retrying.
  if (m_beforeWait && !m_controller.priamExited()) m_beforeWait(milliseconds);
  const bool first = m_sleeps++ == 0;
  if (!m_shortWaits) {
    YRSLEEP_Unhandled(milliseconds);
  } else if (first) {
    SleepUntilListening(std::min(milliseconds, kLongestFirstShortWaitMs));
  } else {
    YRSLEEP_Unhandled(milliseconds / 100);
  }
}

void LaunchSleeps::SleepUntilListening(uint32_t milliseconds) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (Clock::now() < deadline && !m_controller.cancelled() && !m_controller.priamExited() &&
         !PortAcceptsConnections(m_controller.priamPort())) {
    YRSLEEP_Unhandled(kSliceMs);
  }
}

}  // namespace priamctl
