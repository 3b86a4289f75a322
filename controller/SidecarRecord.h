// One sidecar per Priam configuration directory.
//
// While a controller has a sidecar launched from a directory it holds an
// exclusive lock on "zbPriam.lock" there, and keeps "zbPriam.sidecar" beside
// it: the sidecar's pid and start time and the pid of the host process that
// launched it. A host that dies releases the lock with its last descriptor;
// the record then lets the next launch recognise the sidecar it left running,
// and a host that finds the lock held names its holder from the record.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "CYrError.h"

namespace ZbCassandra {

constexpr const char kSidecarLockFileName[] = "zbPriam.lock";
constexpr const char kSidecarRecordFileName[] = "zbPriam.sidecar";

struct SidecarRecord {
  pid_t sidecar = 0;       // 0 while the launch has not started one
  uint64_t startTime = 0;  // the sidecar's, in clock ticks since boot
  pid_t host = 0;
};

// Replace the record at `path` atomically, owner-only.
CYrError WriteSidecarRecord(const std::string& path, const SidecarRecord& record);
// False when the record is missing or is not one.
bool ReadSidecarRecord(const std::string& path, SidecarRecord* record);

// The recorded sidecar still runs as the sidecar of `confDir`: the pid has
// the recorded start time, and its command line carries the word
// "-Dzbpriam.config.file=<confDir>" and "jerseyserve.server". A pid handed
// out again to another process is never taken for it.
bool IsRecordedSidecarRunning(const SidecarRecord& record, const std::string& confDir);

}  // namespace ZbCassandra
