#include "PriamUtil.h"

#include "ZBLibCurl.h"
#include "ZbProcess.h"
#include "common/Boundary.h"
#include "common/HostControl.h"
#include "controller/Supervision.h"

namespace ZbCassandra {

PriamUtil::PriamUtil(int priamPort, const CYrString& javaPath, const std::string& priamDir,
                     const std::string& priamConfDir, const std::string& cassandraConfDir,
                     bool ignoreConnectionFailure)
    : m_priamPort(priamPort),
      m_priamDir(priamDir),
      m_priamConfDir(priamConfDir),
      m_cassandraConfDir(cassandraConfDir),
      m_priamStarted(false),
      m_ignoreConnectionFailure(ignoreConnectionFailure),
      m_initFailed(false) {
  CYrError error;
  try {
    // The client is only created here; a launch makes it ready for use.
    m_curl.reset(new ZBLibCurl());
    m_supervision.reset(new Supervision());
    m_supervision->control.reset(new HostControl());
    // The record names the guardian that runs beside the sidecar.
    sidecarSupervision().guardianship.OnReplaced([this](pid_t) {
      if (m_priamStarted) recordSidecar(sidecarSupervision().launching);
    });
    m_javaPath = javaPath;
    error = initialize();
    if (error.IsError()) {
      // A directory that another host holds is told as such; anything else
      // is construction's own failure, which later calls refer to.
      Failure failure = failureOf(error);
      if (failure.reason != FailureReason::kDirectoryHeld) {
        failure = Failure();
        failure.reason = FailureReason::kInitializationFailed;
        failure.initError = error;
      }
      m_supervision->initError = error;
      m_supervision->initFailure = failure;
    }
  } catch (...) {
    error = CurrentExceptionAsError(PRIAM_LOCATION);
  }
  if (error.IsError()) {
    m_initFailed = true;
    ZB_LOG(-1, "Failed to initialize configuration file paths: %s", error.AsString().c_str());
  }
}

PriamUtil::~PriamUtil() {
  // A copy in a forked child stops nothing: stopPriam refuses there.
  if (m_priamStarted) {
    stopPriam();
  } else if (m_supervision && sidecarSupervision().secretsPending && !copiedByFork()) {
    // Written for a launch that never came; nothing else would take them
    // out.
    CYrError ignored = CYrError::Success();
    forgetSecrets(&ignored);
  }
  // The directory is given up once the last controller of the process on
  // it goes.
  m_supervision.reset();
  m_process.reset();
  m_curl.reset();
}

// A configuration directory that this controller left alone (another host's,
// moved, missing) stops no discovery: the node's facts are still wanted. The
// refusal is the sequence's result once the node is discovered.
CYrError PriamUtil::initialize() try {
  CYrError error = initializeJavaPath();
  if (error.IsError()) return error.Push(PRIAM_LOCATION);
  CYrError refused = initializePaths();
  if (refused.IsError() && !directoryShare().refusal.IsError()) return refused.Push(PRIAM_LOCATION);
  error = initializePorts();
  if (error.IsError()) return error.Push(PRIAM_LOCATION);
  return refused.IsError() ? refused.Push(PRIAM_LOCATION) : CYrError::Success();
}
PRIAM_CATCH_ALL

CYrError PriamUtil::initializePaths() try {
  CYrError refused = initializePriamConfFilePath();
  if (refused.IsError() && !directoryShare().refusal.IsError()) return refused.Push(PRIAM_LOCATION);
  CYrError error = initializeCassandraConfFilePath();
  if (error.IsError()) return error.Push(PRIAM_LOCATION);
  return refused.IsError() ? refused.Push(PRIAM_LOCATION) : CYrError::Success();
}
PRIAM_CATCH_ALL

pid_t PriamUtil::priamPid() const { return m_process ? m_process->GetChildPid() : 0; }

DirectoryShare& PriamUtil::directoryShare() const { return m_supervision->directory; }

SidecarSupervision& PriamUtil::sidecarSupervision() const { return m_supervision->sidecar; }

}  // namespace ZbCassandra
