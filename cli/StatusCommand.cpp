// priamctl status: is a sidecar running for this directory, which process,
// which port, does it answer, what did it last say. Reads only.
#include <cstdio>

#include "Commands.h"
#include "ExitCodes.h"
#include "IntegerOption.h"
#include "SidecarStatus.h"

namespace priamctl {

namespace {

constexpr const char* kStatusExitCodeHelp =
    "Exit codes, as an init script's status: 0 running or starting (a live host's sidecar);\n"
    "1 failed (the last sidecar ended without being asked to: it exited, crashed or was\n"
    "killed by someone else), stopped (SIGSTOP or a tracer: it answers nothing), orphaned\n"
    "(a sidecar runs that no live host owns), or the record of a host that died is left;\n"
    "3 not running (never run here, or stopped on purpose: by its host, by priamctl stop,\n"
    "or by its guardian after its host died); 4 cannot tell (the directory or its record\n"
    "cannot be read, or the record or lock file is over 64 KiB); 2 bad option or missing\n"
    "directory.";

// More than the last 64 KiB of the file would hold.
constexpr int kMostOutputLines = 1000;

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
      "Tell what runs for the directory, as systemctl status does: its state (running,\n"
      "starting, stopped, failed, orphaned, not running) and since when; the host that\n"
      "owns the directory and whether it is alive; the main process with the tasks\n"
      "(threads) of its group and their resident memory; every sidecar process of the\n"
      "directory (the owner's with its port, orphans marked); whether it answers \"info\"\n"
      "now (one request, 2 seconds at most); how the last one ended, who ended it and\n"
      "when, also after its host has gone; secrets left on disk; and the last lines of\n"
      "its output. Needs no node directory and writes nothing.");
  AddConfDirOption(*command, options.priamConfDir);
  command->add_flag("--json", options.json, "Print one JSON object instead of a table");
  command
      ->add_option("-n,--lines", options.lines,
                   "Show this many of the last lines of the sidecar's output (default 10)")
      ->check(IntegerInRange(0, kMostOutputLines));
  AddCommonOptions(*command, options.common);
  command->footer(kStatusExitCodeHelp);
  return command;
}

int RunStatus(const StatusOptions& options) {
  std::string error;
  if (!ApplyCommonOptions(options.common, &error)) return Fail(kExitUsage, error);
  SidecarStatus status;
  if (!GatherSidecarStatus(options.priamConfDir, options.lines, &status, &error)) {
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
