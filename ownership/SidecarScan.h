// Which processes are a configuration directory's sidecars, and whose.
//
// A sidecar is recognised by what it runs, not by what a file says: a
// process whose command line is a sidecar launch (the main class
// "jerseyserve.server") with a "-Dzbpriam.config.file=" word naming the
// directory, however spelled (a trailing "/", "./", a symbolic link; a
// relative one from that process's working directory). A launch gives the
// sidecar the variable ZBPRIAM_HOST, "PID:STARTTIME" of the host that
// launched it, in the pid namespace of the host and of the sidecar;
// whatever the sidecar starts in turn (a wrapper's JVM) inherits it. A
// sidecar whose host is gone, or that names none, is an orphan. The host
// that the directory's record names is judged as the record says, with its
// lock (HostLiveness.h): a host that exec'd another program leaves orphans.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/ProcessIdentity.h"

namespace ZbCassandra {

constexpr const char kHostVariable[] = "ZBPRIAM_HOST";

struct SidecarProcess {
  ProcessId process;
  pid_t group = 0;  // its process group
  // From its ZBPRIAM_HOST, pid 0 when it names none: the host's pid in the
  // sidecar's own pid namespace, which `hostPidNamespace` names (0 when it
  // cannot be told: this process's).
  ProcessId host;
  uint64_t hostPidNamespace = 0;
  bool hostAlive = false;
  bool hostElsewhere = false;  // that namespace is not this process's
  pid_t hostHere = 0;          // the host as this process sees it; 0 when it cannot
  bool recordedHost = false;   // it is the host the directory's record names
};

// Every running sidecar of `confDir` now, this process aside. A process
// caught in the middle of its exec is given up to a second to show its
// command line.
std::vector<SidecarProcess> FindSidecars(const std::string& confDir);

// The words of a command line are a sidecar launch for `confDir`. `pid`
// names the process, whose working directory a relative path is taken from.
bool IsSidecarLaunchFor(const std::vector<std::string>& words, pid_t pid,
                        const std::string& confDir);

// Kill each of `sidecars` with SIGKILL, with its whole process group when it
// leads one, and wait until none of them runs, a few seconds at most, or
// until the calling thread is cancelled (YrCancel.h). Never reaches a
// process that was handed one of their pids meanwhile. True when all have
// ended; otherwise `*failure` says which did not.
bool StopSidecars(const std::vector<SidecarProcess>& sidecars, std::string* failure);

}  // namespace ZbCassandra
