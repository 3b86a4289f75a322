// One REST request to the sidecar: headers, URL, body, reply and the
// error that the outcome stands for.
#include <cstdint>
#include <string>

#include "PriamUtil.h"
#include "RequestType.h"
#include "YrCancel.h"
#include "ZBLibCurl.h"
#include "ZbProcessInfo.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "common/HostControl.h"
#include "supervision/SidecarSupervision.h"

namespace ZbCassandra {

namespace {

constexpr const char* kOperationsPath = "/v1/cassadmin/";
constexpr const char* kContentTypeHeader = "Content-Type: application/json";
constexpr const char* kUserAgentHeader = "User-Agent: curl/7.32.0";
constexpr int64_t kHttpUnavailable = 503;
constexpr int64_t kHttpUnauthorized = 401;
constexpr int64_t kHttpNotFound = 404;

// A stopped sidecar (SIGSTOP, a debugger) answers nothing until it is
// continued, yet the system still takes connections for it: asking it would
// cost the attempt's whole time limit. It counts as not accepting requests
// yet, so the retry loop's sleeps give it time to be continued.
bool Stopped(pid_t sidecar) { return sidecar > 0 && ZbProcessInfo::IsStopped(sidecar); }

CYrError StoppedError(const FXCodeLocation& location, pid_t sidecar) {
  return FXErrorUtil::ErrorWin32(
      location, kNotConnected,
      "The Priam sidecar (process %d) is stopped; it cannot answer until it is continued",
      static_cast<int>(sidecar));
}

// A stopped guardian drains nothing: a sidecar that writes output blocks
// once the pipe is full, and would cost each attempt its whole limit.
CYrError GuardianStoppedError(const FXCodeLocation& location, pid_t guardian) {
  return FXErrorUtil::ErrorWin32(location, kNotConnected,
                                 "The Priam sidecar cannot be relied on to answer: the guardian "
                                 "(process %d) is stopped and drains none of its output until it "
                                 "is continued",
                                 static_cast<int>(guardian));
}

// The cause of a failed attempt with the status it got (0: no answer).
FailureReason AnswerReason(int64_t status) {
  if (status == 0) return FailureReason::kNotAnswering;
  return status == kHttpNotFound ? FailureReason::kHttpNotFound : FailureReason::kHttpOther;
}

}  // namespace

CYrError PriamUtil::get(requestType type, const CYrString& path, CYrString& response,
                        const CYrString& request) try {
  const HostControl::Call call(hostControl());
  return sendRequestWithErrorHandling(type, path, response, request);
}
PRIAM_CATCH_ALL

CYrError PriamUtil::sendRequest(requestType type, const CYrString& path, CYrString& response,
                                const CYrString& request) try {
  ZB_TRACE_ENTRY();
  const HostControl::Call call(hostControl());
  // A forked child's copy shares its parent's connection to the sidecar;
  // a request from it would mix the two.
  if (copiedByFork()) return forkedChildError();
  if (interrupted()) return interruptionError(PRIAM_LOCATION);
  const YrWatchScope watching(sidecarSupervision().guardianship.Watch());
  sidecarSupervision().guardianship.Tend();
  if (sidecarGone()) return sidecarExitError();
  if (!m_priamStarted || !m_curl) {
    return noteFailure(
        FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kNotConnected, " Priam server not initialized "),
        FailureReason::kSidecarNotLaunched);
  }
  if (!IsKnownRequestType(type)) {
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidParameter, " Invalid request type [%d] ",
                                   static_cast<int>(type));
  }
  const pid_t sidecar = priamPid();
  if (Stopped(sidecar)) {
    return noteFailure(StoppedError(PRIAM_LOCATION, sidecar), FailureReason::kSidecarStopped);
  }
  if (sidecarSupervision().guardianship.Stopped()) {
    return noteFailure(GuardianStoppedError(PRIAM_LOCATION, guardianPid()),
                       FailureReason::kGuardianStopped);
  }

  // Without its headers the request may still be understood, so it goes out.
  CYrError error = setCommonCurlHeaders();
  if (error.IsError()) {
    ZB_LOG(0, " Unable to set the common headers, error[%s]", error.AsString().c_str());
  }

  const std::string url = m_priamUrl + kOperationsPath + path.str();
  ZB_LOG(0, " URL [%s] ", url.c_str());

  const _http_req_type_ httpType = type == requestType::Get ? HTTP_REQ_GET : HTTP_REQ_POST;
  // The exchange ends at a cancel, and once the sidecar is stopped.
  const YrCancelScope exchange = cancelScope(sidecar);
  const HostControl* control = hostControl();
  m_curl->SetTimeouts(0, control ? control->AttemptLimitMs() : HostControl::kDefaultRequestLimitMs);
  uint64_t length = 0;
  if (m_curl->ZBLibCurlSendHttpReq(httpType, url.c_str(), request.c_str(), request.Length(), false,
                                   nullptr)) {
    response = CYrString(m_curl->GetHttpResponse(&length, true));
    return CYrError::Success();
  }

  response = CYrString(m_curl->GetHttpResponse(&length, false));
  if (interrupted()) return interruptionError(PRIAM_LOCATION);
  const int64_t status = m_curl->GetHttpErrorCode();
  if (status == 0 && Stopped(sidecar)) {
    return noteFailure(StoppedError(PRIAM_LOCATION, sidecar), FailureReason::kSidecarStopped);
  }
  if (status == 0 && sidecarSupervision().guardianship.Stopped()) {
    return noteFailure(GuardianStoppedError(PRIAM_LOCATION, guardianPid()),
                       FailureReason::kGuardianStopped);
  }
  // The operation field reads 0 whatever the request type: the line's
  // format is relied on as it stands.
  ZB_LOG(0,
         " Error: API failed. operation [%d]. URL[%s]. Request [%s] ErrorCode [%ld] ErrorCode "
         "[%s]   ",
         0, url.c_str(), request.c_str(), static_cast<long>(status), response.c_str());
  if (status == kHttpUnavailable) {
    ZB_LOG(0, " Service unavilable ");
    return noteFailure(
        FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kResourceUnavailable, "JMXConnectionError"),
        FailureReason::kHttpUnavailable, 0, static_cast<int>(status));
  }
  if (status == kHttpUnauthorized) {
    ZB_LOG(0, "Authentication error");
    return noteFailure(
        FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kAccessDenied, "AuthenticationError"),
        FailureReason::kHttpUnauthorized, 0, static_cast<int>(status));
  }
  return noteFailure(
      FXErrorUtil::ErrorWin32(
          PRIAM_LOCATION, kNotConnected,
          " Error: API failed. operation [%d]. URL[%s]. Request [%s] ErrorCode [%ld] Result [%s]  ",
          0, url.c_str(), request.c_str(), static_cast<long>(status), response.c_str()),
      AnswerReason(status), 0, static_cast<int>(status));
}
PRIAM_CATCH_ALL

