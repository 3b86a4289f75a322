// Whether a child of this process has ended, without reaping it: the
// controller reaps its own sidecar.
#pragma once

#include <sys/types.h>

namespace priamctl {

// True when `pid` has exited (or is not a child of this process).
bool ChildHasExited(pid_t pid);

}  // namespace priamctl
