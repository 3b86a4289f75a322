// priamctl: drives the Priam sidecar controller from the command line.
#include <cstdio>
#include <cstring>
#include <exception>

#include "Commands.h"
#include "ExitCodes.h"
#include "SignalWatcher.h"

namespace {

constexpr const char* kSubcommands = "discover, run, status, stop and demo";

// CLI11 only says "A subcommand is required" for a word it does not know;
// the user should read which word that was.
bool IsSubcommand(const CLI::App& app, const char* word) {
  for (const CLI::App* command : app.get_subcommands({})) {
    if (command->check_name(word)) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace priamctl;
  try {
    // First, before any thread: every thread must inherit the blocked mask.
    SignalWatcher signals;

    CLI::App app(
        "priamctl: discover a Cassandra/ScyllaDB node, run the Priam sidecar next\n"
        "to it and talk to it, through the PriamUtil controller library.",
        "priamctl");
    app.require_subcommand(1);
    app.footer(kExitCodeHelp);
    app.set_version_flag("--version", std::string("priamctl ") + PRIAMCTL_VERSION,
                         "Print \"priamctl VERSION\" and exit");
    DiscoverOptions discover;
    RunOptions run;
    DemoOptions demo;
    StatusOptions status;
    StopOptions stop;
    CLI::App* discoverCommand = AddDiscoverCommand(app, discover);
    CLI::App* runCommand = AddRunCommand(app, run);
    CLI::App* statusCommand = AddStatusCommand(app, status);
    CLI::App* stopCommand = AddStopCommand(app, stop);
    CLI::App* demoCommand = AddDemoCommand(app, demo);

    if (argc < 2) {
      return Fail(kExitUsage, std::string("no subcommand; the subcommands are ") + kSubcommands +
                                  " (see --help)");
    }
    if (strcmp(argv[1], "help") == 0) {
      fputs(app.help().c_str(), stdout);
      return kExitOk;
    }
    if (argv[1][0] != '-' && !IsSubcommand(app, argv[1])) {
      return Fail(kExitUsage, std::string("unknown subcommand '") + argv[1] +
                                  "'; the subcommands are " + kSubcommands + " (see --help)");
    }
    try {
      app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
      return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
      return app.exit(help);
    } catch (const CLI::CallForVersion& version) {
      printf("%s\n", version.what());
      return kExitOk;
    } catch (const CLI::ParseError& error) {
      // Before any subcommand CLI11 only says that one is required; the
      // option it did not know is what the user should read.
      const std::vector<std::string> unknown = app.remaining();
      if (app.get_subcommands().empty() && !unknown.empty()) {
        return Fail(kExitUsage,
                    "unknown option '" + unknown.front() +
                        "'; priamctl takes --help, --version or a subcommand: " + kSubcommands);
      }
      return Fail(kExitUsage, std::string(error.what()) + " (see --help)");
    }

    if (discoverCommand->parsed()) return RunDiscover(discover, signals);
    if (runCommand->parsed()) return RunRun(run, signals);
    if (statusCommand->parsed()) return RunStatus(status);
    if (stopCommand->parsed()) return RunStop(stop);
    if (demoCommand->parsed()) return RunDemo(demo, signals);
    return Fail(kExitUsage, "no subcommand (see --help)");
  } catch (const std::exception& error) {
    return Fail(kExitFailed, error.what());
  }
}
