// What a host can act on when a call fails: the cause behind the code, and
// whether trying again later can help. Where a call knew its cause it noted
// it with the error it returned; otherwise the code tells what it can.
#include "PriamUtil.h"
#include "PriamUtilErrors.h"
#include "common/Boundary.h"
#include "common/HostControl.h"
#include "controller/Supervision.h"

namespace ZbCassandra {

namespace {

bool RetryLater(FailureReason reason) {
  switch (reason) {
    case FailureReason::kDeadlinePassed:
    case FailureReason::kDirectoryHeld:
    case FailureReason::kNoFreePort:
    case FailureReason::kSidecarStopped:
    case FailureReason::kGuardianStopped:
    case FailureReason::kNotAnswering:
    case FailureReason::kHttpUnavailable:
    case FailureReason::kHttpOther:
    case FailureReason::kPortUnknown:
      return true;
    default:
      return false;
  }
}

// What the family and code say on their own.
FailureReason ReasonOfCode(const CYrError& error) {
  const bool win32 = error.GetFamily() == CYrError::Family::kWin32;
  switch (error.Code()) {
    case kCancelled:
      return win32 ? FailureReason::kCancelled : FailureReason::kOther;
    case kTimeout:
      return win32 ? FailureReason::kDeadlinePassed : FailureReason::kOther;
    case kAccessDenied:
      return FailureReason::kHttpUnauthorized;
    case kResourceUnavailable:
      return FailureReason::kHttpUnavailable;
    case kInvalidParameter:
      return FailureReason::kInvalidArgument;
    case kInvalidData:
      return FailureReason::kFileError;
    case kInternalError:
      return win32 ? FailureReason::kPortUnknown : FailureReason::kOther;
    case kNotConnected:
      return win32 ? FailureReason::kNotAnswering : FailureReason::kSidecarNotRunning;
    default:
      // The system's own errno values come from files that cannot be used.
      return !win32 && error.Code() != kFunctionFailed ? FailureReason::kFileError
                                                       : FailureReason::kOther;
  }
}

}  // namespace

PriamUtil::Failure PriamUtil::failureOf(const CYrError& error) const {
  Failure failure;
  if (!error.IsError()) return failure;
  const HostControl* control = hostControl();
  const FailureNote* note = control ? control->NoteOf(error) : nullptr;
  if (note) {
    failure = note->failure;
  } else {
    failure.reason = ReasonOfCode(error);
  }
  if (failure.reason == FailureReason::kInitializationFailed && m_supervision) {
    failure.initError = m_supervision->initError;
  }
  failure.retryLater = RetryLater(failure.reason);
  return failure;
}

PriamUtil::Failure PriamUtil::initFailure() const {
  return m_supervision ? m_supervision->initFailure : Failure();
}

const CYrError& PriamUtil::noteFailure(const CYrError& error, FailureReason reason, pid_t holder,
                                       int httpStatus, const std::string& how) const {
  if (HostControl* control = hostControl()) {
    Failure failure;
    failure.reason = reason;
    failure.holder = holder;
    failure.httpStatus = httpStatus;
    failure.how = how;
    control->Note(error, failure);
  }
  return error;
}

}  // namespace ZbCassandra
