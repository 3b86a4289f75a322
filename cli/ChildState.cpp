#include "ChildState.h"

#include <sys/wait.h>

namespace priamctl {

namespace {

// WNOWAIT: the child stays a zombie for the controller to reap.
bool PeekExit(pid_t pid, siginfo_t* info) {
  *info = {};
  return pid > 0 && waitid(P_PID, static_cast<id_t>(pid), info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

}  // namespace

bool ChildHasExited(pid_t pid) {
  siginfo_t info;
  if (!PeekExit(pid, &info)) return true;
  return info.si_pid == pid;
}

std::string ChildExitDescription(pid_t pid) {
  siginfo_t info;
  if (!PeekExit(pid, &info) || info.si_pid != pid) return std::string();
  if (info.si_code == CLD_EXITED) return "exit status " + std::to_string(info.si_status);
  return "signal " + std::to_string(info.si_status);
}

}  // namespace priamctl
