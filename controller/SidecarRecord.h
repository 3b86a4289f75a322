// The lock and the record of a Priam configuration directory.
//
// The host process that owns a directory holds an exclusive lock on
// "zbPriam.lock" there, and keeps "zbPriam.sidecar" beside it: its own pid,
// and while one of its controllers runs a sidecar from the directory, the
// sidecar's pid, start time, port and output file. A host that dies releases the lock
// with its last descriptor; the record then lets the next owner recognise
// the sidecar it left running, and a host that finds the lock held names its
// holder from the record.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "CYrError.h"

namespace ZbCassandra {

constexpr const char kSidecarLockFileName[] = "zbPriam.lock";
constexpr const char kSidecarRecordFileName[] = "zbPriam.sidecar";

struct SidecarRecord {
  pid_t sidecar = 0;       // 0 while no sidecar runs
  uint64_t startTime = 0;  // the sidecar's, in clock ticks since boot
  pid_t host = 0;
  int port = 0;        // the sidecar's REST port once known, else 0
  std::string output;  // the file its output goes to, empty for none
};

// Replace the record at `path` atomically, owner-only.
CYrError WriteSidecarRecord(const std::string& path, const SidecarRecord& record);
// False when the record is missing or is not one. A record without a port
// (written before the port was known) reads as port 0.
bool ReadSidecarRecord(const std::string& path, SidecarRecord* record);

// The recorded sidecar still runs as the sidecar of `confDir`: the pid has
// the recorded start time, and its command line carries "jerseyserve.server"
// and a "-Dzbpriam.config.file=" word that names the directory `confDir`
// names, however either is spelled (a trailing "/", "./", a symbolic link).
// A pid handed out again to another process is never taken for it.
bool IsRecordedSidecarRunning(const SidecarRecord& record, const std::string& confDir);

}  // namespace ZbCassandra
