#include "CommonOptions.h"

#include <cstdlib>

#include "FailureRecordingLog.h"
#include "InputChecks.h"
#include "IntegerOption.h"
#include "OwnerOnlyLogFile.h"
#include "StreamLogWriter.h"
#include "ZBPlatformInfo.h"

namespace priamctl {

namespace {

int LogFileLevel(const CommonOptions& options) {
  return options.logLevelGiven ? options.logLevel : 0;
}

}  // namespace

void AddCommonOptions(CLI::App& command, CommonOptions& options) {
  command.add_option("--config", options.config,
                     "INI configuration store of the controller (sets ZB_PLATFORM_CONFIG)");
  command
      .add_option("--log-level", options.logLevel,
                  "Write the controller's log lines up to this level: -1 failures, 0 progress,\n"
                  "1 tracing, 2 commands, 3 file contents (default: no log)")
      ->check(IntegerInRange(-1, 3))
      ->each([&options](const std::string&) { options.logLevelGiven = true; });
  command.add_flag("--verbose", options.verbose,
                   "On failure, show the library's whole error chain after its first cause");
  command.add_option("--log-file", options.logFile,
                     "Append log lines to this file instead of stderr; it is made owner-only,\n"
                     "and a directory or a symbolic link is refused;\n"
                     "level 0 unless --log-level says otherwise");
}

bool ApplyCommonOptions(const CommonOptions& options, std::string* error) {
  if (!options.config.empty()) {
    if (!CheckStoreFile(options.config, error)) return false;
    setenv(ZBPlatformInfo::kConfigVariable, options.config.c_str(), 1);
  }
  boost::shared_ptr<StreamLogWriter> sink;
  FILE* sinkStream = nullptr;
  if (!options.logFile.empty()) {
    if (!OpenOwnerOnlyLogFile(options.logFile, LogFileLevel(options), &sink, error)) return false;
  } else if (options.logLevelGiven) {
    sink.reset(new StreamLogWriter(stderr, options.logLevel));
    sinkStream = stderr;
  }
  g_ptrLogWriter.reset(new FailureRecordingLog(sink, sinkStream));
  return true;
}

bool ReopenLogFile(const CommonOptions& options, std::string* error) {
  const boost::shared_ptr<CLogWriterInterface> installed = g_ptrLogWriter;
  auto* log = dynamic_cast<FailureRecordingLog*>(installed.get());
  if (!log || options.logFile.empty()) {
    *error = "there is no --log-file to reopen";
    return false;
  }
  boost::shared_ptr<StreamLogWriter> sink;
  if (!OpenOwnerOnlyLogFile(options.logFile, LogFileLevel(options), &sink, error)) return false;
  log->ReplaceSink(sink);
  // The first line of the new file says why it begins here.
  log->Write(0, __PRETTY_FUNCTION__, __LINE__, 0, 0, "Reopened the log file %s at SIGHUP",
             options.logFile.c_str());
  return true;
}

}  // namespace priamctl
