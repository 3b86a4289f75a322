// Whether a child of this process has ended, and how, without reaping it:
// the controller reaps its own sidecar.
#pragma once

#include <sys/types.h>

#include <string>

namespace priamctl {

// True when `pid` has exited (or is not a child of this process).
bool ChildHasExited(pid_t pid);

// How `pid` ended: "exit status 1", "signal 9"; empty while it runs or
// when it is no child of this process (any more).
std::string ChildExitDescription(pid_t pid);

}  // namespace priamctl
