// priamctl status: is a sidecar running for this directory, which process,
// which port, does it answer, what did it last say. Reads only.
#include <cstdio>

#include "Commands.h"
#include "ExitCodes.h"
#include "SidecarStatus.h"

namespace priamctl {

namespace {

constexpr const char* kStatusExitCodeHelp =
    "Exit codes, as an init script's status: 0 running (a sidecar of the directory);\n"
    "1 not running, but the record of a sidecar that ended or of a host that died is\n"
    "left; 3 not running; 4 cannot tell (the directory or its record cannot be read, or\n"
    "the record or lock file is over 64 KiB); 2 bad option or missing directory.";

}  // namespace

void AddConfDirOption(CLI::App& command, std::string& priamConfDir) {
  command
      .add_option("--priam-conf-dir", priamConfDir,
                  "The Priam configuration directory (zbPriam.lock, zbPriam.sidecar)")
      ->required()
      ->check(CLI::ExistingDirectory);
}

CLI::App* AddStatusCommand(CLI::App& app, StatusOptions& options) {
  CLI::App* command = app.add_subcommand(
      "status",
      "Tell what runs for the directory, as systemctl status does: the host that owns\n"
      "the directory and whether it is alive, every sidecar process of the directory\n"
      "(the owner's with its port, orphans marked), whether it answers \"info\" now (one\n"
      "request, 2 seconds at most), how the last one ended, secrets left on disk, and\n"
      "the last lines of its output. Needs no node directory and writes nothing.");
  AddConfDirOption(*command, options.priamConfDir);
  command->add_flag("--json", options.json, "Print one JSON object instead of a table");
  AddCommonOptions(*command, options.common);
  command->footer(kStatusExitCodeHelp);
  return command;
}

int RunStatus(const StatusOptions& options) {
  std::string error;
  if (!ApplyCommonOptions(options.common, &error)) return Fail(kExitUsage, error);
  SidecarStatus status;
  if (!GatherSidecarStatus(options.priamConfDir, &status, &error)) {
    return Fail(kStatusUnknown, "cannot tell: " + error);
  }
  if (options.json) {
    printf("%s\n", SidecarStatusJson(status)
                       .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                       .c_str());
  } else {
    fputs(SidecarStatusTable(status).c_str(), stdout);
  }
  fflush(stdout);
  return StatusExitCode(status);
}

}  // namespace priamctl
