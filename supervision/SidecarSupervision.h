// What a controller keeps on its sidecar beside the process object: where
// its output goes, the guardian that watches it and the secrets on disk,
// and what it knows of the sidecar's end.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

#include "common/ProcessIdentity.h"
#include "supervision/Guardianship.h"

namespace ZbCassandra {

struct SidecarSupervision {
  // The launched sidecar, once recorded: a stopper names it so.
  ProcessId sidecar;
  // The launched sidecar's output file; empty when it goes to /dev/null.
  std::string outputPath;
  // The guardian that runs while secrets are on disk or the sidecar runs.
  Guardianship guardianship;
  // Secrets this controller wrote are in the properties file, and no launch
  // took them out yet.
  bool secretsPending = false;
  // A launch is under way: an exit now is an exit during its start.
  bool launching = false;
  // The library has seen the sidecar exit and logged it; requests report
  // that exit until the next launch or a stop by the host.
  bool exitReported = false;
  // The last sidecar ended without being asked, after its launch: the next
  // launch keeps its output aside.
  bool crashed = false;
  // Called between the sidecar's start and its guardian's and record, for
  // tests that kill the host in that moment.
  std::function<void(pid_t)> afterSpawn;
};

}  // namespace ZbCassandra
