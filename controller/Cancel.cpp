// The host stays in charge of time: cancel() ends whatever a controller
// waits for, from any thread or a signal handler, and every wait of the
// controller after it; a call's own time limit ends that call alone.
#include "PriamUtil.h"
#include "YrCancel.h"
#include "common/Boundary.h"
#include "common/HostControl.h"
#include "controller/Supervision.h"

namespace ZbCassandra {

HostControl* PriamUtil::hostControl() const {
  return m_supervision ? m_supervision->control.get() : nullptr;
}

void PriamUtil::cancel() noexcept {
  if (HostControl* control = hostControl()) control->Cancel();
}

bool PriamUtil::cancelled() const noexcept {
  const HostControl* control = hostControl();
  return control && control->Cancelled();
}

YrCancelScope PriamUtil::cancelScope(pid_t peer) const {
  const HostControl* control = hostControl();
  return YrCancelScope(control ? control->Descriptor() : -1, peer);
}

void PriamUtil::setCallTimeLimit(uint32_t milliseconds) {
  if (HostControl* control = hostControl()) control->SetCallLimitMs(milliseconds);
}

uint32_t PriamUtil::callTimeLimit() const {
  const HostControl* control = hostControl();
  return control ? control->CallLimitMs() : 0;
}

bool PriamUtil::interrupted() const {
  const HostControl* control = hostControl();
  return control && (control->Cancelled() || control->DeadlinePassed());
}

CYrError PriamUtil::interruptionError(const FXCodeLocation& location) const {
  if (cancelled()) return CancelledError(location);
  const CYrError passed = DeadlineError(location, callTimeLimit());
  noteFailure(passed, FailureReason::kDeadlinePassed);
  return passed;
}

// Cancelled, or past its time limit, a launch fails whatever its steps made
// of it, and leaves nothing running: not even a sidecar that the host would
// have kept after a failed connection check, nor one whose port could not
// be told. Its secrets left the properties file with its last step.
CYrError PriamUtil::endLaunch(const CYrError& status) {
  if (!interrupted()) return status;
  if (m_priamStarted) stopPriam();
  ZB_LOG(0,
         cancelled() ? "The launch was cancelled by the host" : "The launch's time limit passed");
  return interruptionError(PRIAM_LOCATION);
}

}  // namespace ZbCassandra
