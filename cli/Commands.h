// priamctl's subcommands: each adds itself to the application with its
// options, and runs once the command line is parsed. Run functions return
// the process's exit code (ExitCodes.h).
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "CommonOptions.h"
#include "NodeOptions.h"
#include "PropertySources.h"
#include "SidecarSession.h"
#include "SignalWatcher.h"

namespace priamctl {

struct DiscoverOptions {
  CommonOptions common;
  NodeOptions node;
  bool json = false;
};

struct RunOptions {
  CommonOptions common;
  NodeOptions node;
  PropertySources properties;
  int port = 0;
  bool ignoreConnectionFailure = false;
  std::vector<SidecarRequest> requests;  // in command-line order
  std::string javaOptions;               // words for the sidecar's Java command line
  bool keepRunning = false;
  bool pretty = false;  // indent JSON replies
  bool shortWaits = false;
};

struct DemoOptions {
  CommonOptions common;
  std::string javaOptions;
  bool shortWaits = false;
};

struct StatusOptions {
  CommonOptions common;
  std::string priamConfDir;
  bool json = false;
  int lines = 10;  // of the sidecar's output
};

struct StopOptions {
  CommonOptions common;
  std::string priamConfDir;
  bool force = false;
};

CLI::App* AddDiscoverCommand(CLI::App& app, DiscoverOptions& options);
CLI::App* AddRunCommand(CLI::App& app, RunOptions& options);
CLI::App* AddDemoCommand(CLI::App& app, DemoOptions& options);
CLI::App* AddStatusCommand(CLI::App& app, StatusOptions& options);
CLI::App* AddStopCommand(CLI::App& app, StopOptions& options);

int RunDiscover(const DiscoverOptions& options, SignalWatcher& signals);
int RunRun(const RunOptions& options, SignalWatcher& signals);
int RunDemo(const DemoOptions& options, SignalWatcher& signals);
int RunStatus(const StatusOptions& options);
int RunStop(const StopOptions& options);

// "priamctl: MESSAGE" on one line of stderr, for what an operator should
// know whatever the log level.
void Tell(const std::string& message);

// Tell(message); returns `code`.
int Fail(int code, const std::string& message);

// Fail(code, message), and when `showChain`, the library's whole error
// (`chain`, with every code location) on a second line.
int FailShowingChain(int code, const std::string& message, const std::string& chain,
                     bool showChain);

// "priamctl: warning: MESSAGE" on one line of stderr.
void Warn(const std::string& message);

// The required, existing --priam-conf-dir of status and stop.
void AddConfDirOption(CLI::App& command, std::string& priamConfDir);

// The hidden option tests use to shorten the library's waits.
void AddShortWaitsOption(CLI::App& command, bool& shortWaits);

// --java-options: words the controller puts on the sidecar's Java command
// line (PriamUtil::setJavaOptions). Its value may begin with "-", as Java
// options do: "--java-options -Xmx512m" takes it as the value.
void AddJavaOptionsOption(CLI::App& command, std::string& javaOptions);

}  // namespace priamctl
