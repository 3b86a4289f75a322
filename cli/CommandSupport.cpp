// What every subcommand uses: the one-line error and the hidden test option.
#include <cstdio>

#include "Commands.h"
#include "StatusLine.h"

namespace priamctl {

int Fail(int code, const std::string& message) {
  StatusLine::Console().WriteLine(stderr, "priamctl: " + message + "\n");
  return code;
}

void Warn(const std::string& message) {
  StatusLine::Console().WriteLine(stderr, "priamctl: warning: " + message + "\n");
}

void AddShortWaitsOption(CLI::App& command, bool& shortWaits) {
  // No group: the option is left out of --help; only the tests use it.
  command.add_flag("--short-waits-for-tests", shortWaits)->group("");
}

}  // namespace priamctl
