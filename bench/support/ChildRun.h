// Running a child process the plain way, for the baselines the library is
// measured against, and measuring a command's peak memory.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace bench {

struct ChildResult {
  // The exit status; 128 + the signal for a killed child; -1 when the
  // command could not be started.
  int status = -1;
  std::string output;  // standard output, when captured
};

// Start argv[0] (looked up on PATH) with `argv`, standard input from
// /dev/null, standard error to /dev/null and standard output captured or
// dropped, and wait for it. No descriptor of ours leaks into the child.
ChildResult RunChild(const std::vector<std::string>& argv, bool captureOutput);

// `command` under "/bin/sh -c".
ChildResult RunShell(const std::string& command, bool captureOutput);

// Run `command` under /bin/sh through the peak-memory helper program at
// `helper` (see tools/PeakRss.cpp). `*peakRssKib` receives the command's peak
// resident set in KiB, or -1; the output is the command's own.
ChildResult MeasurePeakRss(const std::string& helper, const std::string& command, long* peakRssKib);

// `text` as one single-quoted shell word.
std::string ShellQuote(const std::string& text);

// `command` with every "{name}" of `values` replaced by the quoted value;
// unknown names stay as they are.
std::string ExpandPlaceholders(const std::string& command,
                               const std::map<std::string, std::string>& values);

}  // namespace bench
