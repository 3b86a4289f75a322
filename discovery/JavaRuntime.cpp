// Which Java executable runs the sidecar: the given one, the configured one,
// the one the running node uses, or the first one the system knows of.
#include <string>
#include <vector>

#include "CYrPath.h"
#include "FXString.h"
#include "PriamUtil.h"
#include "ZBPlatformInfo.h"
#include "ZbProcess.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "discovery/CommandLineMask.h"
#include "discovery/JavaToolOutput.h"
#include "discovery/PidFile.h"

namespace ZbCassandra {

namespace {

// Finds the node's "-Dcassandra-pidfile=" option in the process list. The
// pattern runs to the last white space of the line; the path is cut out of
// it afterwards.
constexpr const char* kPidFileSearch = "ps -ef | grep -o \"\\-Dcassandra-pidfile=.*\\s\"";
// The first word of the process's command line: the program it was started
// with. The pid has been checked to be a plain number before it goes in.
constexpr const char* kCommandOfPid =
    "ps --no-headers -p %s -o cmd | awk -F '[[:space:]]+' '{print $1}'";

}  // namespace

CYrError PriamUtil::initializeJavaPath() try {
  if (!m_javaPath.IsEmpty()) return CYrError::Success();

  std::string configured;
  if (ZBPlatformInfo().getString("FileSystemAgent", "sJavaPath", &configured) != 0 &&
      !configured.empty()) {
    m_javaPath = configured;
    ZB_LOG(0, "Java path: '%s'", m_javaPath.c_str());
    return CYrError::Success();
  }

  std::string output;
  std::string error;

  // The Java runtime of the running node. Each failure moves on to the next
  // source.
  do {
    if (ZbProcess::system(kPidFileSearch, &output, &error, 0, true) != 0) {
      ZB_LOG(0, "Failed to retrieve Cassandra's pid file: %s.", error.c_str());
      break;
    }
    // The rest of the node's command line follows the option, and JVM
    // options may carry keystore passwords.
    ZB_LOG(2, "ps output: %s", MaskCommandLineSecrets(output).c_str());
    std::string pidFile;
    if (!PidFilePathFromSearchOutput(output, &pidFile)) {
      ZB_LOG(0, "Failed to retrieve Cassandra's pid file: %s.",
             "no pid file option in the process list");
      break;
    }
    ZB_LOG(0, "Cassandra PID file: %s", pidFile.c_str());
    std::string pid;
    std::string why;
    if (!ReadPidFile(pidFile, &pid, &why)) {
      ZB_LOG(0, "Failed to read Cassandra's pid file: %s.", why.c_str());
      break;
    }
    const std::string command = FXString::Format(kCommandOfPid, pid.c_str());
    if (ZbProcess::system(command, &output, &error, 0, true) != 0) {
      ZB_LOG(0, "Failed to retrieve Cassandra's java path: %s.", error.c_str());
      break;
    }
    std::string javaPath;
    // The pipeline succeeds with no output when the pid is no longer running.
    if (!JavaPathFromCommandOutput(output, &javaPath)) {
      ZB_LOG(0, "Failed to retrieve Cassandra's java path: %s.",
             FXString::Format("no command line for process %s", pid.c_str()).c_str());
      break;
    }
    ZB_LOG(0, "Java path: %s", output.c_str());
    m_javaPath = javaPath;
    return CYrError::Success();
  } while (false);

  // The first java on the command search path. The messages name "hadoop
  // envvars" for historical reasons; hosts match them as they are.
  do {
    if (ZbProcess::system("which java", &output, &error, 0, false) != 0) {
      ZB_LOG_FAILURE("Failed to get hadoop envvars. %s", error.c_str());
      break;
    }
    std::string javaPath;
    if (!JavaPathFromWhichOutput(output, &javaPath) || !error.empty()) {
      ZB_LOG_FAILURE("Failed to get java path from 'hadoop envvars'. %s", error.c_str());
      break;
    }
    m_javaPath = javaPath;
    ZB_LOG(0, "Java path: '%s'", m_javaPath.c_str());
    return CYrError::Success();
  } while (false);

  // The first existing location that whereis lists after its name label.
  do {
    if (ZbProcess::system("whereis java", &output, &error, 0, false) != 0) {
      ZB_LOG_FAILURE("Failed to locate the java binary: %s", error.c_str());
      break;
    }
    if (output.empty() || !error.empty()) {
      ZB_LOG_FAILURE("Failed to get java path. %s", error.c_str());
      break;
    }
    for (const std::string& location : WhereisLocations(output)) {
      bool exists = false;
      if (FXPath::DoesPathExist(location, exists).IsError() || !exists) continue;
      m_javaPath = location;
      ZB_LOG(0, "Java path : '%s'", m_javaPath.c_str());
      return CYrError::Success();
    }
  } while (false);

  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kNotFound, "Failed to get java path");
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
