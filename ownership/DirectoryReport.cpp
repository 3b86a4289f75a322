// An operator's view of a configuration directory: the owner by who is
// alive, the sidecars by what runs, the record for what only the owner
// knows. The operator may run in another pid namespace than the hosts.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "CYrPath.h"
#include "PriamUtil.h"
#include "ZbFileLock.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "ownership/HostLiveness.h"
#include "ownership/SidecarRecord.h"
#include "ownership/SidecarScan.h"
#include "priamconf/PropertiesFile.h"
#include "priamconf/SecretKeys.h"
#include "supervision/SidecarOutput.h"

namespace ZbCassandra {

namespace {

constexpr size_t kOutputLines = 3;
// A properties file this large was not written by a host; it is not read
// for the warning.
constexpr off_t kLongestPropertiesFile = 1 << 20;

std::string InDirectory(const std::string& confDir, const char* name) {
  return CYrPath::Append(confDir.c_str(), name).str();
}

CYrError Unreadable(const std::string& what, const std::string& why) {
  return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "Cannot read %s: %s",
                                 what.c_str(), why.c_str());
}

// Why the directory cannot be told about, empty when it can.
std::string DirectoryProblem(const std::string& confDir, struct stat* info) {
  if (stat(confDir.c_str(), info) != 0) return strerror(errno);
  if (!S_ISDIR(info->st_mode)) return "not a directory";
  if (access(confDir.c_str(), R_OK | X_OK) != 0) return strerror(errno);
  return std::string();
}

// A file of the directory that is too large to be ours is refused unread.
std::string OversizeProblem(const std::string& path, bool* exists) {
  struct stat info;
  *exists = lstat(path.c_str(), &info) == 0;
  if (*exists && info.st_size > kLongestRecord) return "larger than 64 KiB; not read";
  return std::string();
}

bool HoldsSecrets(const std::string& confDir) {
  const std::string path = PriamPropertiesPath(confDir);
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_size > kLongestPropertiesFile) {
    return false;
  }
  PropertyMap entries;
  if (ReadPropertiesFile(path, entries).IsError()) return false;
  return std::any_of(kSecretKeys.begin(), kSecretKeys.end(),
                     [&](const char* key) { return entries.count(key) != 0; });
}

}  // namespace

CYrError PriamUtil::reportDirectory(const std::string& priamConfDir, DirectoryReport* report) {
  return reportDirectory(priamConfDir, report, nullptr);
}

CYrError PriamUtil::reportDirectory(const std::string& priamConfDir, DirectoryReport* report,
                                    DirectoryDetails* details) try {
  *report = DirectoryReport();
  DirectoryDetails unasked;
  DirectoryDetails& where = details ? *details : unasked;
  where = DirectoryDetails();
  struct stat directory;
  const std::string problem = DirectoryProblem(priamConfDir, &directory);
  if (!problem.empty()) return Unreadable(priamConfDir, problem);
  const std::string recordPath = InDirectory(priamConfDir, kSidecarRecordFileName);
  const std::string lockPath = LockFilePath(priamConfDir);
  bool lockExists = false;
  for (const std::string& path : {recordPath, lockPath}) {
    const std::string oversize =
        OversizeProblem(path, path == recordPath ? &report->recordLeft : &lockExists);
    if (!oversize.empty()) return Unreadable(path, oversize);
  }
  SidecarRecord record;
  if (report->recordLeft && ReadSidecarRecord(priamConfDir, &record) != RecordRead::kRead) {
    return Unreadable("the record " + recordPath, "not a record of this library");
  }
  const Liveness owner = RecordedHostLiveness(record, priamConfDir);
  report->owner = owner.pidHere != 0 ? owner.pidHere : record.host;
  report->ownerAlive = owner.alive;
  where.ownerElsewhere = owner.elsewhere;
  where.ownerPidThere = record.host;
  where.ownerPidHere = owner.pidHere;
  report->lockHolder = std::max<pid_t>(ZbFileLock::Holder(lockPath), 0);

  // The record's pids are of the owner's namespace.
  const pid_t ownSidecar = PidHere(record.sidecar, record.startTime, record.hostPidNamespace);
  for (const SidecarProcess& found : FindSidecars(priamConfDir)) {
    DirectoryReport::Sidecar sidecar;
    sidecar.pid = found.process.pid;
    sidecar.startTime = found.process.startTime;
    sidecar.host = found.hostHere != 0 ? found.hostHere : found.host.pid;
    sidecar.hostAlive = found.hostAlive;
    // A sidecar of 1.1.0 names no host: the record's and its group are the
    // owner's.
    const bool recorded =
        ownSidecar != 0 && (found.process.pid == ownSidecar || found.group == ownSidecar);
    sidecar.owners = report->ownerAlive &&
                     ((found.hostAlive && found.recordedHost) || (found.host.pid == 0 && recorded));
    report->sidecars.push_back(sidecar);
    where.sidecars.push_back({found.hostElsewhere, found.host.pid, found.hostHere});
  }
  // A live owner that cannot be seen from here keeps its sidecar out of
  // sight too: its record is all there is to tell.
  const bool unseenOwner = report->ownerAlive && owner.elsewhere && owner.pidHere == 0;
  if (ownSidecar != 0 || (unseenOwner && record.sidecar != 0)) {
    report->recordedSidecar = ownSidecar;
    where.unseenSidecar = ownSidecar != 0 ? 0 : record.sidecar;
    report->port = record.port;
    report->starting = record.starting && report->ownerAlive;
  }
  report->guardian = PidHere(record.guardian, record.guardianStart, record.hostPidNamespace);
  report->ended = record.ended;
  report->endedAt = record.endedAt;
  report->secretsLeft = !report->starting && HoldsSecrets(priamConfDir);
  // A path that someone else wrote into the record is never read.
  if (!record.output.empty() && IsOwnOutput(record.output, directory.st_uid)) {
    report->output = record.output;
    report->lastOutput = LastOutputLines(record.output, kOutputLines);
  }
  return CYrError::Success();
}
PRIAM_CATCH_ALL

CYrError PriamUtil::inspectDirectory(const std::string& priamConfDir, DirectoryState* state) try {
  *state = DirectoryState();
  DirectoryReport report;
  const CYrError reported = reportDirectory(priamConfDir, &report);
  if (reported.IsError()) return reported;
  state->holder = report.ownerAlive ? report.owner : report.lockHolder;
  state->recordLeft = report.recordLeft;
  state->host = report.owner;
  state->hostAlive = report.ownerAlive;
  state->sidecar = report.recordedSidecar;
  state->sidecarRunning = report.recordedSidecar != 0;
  for (const DirectoryReport::Sidecar& sidecar : report.sidecars) {
    if (sidecar.pid == report.recordedSidecar) state->startTime = sidecar.startTime;
  }
  state->port = report.port;
  state->output = report.output;
  state->lastOutput = report.lastOutput;
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
