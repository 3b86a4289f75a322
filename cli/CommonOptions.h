// The options every subcommand takes: the configuration store and logging.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace priamctl {

struct CommonOptions {
  std::string config;   // INI configuration store; empty: leave ZB_PLATFORM_CONFIG alone
  int logLevel = -2;    // below -1 nothing is logged
  std::string logFile;  // empty: log lines go to stderr
  bool logLevelGiven = false;
  bool verbose = false;  // show the library's whole error chain on failure

  // A failure shows the library's whole error chain, not only its first
  // cause: asked for with --verbose, or wanted by someone who reads logs.
  bool ShowsErrorChain() const { return verbose || logLevelGiven; }
};

void AddCommonOptions(CLI::App& command, CommonOptions& options);

// Points the controller at the configuration store and installs the log
// writer. False, with the reason in `*error`, when the store is no store or
// the log file cannot be opened.
bool ApplyCommonOptions(const CommonOptions& options, std::string* error);

// Opens the --log-file anew, as ApplyCommonOptions did (owner-only, never
// through a symbolic link), and sends the next log lines there: a daemon's
// answer to SIGHUP once logrotate has moved the file away. False, with the
// reason in `*error`, when it cannot be opened; the lines then go on into
// the file open so far.
bool ReopenLogFile(const CommonOptions& options, std::string* error);

}  // namespace priamctl