CYrError PriamUtil::setCommonCurlHeaders() try {
  ZB_TRACE_ENTRY();
  // Rebuilt from scratch, so that no request carries a header twice.
  m_curl->ZBLibCurlFreeHttpHeaderList();
  if (!m_curl->ZBLibCurlAppendHeader(HTTP_HDR_GENERIC, kContentTypeHeader)) {
    ZB_LOG(0, "Failed to set CURL Accept header 2 ");
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                   "Failed to set CURL Accept header 2 ");
  }
  if (!m_curl->ZBLibCurlAppendHeader(HTTP_HDR_GENERIC, kUserAgentHeader)) {
    ZB_LOG(0, "Failed to set CURL UserAgent header3 ");
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                   "Failed to set CURL UserAgent header3 ");
  }
  return CYrError::Success();
}
PRIAM_CATCH_ALL

// Kept for hosts built against the full interface; it sends nothing, but
// does not pretend to succeed for a sidecar that has exited.
CYrError PriamUtil::post(const std::string& /*request*/, std::string& /*response*/) try {
  ZB_TRACE_ENTRY();
  if (sidecarGone()) return sidecarExitError();
  return CYrError::Success();
}
PRIAM_CATCH_ALL

// Kept for hosts built against the full interface; it sends nothing.
CYrError PriamUtil::sendReq() try {
  ZB_TRACE_ENTRY();
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
