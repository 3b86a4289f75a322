// priamctl stop: stop the sidecar that a host that died left running, and
// the secrets it left; a live host's only when forced.
#include <cstdio>

#include "Commands.h"
#include "ExitCodes.h"
#include "FailureText.h"

namespace priamctl {

CLI::App* AddStopCommand(CLI::App& app, StopOptions& options) {
  CLI::App* command = app.add_subcommand(
      "stop",
      "Stop the sidecar that a host that died left running for the directory, and take\n"
      "the secrets it left out of zbPriam.properties. A directory whose host is alive\n"
      "is refused: stop that host instead.");
  AddConfDirOption(*command, options.priamConfDir);
  command->add_flag("--force", options.force,
                    "Stop the sidecar of a live host all the same (that host then sees its\n"
                    "sidecar exit); its files are left alone");
  AddCommonOptions(*command, options.common);
  command->footer(kExitCodeHelp);
  return command;
}

int RunStop(const StopOptions& options) {
  std::string error;
  if (!ApplyCommonOptions(options.common, &error)) return Fail(kExitUsage, error);
  ZbCassandra::PriamUtil::DirectoryState state;
  CYrError failed = ZbCassandra::PriamUtil::inspectDirectory(options.priamConfDir, &state);
  pid_t stopped = 0;
  if (!failed.IsError()) {
    failed =
        ZbCassandra::PriamUtil::stopDirectorySidecar(options.priamConfDir, options.force, &stopped);
  }
  if (failed.IsError()) {
    if (state.holder > 0 && !options.force) {
      return Fail(kExitFailed, "the Priam configuration directory " + options.priamConfDir +
                                   " belongs to a live host (process " +
                                   std::to_string(state.holder) +
                                   "); stop that host, or give --force to stop its sidecar");
    }
    return FailShowingChain(kExitFailed, "cannot stop the sidecar: " + FirstCause(failed),
                            failed.AsString(), options.common.ShowsErrorChain());
  }
  if (stopped == 0) {
    printf("not running\n");
  } else if (state.holder > 0) {
    printf("Stopped the sidecar (process %d) of the live host %d.\n", static_cast<int>(stopped),
           static_cast<int>(state.holder));
  } else {
    printf(
        "Stopped the sidecar (process %d) that a host that died left running; the secrets it left "
        "in zbPriam.properties are removed.\n",
        static_cast<int>(stopped));
  }
  return kExitOk;
}

}  // namespace priamctl
