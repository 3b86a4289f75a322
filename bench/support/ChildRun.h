// Running a child process the plain way, for the baselines the library is
// measured against and for peak-memory figures.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace bench {

struct ChildResult {
  // The exit status; 128 + the signal for a killed child; -1 when the
  // command could not be started.
  int status = -1;
  // The child's peak resident set, and that of the descendants it waited
  // for, in KiB (wait4's ru_maxrss).
  long peakRssKib = 0;
  std::string output;  // standard output, when captured
};

// Start argv[0] (looked up on PATH) with `argv`, standard input from
// /dev/null, standard error to /dev/null and standard output captured or
// dropped, and wait for it. No descriptor of ours leaks into the child.
ChildResult RunChild(const std::vector<std::string>& argv, bool captureOutput);

// `command` under "/bin/sh -c".
ChildResult RunShell(const std::string& command, bool captureOutput);

// `text` as one single-quoted shell word.
std::string ShellQuote(const std::string& text);

// `command` with every "{name}" of `values` replaced by the quoted value;
// unknown names stay as they are.
std::string ExpandPlaceholders(const std::string& command,
                               const std::map<std::string, std::string>& values);

}  // namespace bench
