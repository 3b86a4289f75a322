// A stopper names itself before its SIGKILL (supervision/SidecarEnd.h), so
// that the sidecar's host, and an operator later, can tell who ended it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "ownership/SidecarScan.h"
#include "supervision/SidecarEnd.h"

namespace ZbCassandra {

// Say in `confDir` that `by` (`stopper`, for a host) is about to kill the
// first of `targets`, unless the directory's last end already names one of
// them: whoever killed it first has said so. Nothing for no target; a
// failed write only costs the host the words.
void NoteStop(const std::string& confDir, const std::vector<SidecarProcess>& targets, EndedBy by,
              pid_t stopper = 0);

}  // namespace ZbCassandra
