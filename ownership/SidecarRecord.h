// The lock and the record of a Priam configuration directory.
//
// The host process that owns a directory holds an exclusive lock on
// "zbPriam.lock" there, and keeps "zbPriam.sidecar" beside it: its own pid
// and start time in its pid namespace, which namespace that is and which
// lock file it holds, and while one of its controllers runs a sidecar from the
// directory, the sidecar's pid, start time, port, output file and whether
// its launch is still under way; once that sidecar has ended, how and when.
// A host that dies releases the lock with its last descriptor; a host that
// finds the lock held names its holder. The record is what the owner says;
// which processes are the directory's sidecars, and whether the owner lives,
// is always checked against the running system (SidecarScan.h,
// HostLiveness.h).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "CYrError.h"
#include "ownership/HostLiveness.h"

namespace ZbCassandra {

constexpr const char kSidecarLockFileName[] = "zbPriam.lock";
constexpr const char kSidecarRecordFileName[] = "zbPriam.sidecar";
// A record or lock file larger than this was not written by us; it is
// refused unread.
constexpr off_t kLongestRecord = 64 * 1024;

// The lock file of the directory at `confDir`.
std::string LockFilePath(const std::string& confDir);

struct SidecarRecord {
  pid_t host = 0;                 // in the host's own pid namespace
  uint64_t hostStart = 0;         // the host's start time; 0 in records of 1.1.0
  uint64_t hostPidNamespace = 0;  // which namespace the pids are of; 0 before 1.3.0
  // The lock file the host holds (device and inode); 0 before 1.3.0, and
  // when the system's lock table cannot show the host's lock by them.
  uint64_t lockDevice = 0;
  uint64_t lockInode = 0;
  // The sidecar's and the guardian's pids are in the host's namespace too.
  pid_t sidecar = 0;       // 0 while no sidecar runs
  uint64_t startTime = 0;  // the sidecar's, in clock ticks since boot
  int port = 0;            // the sidecar's REST port once known, else 0
  std::string output;      // the file its output goes to, empty for none
  bool starting = false;   // its launch still waits for it to answer
  pid_t guardian = 0;      // the guardian beside it, 0 for none
  uint64_t guardianStart = 0;
  // How the host's last sidecar ended ("exit status 1", "killed by signal
  // 9 (SIGKILL)"), and when (seconds since the epoch); empty and 0 until one
  // has ended.
  std::string ended;
  int64_t endedAt = 0;
};

// Replace the record in the directory open as `directory` atomically,
// owner-only: it lands in that directory even once its path leads
// elsewhere.
CYrError WriteSidecarRecordAt(int directory, const SidecarRecord& record);
// The same, in the directory at `confDir`.
CYrError WriteSidecarRecord(const std::string& confDir, const SidecarRecord& record);
// Whether `name` is that of the temporary file a record is written to
// before it is renamed: "zbPriam.sidecar.tmp" and a number below 1000000.
bool IsSidecarRecordTemporary(const std::string& name);

enum class RecordRead { kRead, kMissing, kUnusable };
// Read the record of the directory open as `directory`, or at `confDir`. A
// record that is not a regular file, is larger than kLongestRecord or does
// not parse is unusable (and left unread). A record without a port (written
// before the port was known) reads as port 0.
RecordRead ReadSidecarRecordAt(int directory, SidecarRecord* record);
RecordRead ReadSidecarRecord(const std::string& confDir, SidecarRecord* record);

// The host the record names, and the lock it holds.
HostIdentity RecordedHost(const SidecarRecord& record);
LockIdentity RecordedLock(const SidecarRecord& record);
// Whether the host the record names is alive (HostLiveness.h): its pid has
// the recorded start time, is no zombie, and holds the recorded lock. A
// record of 1.1.0, without a start time, is believed while the pid runs.
// `confDir` is the record's directory.
Liveness RecordedHostLiveness(const SidecarRecord& record, const std::string& confDir);

}  // namespace ZbCassandra
