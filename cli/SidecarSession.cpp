#include "SidecarSession.h"

#include "ChildState.h"
#include "LaunchSleeps.h"
#include "ProgressIndicator.h"

namespace priamctl {

namespace {

constexpr std::chrono::milliseconds kLivenessTick(500);

}  // namespace

SidecarSession::SidecarSession(ZbCassandra::PriamUtil& controller, SignalWatcher& signals,
                               bool shortWaits, FILE* progress)
    : m_controller(controller),
      m_signals(signals),
      m_shortWaits(shortWaits),
      m_progress(progress) {}

CYrError SidecarSession::Launch() {
  LaunchSleeps sleeps(m_signals, m_controller, m_shortWaits);
  ProgressIndicator progress(m_progress, "Waiting for the sidecar to answer");
  const CYrError result = m_controller.startPriam();
  progress.Stop();
  return result;
}

CYrError SidecarSession::Send(const SidecarRequest& request, std::string* reply) {
  LaunchSleeps sleeps(m_signals, m_controller, m_shortWaits);
  CYrString response;
  const CYrError result =
      m_controller.get(request.type, request.operation.c_str(), response, request.body.c_str());
  *reply = response.str();
  return result;
}

CYrError SidecarSession::Stop() { return m_controller.stopPriam(); }

int SidecarSession::WaitWhileRunning() {
  while (!ChildHasExited(m_controller.priamPid())) {
    if (m_signals.WaitFor(kLivenessTick)) return m_signals.Received();
  }
  return m_signals.Received();
}

}  // namespace priamctl
