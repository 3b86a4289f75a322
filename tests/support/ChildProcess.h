// Helpers for tests that give a controller a child process of its own.
#pragma once

#include <sys/types.h>

#include <string>

#include "PriamUtil.h"

namespace testsupport {

// Start `/bin/sleep 600` as the controller's child and mark the sidecar
// started, so that the controller's destructor stops it. Returns its pid.
pid_t GiveControllerASleepingChild(ZbCassandra::PriamUtil& controller);

// True when /proc/PID exists (a zombie still counts).
bool ProcessExists(pid_t pid);
// The state letter from /proc/PID/stat ('Z' for a zombie), or 0 when gone.
char ProcessState(pid_t pid);
// The number of open descriptors of this process.
int OpenDescriptorCount();

}  // namespace testsupport
