#include "PriamUtil.h"

#include "Boundary.h"
#include "Supervision.h"
#include "ZBLibCurl.h"
#include "ZbProcess.h"

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
    m_javaPath = javaPath;
    error = initialize();
    // The node was discovered all the same; the directory was left alone.
    if (!error.IsError() && m_supervision->refusal.IsError()) error = m_supervision->refusal;
  } catch (...) {
    error = CurrentExceptionAsError(PRIAM_LOCATION);
  }
  if (error.IsError()) {
    m_initFailed = true;
    ZB_LOG(-1, "Failed to initialize configuration file paths: %s", error.AsString().c_str());
  }
}

PriamUtil::~PriamUtil() {
  if (m_priamStarted) stopPriam();
  // The directory is given up once the last controller of the process on
  // it goes.
  m_supervision.reset();
  m_process.reset();
  m_curl.reset();
}

CYrError PriamUtil::initialize() try {
  CYrError error = initializeJavaPath();
  if (error.IsError()) return error.Push(PRIAM_LOCATION);
  error = initializePaths();
  if (error.IsError()) return error.Push(PRIAM_LOCATION);
  error = initializePorts();
  if (error.IsError()) return error.Push(PRIAM_LOCATION);
  return CYrError::Success();
}
PRIAM_CATCH_ALL

CYrError PriamUtil::initializePaths() try {
  CYrError error = initializePriamConfFilePath();
  if (error.IsError()) return error.Push(PRIAM_LOCATION);
  error = initializeCassandraConfFilePath();
  if (error.IsError()) return error.Push(PRIAM_LOCATION);
  return CYrError::Success();
}
PRIAM_CATCH_ALL

pid_t PriamUtil::priamPid() const { return m_process ? m_process->GetChildPid() : 0; }

}  // namespace ZbCassandra
