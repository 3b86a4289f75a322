#include "ChildState.h"

#include <sys/wait.h>

namespace priamctl {

bool ChildHasExited(pid_t pid) {
  siginfo_t info = {};
  if (pid <= 0 || waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    return true;
  }
  return info.si_pid == pid;
}

}  // namespace priamctl
