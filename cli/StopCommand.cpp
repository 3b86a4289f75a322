// priamctl stop: stop the sidecars that no live host owns, and the secrets
// a dead host left; a live host's sidecar only when forced.
#include <cstdio>

#include "Commands.h"
#include "ExitCodes.h"
#include "FailureText.h"
#include "SidecarStatus.h"

namespace priamctl {

CLI::App* AddStopCommand(CLI::App& app, StopOptions& options) {
  CLI::App* command = app.add_subcommand(
      "stop",
      "Stop every sidecar of the directory that no live host owns, and when no live host\n"
      "owns the directory, take the secrets left out of zbPriam.properties. A live\n"
      "host's sidecar is left alone: stop that host instead.");
  AddConfDirOption(*command, options.priamConfDir);
  command->add_flag("--force", options.force,
                    "Stop the sidecar of a live host all the same (that host then sees its\n"
                    "sidecar exit); its files are left alone");
  AddCommonOptions(*command, options.common);
  command->footer(kExitCodeHelp);
  return command;
}

namespace {

std::string Processes(const std::vector<pid_t>& pids) {
  std::string text = pids.size() == 1 ? "process " : "processes ";
  for (size_t i = 0; i < pids.size(); ++i) {
    text += (i == 0 ? "" : ", ") + std::to_string(pids[i]);
  }
  return text;
}

// The live host that owns the directory, as the report tells; 0 for none.
pid_t LiveOwner(const ZbCassandra::PriamUtil::DirectoryReport& state) {
  if (state.ownerAlive) return state.owner;
  return state.lockHolder;
}

std::string LiveOwnerText(const ZbCassandra::PriamUtil::DirectoryReport& state,
                          const ZbCassandra::PriamUtil::DirectoryDetails& details) {
  if (!state.ownerAlive) return "process " + std::to_string(state.lockHolder);
  return HostProcessText(state.owner, details.ownerPidThere, details.ownerElsewhere);
}

}  // namespace

int RunStop(const StopOptions& options) {
  std::string error;
  if (!ApplyCommonOptions(options.common, &error)) return Fail(kExitUsage, error);
  ZbCassandra::PriamUtil::DirectoryReport state;
  ZbCassandra::PriamUtil::DirectoryDetails details;
  CYrError failed = ZbCassandra::PriamUtil::reportDirectory(options.priamConfDir, &state, &details);
  std::vector<pid_t> stopped;
  if (!failed.IsError()) {
    failed = ZbCassandra::PriamUtil::stopDirectorySidecars(options.priamConfDir, options.force,
                                                           &stopped);
  }
  const pid_t owner = LiveOwner(state);
  if (failed.IsError()) {
    if (!stopped.empty()) {
      return FailShowingChain(kExitFailed,
                              "stopped the sidecar (" + Processes(stopped) +
                                  "), but the secrets left in zbPriam.properties could not be "
                                  "removed: " +
                                  FirstCause(failed) + "; remove them before the next launch",
                              failed.AsString(), options.common.ShowsErrorChain());
    }
    if (owner > 0 && !options.force) {
      return Fail(kExitFailed, "the Priam configuration directory " + options.priamConfDir +
                                   " belongs to a live host (" + LiveOwnerText(state, details) +
                                   "); stop that host, or give --force to stop its sidecar");
    }
    return FailShowingChain(kExitFailed, "cannot stop the sidecar: " + FirstCause(failed),
                            failed.AsString(), options.common.ShowsErrorChain());
  }
  const std::string sidecars = stopped.size() == 1 ? "the sidecar" : "the sidecars";
  if (stopped.empty()) {
    printf("not running\n");
  } else if (owner > 0 && options.force) {
    printf("Stopped %s (%s) of the live host %d.\n", sidecars.c_str(), Processes(stopped).c_str(),
           static_cast<int>(owner));
  } else if (owner > 0) {
    printf(
        "Stopped %s (%s) that no live host owns; the live host %d keeps the directory and "
        "its files.\n",
        sidecars.c_str(), Processes(stopped).c_str(), static_cast<int>(owner));
  } else {
    const bool one = stopped.size() == 1;
    printf("Stopped %s (%s) that %s left running", sidecars.c_str(), Processes(stopped).c_str(),
           one ? "a host that died" : "hosts that died");
    // Only what was there is said to be removed.
    if (state.secretsLeft) {
      printf("; the secrets %s left in zbPriam.properties are removed", one ? "it" : "they");
    }
    printf(".\n");
  }
  return kExitOk;
}

}  // namespace priamctl
