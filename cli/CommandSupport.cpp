// What every subcommand uses: the one-line error, the hidden test option and
// the sidecar's Java options.
#include <cstdio>

#include "Commands.h"
#include "StatusLine.h"

namespace priamctl {

void Tell(const std::string& message) {
  StatusLine::Console().WriteLine(stderr, "priamctl: " + message + "\n");
}

int Fail(int code, const std::string& message) {
  Tell(message);
  return code;
}

int FailShowingChain(int code, const std::string& message, const std::string& chain,
                     bool showChain) {
  Fail(code, message);
  if (showChain && !chain.empty()) Fail(code, "the library's error: " + chain);
  return code;
}

void Warn(const std::string& message) {
  StatusLine::Console().WriteLine(stderr, "priamctl: warning: " + message + "\n");
}

void AddShortWaitsOption(CLI::App& command, bool& shortWaits) {
  // No group: the option is left out of --help; only the tests use it.
  command.add_flag("--short-waits-for-tests", shortWaits)->group("");
}

void AddJavaOptionsOption(CLI::App& command, std::string& javaOptions) {
  // One value, never more: CLI11 then takes the next word whatever it looks
  // like, while an option that may take none would leave "-Xmx512m" to be
  // parsed as an option of its own.
  command
      .add_option("--java-options", javaOptions,
                  "Options for the sidecar's Java command line, separated by blanks:\n"
                  "--java-options -Xmx512m, --java-options \"-Xmx512m -XX:+UseG1GC\"\n"
                  "(JAVA_TOOL_OPTIONS still applies)")
      ->type_name("OPTIONS")
      ->expected(1);
}

}  // namespace priamctl
