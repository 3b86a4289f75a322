#include "CommonOptions.h"

#include <cstdlib>

#include "FailureRecordingLog.h"
#include "IntegerOption.h"
#include "OwnerOnlyLogFile.h"
#include "StreamLogWriter.h"
#include "ZBPlatformInfo.h"

namespace priamctl {

void AddCommonOptions(CLI::App& command, CommonOptions& options, bool withConfig) {
  if (withConfig) {
    command
        .add_option("--config", options.config,
                    "INI configuration store of the controller (sets ZB_PLATFORM_CONFIG)")
        ->check(CLI::ExistingFile);
  }
  command
      .add_option("--log-level", options.logLevel,
                  "Write the controller's log lines up to this level: -1 failures, 0 progress,\n"
                  "1 tracing, 2 commands, 3 file contents (default: no log)")
      ->check(IntegerInRange(-1, 3))
      ->each([&options](const std::string&) { options.logLevelGiven = true; });
  command.add_option("--log-file", options.logFile,
                     "Append log lines to this file (owner-only) instead of stderr;\n"
                     "level 0 unless --log-level says otherwise");
}

bool ApplyCommonOptions(const CommonOptions& options, std::string* error) {
  if (!options.config.empty()) {
    setenv(ZBPlatformInfo::kConfigVariable, options.config.c_str(), 1);
  }
  boost::shared_ptr<StreamLogWriter> sink;
  FILE* sinkStream = nullptr;
  if (!options.logFile.empty()) {
    const int level = options.logLevelGiven ? options.logLevel : 0;
    if (!OpenOwnerOnlyLogFile(options.logFile, level, &sink, error)) return false;
  } else if (options.logLevelGiven) {
    sink.reset(new StreamLogWriter(stderr, options.logLevel));
    sinkStream = stderr;
  }
  g_ptrLogWriter.reset(new FailureRecordingLog(sink, sinkStream));
  return true;
}

}  // namespace priamctl
