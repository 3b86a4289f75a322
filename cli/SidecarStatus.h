// What priamctl status tells an operator about a Priam configuration
// directory: the library's view of its lock and record, the sidecar's
// uptime, and whether it answers now.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "PriamUtil.h"

namespace priamctl {

// The exit codes of an init script's status action.
constexpr int kStatusRunning = 0;
// "Program is dead and its pid file exists": something that wants an
// operator is left (a failure, a stopped sidecar, an orphan, a dead owner).
constexpr int kStatusFailed = 1;
constexpr int kStatusNotRunning = 3;
constexpr int kStatusUnknown = 4;

struct SidecarStatus {
  std::string directory;
  ZbCassandra::PriamUtil::DirectoryReport state;
  // What becomes of its sidecar, and how the last one ended.
  ZbCassandra::PriamUtil::SidecarActivity activity;
  int64_t now = 0;      // when it was told, seconds since the epoch
  int outputLines = 0;  // asked for
  // Where its processes run, for hosts in other pid namespaces.
  ZbCassandra::PriamUtil::DirectoryDetails details;
  // Seconds each of state.sidecars has run, in the same order; -1: not known.
  std::vector<long> uptimeSeconds;
  // The one "info" request made now (when the sidecar runs and its port is
  // known): the HTTP status it got (0 for none) and libcurl's reason.
  bool asked = false;
  long httpStatus = 0;
  std::string askError;
};

// Inspects `directory`, with `outputLines` lines of its output, and asks
// the owner's running sidecar "info" once (not a stopped one), waiting 2
// seconds at most. False, with the reason in `*error`, when the state cannot
// be told.
bool GatherSidecarStatus(const std::string& directory, int outputLines, SidecarStatus* status,
                         std::string* error);

// A host as the operator knows it: `pid` as seen here (its own pid when
// `elsewhere` and it cannot be seen), `pidThere` its pid in its own pid
// namespace.
std::string HostProcessText(pid_t pid, pid_t pidThere, bool elsewhere);

// 0 a live host's sidecar runs or starts (also one that the live owner's
// record names where it cannot be seen from here); 1 the last one failed,
// it is stopped, an orphan runs, or the record of a host that died is left;
// 3 not running (never, or stopped on purpose).
int StatusExitCode(const SidecarStatus& status);

std::string SidecarStatusTable(const SidecarStatus& status);
nlohmann::json SidecarStatusJson(const SidecarStatus& status);

}  // namespace priamctl
