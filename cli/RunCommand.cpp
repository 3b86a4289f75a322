// priamctl run: write the properties, start the sidecar, send requests,
// stop it (or keep it until Ctrl-C / SIGTERM).
//
// A run with --log-file is how priamctl runs as a service, so SIGHUP is a
// daemon's there: logrotate moved the file away, the lines go on into a new
// one. A run without one is a terminal's, and its hang-up ends the run.
#include <cstdio>
#include <map>

#include "Commands.h"
#include "ExitCodes.h"
#include "FailureText.h"
#include "InputChecks.h"
#include "IntegerOption.h"
#include "JsonOutput.h"
#include "LocalPort.h"
#include "NodeValueChecks.h"

namespace priamctl {

namespace {

using Properties = std::map<std::string, std::string>;

// The connection properties the controller found, under what the user
// gave, which wins.
Properties WithDiscoveredConnection(const ZbCassandra::PriamUtil& controller, Properties given) {
  Properties properties;
  if (!controller.cqlHost().empty()) properties["priam.cqlhost"] = controller.cqlHost();
  if (!controller.cqlPort().empty()) properties["priam.cqlport"] = controller.cqlPort();
  if (!controller.jmxPort().empty()) properties["priam.jmx.port"] = controller.jmxPort();
  for (auto& property : given) properties[property.first] = std::move(property.second);
  return properties;
}

void AddRequestOptions(CLI::App& command, RunOptions& options) {
  command
      .add_option_function<std::string>(
          "--request",
          [&options](const std::string& operation) {
            // An empty operation would ask for the operations' root.
            if (operation.empty()) {
              throw CLI::ValidationError("--request", "the operation is empty");
            }
            options.requests.push_back({ZbCassandra::requestType::Get, operation, ""});
          },
          "GET this operation (for example \"info\") once the sidecar answers; repeatable,\n"
          "sent in command-line order with --post, each reply printed on stdout")
      ->trigger_on_parse()
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command
      .add_option_function<std::string>(
          "--post",
          [&options](const std::string& text) {
            const size_t equals = text.find('=');
            if (equals == std::string::npos || equals == 0) {
              throw CLI::ValidationError("--post", "wants OPERATION=BODY");
            }
            options.requests.push_back(
                {ZbCassandra::requestType::Post, text.substr(0, equals), text.substr(equals + 1)});
          },
          "POST BODY to OPERATION (OPERATION=BODY); repeatable")
      ->trigger_on_parse()
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void WarnOfSecretsOnTheCommandLine(const PropertySources& sources) {
  std::string keys;
  for (const std::string& key : SecretKeysGivenInline(sources)) {
    keys += (keys.empty() ? "" : ", ") + key;
  }
  if (keys.empty()) return;
  Warn("--property " + keys +
       ": every user can read a command line; give secrets with --property-from-env, "
       "--property-from-file or --properties-file");
}

// An empty password or token is most likely an empty file or variable
// given by mistake; the sidecar would log in without it.
void WarnOfEmptySecrets(const Properties& properties) {
  for (const std::string& key : EmptySecretKeys(properties)) {
    Warn(key + " is empty; check the file or variable it comes from");
  }
}

// With a log file, SIGHUP opens it anew and the run goes on.
void ReopenLogFileOnHangUp(const CommonOptions& common, SignalWatcher& signals) {
  if (common.logFile.empty()) return;
  signals.OnHangUp([common] {
    // On the watcher's thread, which must go on watching whatever happens.
    try {
      std::string error;
      if (!ReopenLogFile(common, &error)) {
        Warn("at SIGHUP, " + error + "; log lines go on into the file opened before");
      }
    } catch (...) {
    }
  });
}

// Stop the sidecar after a signal; the exit code tells which signal.
int Interrupted(SidecarSession& session) {
  session.Stop();
  const int signal = session.Interrupted();
  Fail(kExitSignalBase + signal,
       "stopped by signal " + std::to_string(signal) + "; the sidecar is stopped");
  return kExitSignalBase + signal;
}

int Stopped(SidecarSession& session, bool showChain) {
  const CYrError stopped = session.Stop();
  if (stopped.IsError()) {
    return FailShowingChain(kExitFailed, "cannot stop the sidecar: " + FirstCause(stopped),
                            stopped.AsString(), showChain);
  }
  fprintf(stderr, "Sidecar stopped.\n");
  return kExitOk;
}

// The reply as the sidecar sent it (or indented, when asked), on a line of
// its own.
void PrintReply(const std::string& reply, bool pretty) {
  const std::string text = pretty ? PrettyReply(reply) : reply;
  fwrite(text.data(), 1, text.size(), stdout);
  if (text.back() != '\n') fputc('\n', stdout);
  fflush(stdout);
}

// Send every request in turn; stop at the first failure.
int SendRequests(const RunOptions& options, SidecarSession& session) {
  for (const SidecarRequest& request : options.requests) {
    fprintf(stderr, "%s\n", RequestName(request).c_str());
    std::string reply;
    const CYrError sent = session.Send(request, &reply);
    if (session.Interrupted()) return -1;
    if (!reply.empty()) PrintReply(reply, options.pretty);
    if (sent.IsError()) {
      return FailShowingChain(kExitFailed,
                              RequestName(request) + " failed: " + DescribeRequestFailure(sent),
                              sent.AsString(), options.common.ShowsErrorChain());
    }
  }
  return kExitOk;
}

}  // namespace

CLI::App* AddRunCommand(CLI::App& app, RunOptions& options) {
  CLI::App* command = app.add_subcommand(
      "run",
      "Write the sidecar's properties, start it, send requests, then stop it.\n"
      "The CQL host and port and the JMX port found on the node are written unless\n"
      "given; the passwords leave zbPriam.properties once the launch is over.\n"
      "Give passwords with --property-from-env, --property-from-file or an owner-only\n"
      "--properties-file, never with --property (every user can read a command line).\n"
      "Ctrl-C, SIGTERM or SIGHUP stops the sidecar and ends the run; with --log-file,\n"
      "SIGHUP reopens the log file instead (logrotate moved it away) and the run goes on.");
  AddNodeOptions(*command, options.node);
  command->add_option("--port", options.port, "Sidecar port (default: a free one)")
      ->check(IntegerInRange(1, 65535));
  AddPropertyOptions(*command, options.properties);
  command->add_flag("--ignore-connection-failure", options.ignoreConnectionFailure,
                    "Keep a sidecar that started but did not answer");
  AddRequestOptions(*command, options);
  command->add_flag("--pretty", options.pretty,
                    "Indent replies that are JSON objects or arrays (keys in the order sent);\n"
                    "without it each reply is printed as the sidecar sent it");
  command->add_flag("--keep-running", options.keepRunning,
                    "Keep the sidecar running until Ctrl-C, SIGTERM or SIGHUP, then stop it\n"
                    "(with --log-file, until Ctrl-C or SIGTERM: SIGHUP reopens the log file)");
  AddJavaOptionsOption(*command, options.javaOptions);
  AddShortWaitsOption(*command, options.shortWaits);
  AddCommonOptions(*command, options.common);
  command->footer(kExitCodeHelp);
  return command;
}

int RunRun(const RunOptions& options, SignalWatcher& signals) {
  std::string error;
  if (!ApplyCommonOptions(options.common, &error)) return Fail(kExitUsage, error);
  ReopenLogFileOnHangUp(options.common, signals);
  Properties given;
  if (!CollectProperties(options.properties, &given, &error) ||
      !CheckNodeInputs(options.node, &error) || !CheckSidecarJar(options.node, &error) ||
      !CheckNodeValues(NodeValuesInFiles(options.node.cassandraConfDir), given, &error)) {
    return Fail(kExitUsage, error);
  }
  WarnOfSecretsOnTheCommandLine(options.properties);
  WarnOfEmptySecrets(given);
  if (options.port != 0 && !PortIsFree(options.port)) {
    return Fail(kExitFailed,
                "port " + std::to_string(options.port) + " on 127.0.0.1 is already in use");
  }

  const bool showChain = options.common.ShowsErrorChain();
  std::string chain;
  auto controller =
      MakeController(options.node, options.port, options.ignoreConnectionFailure, &error, &chain);
  if (signals.Received() != 0) return kExitSignalBase + signals.Received();
  if (!controller) return FailShowingChain(kExitFailed, error, chain, showChain);
  if (controller->initFailed()) {
    return Fail(kExitFailed, error + "; stop that process first, or give another --priam-conf-dir");
  }
  // The files may have changed since they were checked; what the controller
  // found is what would be written.
  if (!CheckNodeValues(NodeValuesOf(*controller, options.node.cassandraConfDir), given, &error)) {
    return Fail(kExitUsage, error);
  }
  controller->setJavaOptions(options.javaOptions);
  const CYrError written =
      controller->writePriamProperties(WithDiscoveredConnection(*controller, std::move(given)));
  if (written.IsError()) {
    return FailShowingChain(kExitFailed,
                            "cannot write the sidecar's properties: " + FirstCause(written),
                            written.AsString(), showChain);
  }

  SidecarSession session(*controller, signals, options.shortWaits, stderr);
  const CYrError launched = session.Launch();
  if (session.Interrupted()) return Interrupted(session);
  if (launched.IsError()) {
    session.Stop();
    return FailShowingChain(kExitFailed, session.DescribeLaunchFailure(launched),
                            launched.AsString(), showChain);
  }
  fprintf(stderr, "Sidecar answering on port %d (pid %d).\n", controller->priamPort(),
          static_cast<int>(controller->priamPid()));

  const int sent = SendRequests(options, session);
  if (session.Interrupted()) return Interrupted(session);
  if (sent != kExitOk) {
    session.Stop();
    return sent;
  }
  if (options.keepRunning) {
    fputs(options.common.logFile.empty()
              ? "Keeping the sidecar running; Ctrl-C, SIGTERM or SIGHUP stops it.\n"
              : "Keeping the sidecar running; Ctrl-C or SIGTERM stops it, SIGHUP reopens the "
                "log file.\n",
          stderr);
    if (session.WaitWhileRunning() == 0) {
      std::string how;
      controller->priamExited(&how);
      session.Stop();
      return Fail(kExitFailed, DescribeUnaskedEnd(how));
    }
  }
  return Stopped(session, showChain);
}

}  // namespace priamctl
