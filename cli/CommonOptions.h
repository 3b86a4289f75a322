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
};

// `withConfig`: offer --config (the demo makes a store of its own).
void AddCommonOptions(CLI::App& command, CommonOptions& options, bool withConfig = true);

// Points the controller at the configuration store and installs the log
// writer. False, with the reason in `*error`, when the log file cannot be
// opened.
bool ApplyCommonOptions(const CommonOptions& options, std::string* error);

}  // namespace priamctl
