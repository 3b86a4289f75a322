// An operator's view of a configuration directory, and the stop of the
// sidecar a host left: the same lock, record and recognition a launch uses.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Boundary.h"
#include "CYrPath.h"
#include "DirectoryClaim.h"
#include "ErrorCodes.h"
#include "PriamUtil.h"
#include "SidecarOutput.h"
#include "ZbFileLock.h"
#include "priamconf/PropertiesFile.h"
#include "priamconf/SecretKeys.h"

namespace ZbCassandra {

namespace {

constexpr size_t kOutputLines = 3;

bool IsAlive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

std::string InDirectory(const std::string& confDir, const char* name) {
  return CYrPath::Append(confDir.c_str(), name).str();
}

}  // namespace

CYrError PriamUtil::inspectDirectory(const std::string& priamConfDir, DirectoryState* state) try {
  *state = DirectoryState();
  struct stat info;
  std::string why;
  if (stat(priamConfDir.c_str(), &info) != 0) {
    why = strerror(errno);
  } else if (!S_ISDIR(info.st_mode)) {
    why = "not a directory";
  } else if (access(priamConfDir.c_str(), R_OK | X_OK) != 0) {
    why = strerror(errno);
  }
  if (!why.empty()) {
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "Cannot read %s: %s",
                                   priamConfDir.c_str(), why.c_str());
  }
  const std::string recordPath = InDirectory(priamConfDir, kSidecarRecordFileName);
  SidecarRecord record;
  state->recordLeft = lstat(recordPath.c_str(), &info) == 0;
  if (state->recordLeft && !ReadSidecarRecord(recordPath, &record)) {
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "Cannot read the record %s",
                                   recordPath.c_str());
  }
  state->host = record.host;
  state->hostAlive = IsAlive(record.host);
  state->sidecar = record.sidecar;
  state->sidecarRunning = IsRecordedSidecarRunning(record, priamConfDir);
  state->startTime = record.startTime;
  state->port = record.port;
  state->output = record.output;
  if (!record.output.empty()) state->lastOutput = LastOutputLines(record.output, kOutputLines);
  // The system's lock table is the truth; without it, a live recorded host.
  const pid_t holder = ZbFileLock::Holder(InDirectory(priamConfDir, kSidecarLockFileName));
  state->holder = holder >= 0 ? holder : (state->hostAlive ? record.host : 0);
  return CYrError::Success();
}
PRIAM_CATCH_ALL

CYrError PriamUtil::stopDirectorySidecar(const std::string& priamConfDir, bool force,
                                         pid_t* stopped) try {
  *stopped = 0;
  DirectoryState state;
  const CYrError inspected = inspectDirectory(priamConfDir, &state);
  if (inspected.IsError()) return inspected;
  if (state.holder > 0 && state.holder != getpid()) {
    if (!force) {
      return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                     "The Priam configuration directory %s belongs to a live host "
                                     "(process %d)",
                                     priamConfDir.c_str(), state.holder);
    }
    if (!state.sidecarRunning) return CYrError::Success();
    // That host's files stay its own; only its sidecar goes.
    SidecarRecord sidecar;
    sidecar.sidecar = state.sidecar;
    sidecar.startTime = state.startTime;
    bool ended = false;
    std::string failure;
    if (!DirectoryClaim::StopSidecar(sidecar, priamConfDir, &ended, &failure) || !ended) {
      return FXErrorUtil::ErrorErrNo(
          PRIAM_LOCATION, kFunctionFailed, "%s",
          failure.empty() ? "The Priam sidecar has not ended" : failure.c_str());
    }
    *stopped = state.sidecar;
    return CYrError::Success();
  }

  // Taking the directory stops what a dead host left; it is given up again
  // when `claimed` goes.
  const ClaimResult claimed = DirectoryClaim::Acquire(priamConfDir);
  if (claimed.outcome == ClaimResult::kHeldElsewhere) {
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                   "The Priam configuration directory %s belongs to a live host "
                                   "(process %d)",
                                   priamConfDir.c_str(), claimed.holder);
  }
  if (claimed.outcome == ClaimResult::kFailed) {
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "%s", claimed.failure.c_str());
  }
  if (claimed.stoppedOrphan != 0 && !claimed.orphanEnded) {
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                   "The Priam sidecar (process %d) has not ended",
                                   claimed.stoppedOrphan);
  }
  *stopped = claimed.stoppedOrphan;
  const std::string properties = PriamPropertiesPath(priamConfDir);
  if (access(properties.c_str(), F_OK) != 0) return CYrError::Success();
  int absent = 0;
  CYrError removed = RemoveSecretEntries(properties, &absent);
  if (removed.IsError()) return removed.Push(PRIAM_LOCATION);
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
