// priamctl demo: the whole story on the sample files and the stand-in
// sidecar, narrated, inside a temporary directory that is removed after.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "Commands.h"
#include "DemoAssets.h"
#include "DemoWorkspace.h"
#include "ExitCodes.h"
#include "FailureText.h"
#include "JsonOutput.h"
#include "NodeFacts.h"
#include "ReadableFile.h"
#include "TableOutput.h"
#include "ZBPlatformInfo.h"

namespace priamctl {

namespace {

using Properties = std::map<std::string, std::string>;

// Made-up credentials: the demo shows that they reach the sidecar and then
// leave the file.
const Properties kDemoSecrets = {{"priam.cqluserpassword", "demo-Cql-Pa55word"},
                                 {"priam.jmx.token", "demo-Jmx-T0ken"},
                                 {"priam.keystore.password", "demo-Keystore-Pa55"},
                                 {"priam.truststore.password", "demo-Truststore-Pa55"}};

// The lines of `content` whose key the demo wrote, indented, the secret
// values masked.
std::string ShownProperties(const std::string& content, const Properties& written) {
  std::istringstream lines(content);
  std::string shown;
  std::string line;
  while (std::getline(lines, line)) {
    const std::string key = line.substr(0, line.find('='));
    if (written.count(key) == 0) continue;
    shown += "    " + (kDemoSecrets.count(key) ? key + "=********" : line) + "\n";
  }
  return shown;
}

std::string Indented(const std::string& text) {
  std::istringstream lines(text);
  std::string indented;
  for (std::string line; std::getline(lines, line);) indented += "    " + line + "\n";
  return indented;
}

// The secret keys or values still in `content`.
std::vector<std::string> SecretsLeft(const std::string& content) {
  std::vector<std::string> left;
  for (const auto& secret : kDemoSecrets) {
    if (content.find(secret.first) != std::string::npos ||
        content.find(secret.second) != std::string::npos) {
      left.push_back(secret.first);
    }
  }
  return left;
}

void Step(int number, const std::string& text) {
  printf("\n[%d/6] %s\n", number, text.c_str());
  fflush(stdout);
}

Properties DemoProperties(const ZbCassandra::PriamUtil& controller) {
  Properties properties = kDemoSecrets;
  properties["priam.cqlhost"] = controller.cqlHost().empty() ? "127.0.0.1" : controller.cqlHost();
  properties["priam.cqlport"] = controller.cqlPort();
  properties["priam.jmx.port"] = controller.jmxPort();
  properties["priam.cqlusername"] = "demo";
  properties["priam.jmx.user"] = "demo";
  return properties;
}

class Demo {
 public:
  Demo(const DemoOptions& options, SignalWatcher& signals, const DemoWorkspace& workspace,
       const DemoAssets& assets)
      : m_options(options), m_signals(signals), m_workspace(workspace), m_assets(assets) {}

  int Run() {
    printf("PriamUtil demo: a sample node, the stand-in sidecar, everything in\n  %s\n",
           m_workspace.root().c_str());
    if (!m_options.common.config.empty()) {
      printf("  with the settings of %s\n  (the template and log directories stay the demo's)\n",
             m_options.common.config.c_str());
    }
    int code = Discover();
    if (code == kExitOk) code = WriteProperties();
    if (code == kExitOk) code = LaunchAndAsk();
    if (m_controller && m_controller->priamStarted()) {
      const int stopped = StopSidecar();
      if (code == kExitOk) code = stopped;
    }
    if (m_signals.Received() != 0) {
      return Fail(kExitSignalBase + m_signals.Received(),
                  "stopped by signal " + std::to_string(m_signals.Received()));
    }
    return code;
  }

 private:
  bool ShowChain() const { return m_options.common.ShowsErrorChain(); }
  std::string PropertiesPath() const { return m_workspace.confDir() + "/zbPriam.properties"; }

  int Discover() {
    Step(1,
         "Discovery: the controller reads the node's cassandra.yaml and cassandra-env.sh\n"
         "      and prepares zbPriam.properties from its template.");
    NodeOptions node{m_workspace.priamDir(), m_workspace.confDir(), m_workspace.nodeDir(),
                     m_assets.java};
    std::string error;
    std::string chain;
    m_controller = MakeController(node, 0, false, &error, &chain);
    if (!m_controller) return FailShowingChain(kExitFailed, error, chain, ShowChain());
    if (m_controller->initFailed()) return Fail(kExitFailed, error);
    m_controller->setJavaOptions(m_options.javaOptions);
    const NodeFacts facts = GatherNodeFacts(*m_controller, m_workspace.nodeDir());
    std::istringstream table(NodeFactsTable(facts));
    for (std::string line; std::getline(table, line);) printf("    %s\n", line.c_str());
    for (const std::string& failure : facts.errors) Fail(kExitFailed, failure);
    return facts.errors.empty() ? kExitOk : kExitFailed;
  }

