// priamctl: drives the Priam sidecar controller from the command line.
#include <cstdio>
#include <exception>

#include "Commands.h"
#include "ExitCodes.h"
#include "SignalWatcher.h"

int main(int argc, char** argv) {
  using namespace priamctl;
  try {
    // First, before any thread: every thread must inherit the blocked mask.
    SignalWatcher signals;

    CLI::App app(
        "priamctl: discover a Cassandra/ScyllaDB node, run the Priam sidecar next\n"
        "to it and talk to it, through the PriamUtil controller library.");
    app.require_subcommand(1);
    app.footer(kExitCodeHelp);
    DiscoverOptions discover;
    RunOptions run;
    DemoOptions demo;
    CLI::App* discoverCommand = AddDiscoverCommand(app, discover);
    CLI::App* runCommand = AddRunCommand(app, run);
    CLI::App* demoCommand = AddDemoCommand(app, demo);

    try {
      app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
      return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
      return app.exit(help);
    } catch (const CLI::ParseError& error) {
      return Fail(kExitUsage, std::string(error.what()) + " (see --help)");
    }

    if (discoverCommand->parsed()) return RunDiscover(discover, signals);
    if (runCommand->parsed()) return RunRun(run, signals);
    if (demoCommand->parsed()) return RunDemo(demo, signals);
    return Fail(kExitUsage, "no subcommand (see --help)");
  } catch (const std::exception& error) {
    return Fail(kExitFailed, error.what());
  }
}
