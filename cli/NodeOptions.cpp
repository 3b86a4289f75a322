#include "NodeOptions.h"

#include <filesystem>

#include "Commands.h"
#include "FailureRecordingLog.h"
#include "FailureText.h"
#include "SidecarStatus.h"

namespace priamctl {

namespace {

// The code of a failed initialization that found no Java executable.
constexpr long kJavaNotFound = 1168;

// The host that holds the directory, with the pid namespace it runs in when
// that is not ours (its pid there means another process here, or none).
std::string HolderText(const std::string& directory, pid_t holder) {
  ZbCassandra::PriamUtil::DirectoryReport report;
  ZbCassandra::PriamUtil::DirectoryDetails details;
  const bool elsewhere =
      !ZbCassandra::PriamUtil::reportDirectory(directory, &report, &details).IsError() &&
      report.ownerAlive && report.owner == holder && details.ownerElsewhere;
  return HostProcessText(holder, details.ownerPidThere, elsewhere);
}

}  // namespace

void AddNodeOptions(CLI::App& command, NodeOptions& options) {
  command
      .add_option("--priam-dir", options.priamDir,
                  "Priam installation directory (priam.jar, zblog4j.properties)")
      ->required()
      ->check(CLI::ExistingDirectory);
  command
      .add_option("--priam-conf-dir", options.priamConfDir,
                  "Where zbPriam.properties and zbPriamlog4j.properties are prepared\n"
                  "(the properties file is replaced by a fresh copy of the template)")
      ->required()
      ->check(CLI::ExistingDirectory);
  command
      .add_option("--cassandra-conf-dir", options.cassandraConfDir,
                  "The node's configuration directory (cassandra.yaml, cassandra-env.sh)")
      ->required()
      ->check(CLI::ExistingDirectory);
  command.add_option("--java", options.java, "Java executable (default: discovered)")
      ->check(CLI::ExistingFile);
}

std::unique_ptr<ZbCassandra::PriamUtil> MakeController(const NodeOptions& options, int port,
                                                       bool ignoreConnectionFailure,
                                                       std::string* error, std::string* chain) {
  // Absolute, since the sidecar is told where its configuration is.
  const auto absolute = [](const std::string& path) {
    return path.empty() ? path : std::filesystem::absolute(path).lexically_normal().string();
  };
  std::unique_ptr<ZbCassandra::PriamUtil> controller(new ZbCassandra::PriamUtil(
      port, options.java.c_str(), absolute(options.priamDir), absolute(options.priamConfDir),
      absolute(options.cassandraConfDir), ignoreConnectionFailure));
  if (const pid_t orphan = controller->stoppedOrphanPid()) {
    Tell("stopped the sidecar (process " + std::to_string(orphan) +
         ") that a host that died had left running for " + absolute(options.priamConfDir));
  }
  if (!controller->initFailed()) return controller;
  *chain = LastLoggedFailure();
  pid_t sidecar = 0;
  if (const pid_t holder = controller->directoryHolder(&sidecar)) {
    const std::string directory = absolute(options.priamConfDir);
    *error = "the Priam configuration directory " + directory + " belongs to another host (" +
             HolderText(directory, holder) +
             (sidecar > 0 ? ", whose sidecar is process " + std::to_string(sidecar) : "") + ")";
    return controller;
  }
  *error = "cannot initialize the controller: " + FirstCauseOfLogged(*chain);
  if (ErrorCodeOf(*chain) == kJavaNotFound) {
    *error +=
        "; give the Java executable with --java, or as sJavaPath in section "
        "[FileSystemAgent] of the configuration store (--config FILE)";
  }
  return nullptr;
}

}  // namespace priamctl
