// An operator's stop of a directory's sidecars: what no live host owns goes,
// a live host's only when forced, and the secrets a dead host left go with
// them.
#include <unistd.h>

#include <algorithm>
#include <cstddef>

#include "PriamUtil.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "ownership/DirectoryClaim.h"
#include "ownership/SidecarScan.h"
#include "ownership/StopNote.h"
#include "priamconf/PropertiesFile.h"
#include "priamconf/SecretKeys.h"

namespace ZbCassandra {

namespace {

// A live host as the caller names it: by the pid it sees, or by the host's
// own in a namespace it cannot see.
struct LiveHost {
  pid_t pid = 0;  // 0 for none
  pid_t pidThere = 0;
  bool elsewhere = false;
};

std::string HostText(const LiveHost& host) {
  const std::string pid = std::to_string(host.pid);
  if (!host.elsewhere) return "process " + pid;
  if (host.pid == host.pidThere) {
    return "process " + pid + " in another pid namespace, which cannot be seen from here";
  }
  return "process " + pid + ", known as process " + std::to_string(host.pidThere) +
         " in its own pid namespace";
}

CYrError LiveHostError(const std::string& confDir, const LiveHost& host) {
  return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                 "The Priam configuration directory %s belongs to a live host "
                                 "(%s)",
                                 confDir.c_str(), HostText(host).c_str());
}

// The live host that owns the directory or one of its sidecars, pid 0 for
// none.
LiveHost FindLiveHost(const PriamUtil::DirectoryReport& report,
                      const PriamUtil::DirectoryDetails& details) {
  if (report.ownerAlive) {
    return {report.owner, details.ownerPidThere, details.ownerElsewhere};
  }
  if (report.lockHolder > 0 && report.lockHolder != getpid()) return {report.lockHolder, 0, false};
  for (size_t i = 0; i < report.sidecars.size(); ++i) {
    const PriamUtil::DirectoryDetails::Sidecar& where = details.sidecars[i];
    if (report.sidecars[i].hostAlive && where.hostPidHere != getpid()) {
      return {report.sidecars[i].host, where.hostPidThere, where.hostElsewhere};
    }
  }
  return LiveHost();
}

// Stop the sidecars the report marks for it: all with `force`, otherwise
// those that no live host owns.
CYrError StopMarked(const std::string& confDir, const PriamUtil::DirectoryReport& report,
                    bool force, std::vector<pid_t>* stopped) {
  std::vector<SidecarProcess> targets;
  // A live host's sidecar first: that host is told who stopped it.
  size_t ofLiveHosts = 0;
  for (const SidecarProcess& found : FindSidecars(confDir)) {
    const auto reported = std::find_if(report.sidecars.begin(), report.sidecars.end(),
                                       [&](const PriamUtil::DirectoryReport::Sidecar& sidecar) {
                                         return sidecar.pid == found.process.pid &&
                                                sidecar.startTime == found.process.startTime;
                                       });
    const bool livesOn = found.hostAlive || (reported != report.sidecars.end() && reported->owners);
    if (livesOn && force) {
      targets.insert(targets.begin() + static_cast<std::ptrdiff_t>(ofLiveHosts++), found);
    } else if (!livesOn) {
      targets.push_back(found);
    }
  }
  NoteStop(confDir, targets, ofLiveHosts > 0 ? EndedBy::kOperatorForce : EndedBy::kOperator);
  std::string failure;
  if (!StopSidecars(targets, &failure)) {
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "%s", failure.c_str());
  }
  for (const SidecarProcess& target : targets) stopped->push_back(target.process.pid);
  return CYrError::Success();
}

}  // namespace

CYrError PriamUtil::stopDirectorySidecars(const std::string& priamConfDir, bool force,
                                          std::vector<pid_t>* stopped) try {
  stopped->clear();
  DirectoryReport report;
  DirectoryDetails details;
  const CYrError reported = reportDirectory(priamConfDir, &report, &details);
  if (reported.IsError()) return reported;
  const LiveHost host = FindLiveHost(report, details);
  if (host.pid != 0) {
    // That host's files stay its own; only sidecars go.
    const CYrError failed = StopMarked(priamConfDir, report, force, stopped);
    if (failed.IsError()) return failed;
    if (stopped->empty() && !force) return LiveHostError(priamConfDir, host);
    return CYrError::Success();
  }

  // Taking the directory stops what dead hosts left; it is given up again
  // when `claimed` goes.
  const ClaimResult claimed = DirectoryClaim::Acquire(priamConfDir, EndedBy::kOperator);
  *stopped = claimed.stoppedOrphans;
  if (claimed.outcome == ClaimResult::kHeldElsewhere) {
    return LiveHostError(priamConfDir, {claimed.holder, claimed.holder, claimed.holderUnseen});
  }
  if (claimed.outcome == ClaimResult::kFailed) {
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "%s", claimed.failure.c_str());
  }
  const std::string properties = PriamPropertiesPath(priamConfDir);
  if (access(properties.c_str(), F_OK) != 0) return CYrError::Success();
  int absent = 0;
  CYrError removed = RemoveSecretEntries(properties, &absent);
  if (removed.IsError()) return removed.Push(PRIAM_LOCATION);
  return CYrError::Success();
}
PRIAM_CATCH_ALL

CYrError PriamUtil::stopDirectorySidecar(const std::string& priamConfDir, bool force,
                                         pid_t* stopped) try {
  std::vector<pid_t> all;
  const CYrError error = stopDirectorySidecars(priamConfDir, force, &all);
  *stopped = all.empty() ? 0 : all.front();
  return error;
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
