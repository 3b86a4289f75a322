// How the last sidecar of a configuration directory ended, and who ended
// it: "zbPriam.ended" beside the record, which outlives the record (a host
// that gives the directory up removes its record, not this).
//
// Whoever ends a sidecar says so here: its host once it has seen the end,
// and a stopper (an operator's stop, a guardian whose host died, a host
// that takes a dead host's directory) before its signal, so that a live host
// that sees its sidecar killed can tell who did it. The file is owner-only
// and replaced whole; a reader refuses anything that is not a small regular
// file of ours.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "CYrError.h"
#include "PriamUtil.h"
#include "common/ProcessIdentity.h"

namespace ZbCassandra {

constexpr const char kSidecarEndFileName[] = "zbPriam.ended";

using EndedBy = PriamUtil::SidecarActivity::EndedBy;

struct SidecarEnd {
  // The sidecar and its host, in the host's pid namespace.
  ProcessId sidecar;
  pid_t host = 0;
  pid_t stopper = 0;  // kNextHost: the host that took the directory
  std::string how;    // ZbProcess::DescribeExit's words
  EndedBy by = EndedBy::kNobody;
  bool duringStart = false;
  int64_t at = 0;  // seconds since the epoch
};

// Who ended it, in words ("stopped by its host"); empty for nobody.
std::string EndedByText(const SidecarEnd& end);
// Its exit, then who ended it: "killed by signal 9 (SIGKILL), stopped by
// its host".
std::string DescribeEnd(const SidecarEnd& end);

// The end of a sidecar that its stopper is about to kill (SIGKILL), now.
SidecarEnd KilledBy(EndedBy by, const ProcessId& sidecar, pid_t host);

// Replace the file of `confDir` with `end`.
CYrError WriteSidecarEnd(const std::string& confDir, const SidecarEnd& end);
// False when there is none, or it is not one of ours.
bool ReadSidecarEnd(const std::string& confDir, SidecarEnd* end);

// The end of `sidecar` (pid and start time in its host's namespace) as
// its host saw it, with the wait status `status` (`known` false: reaped
// elsewhere): its exit in words, and who stopped it as the file of
// `confDir` tells. A stopper's word counts only for the sidecar it names,
// and only for its SIGKILL; otherwise nobody stopped it.
SidecarEnd SeenEnd(const std::string& confDir, const ProcessId& sidecar, int status, bool known);

}  // namespace ZbCassandra