  int WriteProperties() {
    Step(2,
         "Properties: the host writes the connection properties and demo credentials\n"
         "      into zbPriam.properties (owner-only; the secrets masked here):");
    m_written = DemoProperties(*m_controller);
    const CYrError written = m_controller->writePriamProperties(m_written);
    if (written.IsError()) {
      return FailShowingChain(kExitFailed,
                              "cannot write the sidecar's properties: " + FirstCause(written),
                              written.AsString(), ShowChain());
    }
    fputs(ShownProperties(ReadText(PropertiesPath()), m_written).c_str(), stdout);
    if (m_controller->cqlHost().empty()) {
      printf(
          "    priam.cqlhost is the demo's own choice, %s: nothing listens on the CQL port\n"
          "    (step 1), so no address was found to give the sidecar.\n",
          m_written["priam.cqlhost"].c_str());
    }
    return kExitOk;
  }

  int LaunchAndAsk() {
    Step(3,
         "Launch: the controller starts the sidecar on a free port, finds it in the\n"
         "      process table and waits 30 seconds before it asks \"info\".");
    SidecarSession session(*m_controller, m_signals, m_options.shortWaits, stdout);
    const CYrError launched = session.Launch();
    if (m_signals.Received() != 0) return kExitSignalBase + m_signals.Received();
    if (launched.IsError()) {
      return FailShowingChain(kExitFailed, session.DescribeLaunchFailure(launched),
                              launched.AsString(), ShowChain());
    }
    m_pid = m_controller->priamPid();
    printf("    Sidecar pid %d answers on port %d.\n", static_cast<int>(m_pid),
           m_controller->priamPort());

    Step(4, "The \"info\" reply: secrets_present shows the sidecar read the credentials.");
    std::string reply;
    const CYrError sent = session.Send({ZbCassandra::requestType::Get, "info", ""}, &reply);
    if (m_signals.Received() != 0) return kExitSignalBase + m_signals.Received();
    if (sent.IsError()) {
      return FailShowingChain(kExitFailed, "GET info failed: " + DescribeRequestFailure(sent),
                              sent.AsString(), ShowChain());
    }
    fputs(Indented(PrettyReply(reply)).c_str(), stdout);

    Step(5, "Secrets: the launch is over; of what the host wrote, the file keeps:");
    const std::string content = ReadText(PropertiesPath());
    const std::vector<std::string> left = SecretsLeft(content);
    fputs(ShownProperties(content, m_written).c_str(), stdout);
    if (!left.empty()) return Fail(kExitFailed, "secret still in the file: " + left.front());
    printf("    None of the %zu secrets is left in the file.\n", kDemoSecrets.size());
    return kExitOk;
  }

  int StopSidecar() {
    Step(6, "Stop: the controller kills the sidecar and reaps it.");
    const CYrError stopped = m_controller->stopPriam();
    if (stopped.IsError()) {
      return FailShowingChain(kExitFailed, "cannot stop the sidecar: " + FirstCause(stopped),
                              stopped.AsString(), ShowChain());
    }
    const bool gone = m_pid <= 0 || (kill(m_pid, 0) != 0 && errno == ESRCH);
    printf("    Sidecar pid %d is %s.\n", static_cast<int>(m_pid), gone ? "gone" : "STILL THERE");
    return gone ? kExitOk : kExitFailed;
  }

  const DemoOptions& m_options;
  SignalWatcher& m_signals;
  const DemoWorkspace& m_workspace;
  const DemoAssets& m_assets;
  std::unique_ptr<ZbCassandra::PriamUtil> m_controller;
  Properties m_written;
  pid_t m_pid = 0;
};

}  // namespace

CLI::App* AddDemoCommand(CLI::App& app, DemoOptions& options) {
  CLI::App* command = app.add_subcommand(
      "demo",
      "Run the whole story on the bundled sample node and the stand-in sidecar, in a\n"
      "temporary directory removed afterwards: discovery, properties with demo\n"
      "credentials, launch, the \"info\" reply, the secrets gone from the file, stop.\n"
      "Needs no root; takes about 35 seconds.");
  AddShortWaitsOption(*command, options.shortWaits);
  AddJavaOptionsOption(*command, options.javaOptions);
  AddCommonOptions(*command, options.common);
  command->get_option("--config")
      ->description(
          "INI configuration store to start the demo's own from (its template and log\n"
          "directories stay the demo's)");
  command->footer(kExitCodeHelp);
  return command;
}

int RunDemo(const DemoOptions& options, SignalWatcher& signals) {
  std::string error;
  DemoAssets assets;
  if (!FindDemoAssets(&assets, &error)) return Fail(kExitFailed, error);
  if (!ApplyCommonOptions(options.common, &error)) return Fail(kExitUsage, error);
  int code = kExitOk;
  std::string root;
  {
    const DemoWorkspace workspace(assets, options.common.config);
    root = workspace.root();
    setenv(ZBPlatformInfo::kConfigVariable, workspace.configFile().c_str(), 1);
    code = Demo(options, signals, workspace, assets).Run();
  }
  printf("\nRemoved %s.\n", root.c_str());
  return code;
}

}  // namespace priamctl
