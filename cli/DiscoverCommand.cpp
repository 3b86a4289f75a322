// priamctl discover: what the controller finds out about the node.
#include <cstdio>

#include "Commands.h"
#include "ExitCodes.h"
#include "InputChecks.h"
#include "JsonOutput.h"
#include "NodeFacts.h"
#include "TableOutput.h"

namespace priamctl {

CLI::App* AddDiscoverCommand(CLI::App& app, DiscoverOptions& options) {
  CLI::App* command = app.add_subcommand(
      "discover",
      "Print what the controller finds out about the node: Java, YAML file, flavor,\n"
      "CQL port and host, JMX port, data directories, seeds. Replaces zbPriam.properties\n"
      "in --priam-conf-dir with a fresh copy of its template, as every controller does.");
  AddNodeOptions(*command, options.node);
  command->add_flag("--json", options.json, "Print one JSON object instead of a table");
  AddCommonOptions(*command, options.common);
  command->footer(kExitCodeHelp);
  return command;
}

int RunDiscover(const DiscoverOptions& options, SignalWatcher& signals) {
  std::string error;
  if (!ApplyCommonOptions(options.common, &error) || !CheckNodeInputs(options.node, &error)) {
    return Fail(kExitUsage, error);
  }
  std::string chain;
  auto controller = MakeController(options.node, 0, false, &error, &chain);
  if (signals.Received() != 0) return kExitSignalBase + signals.Received();
  if (!controller) {
    return FailShowingChain(kExitFailed, error, chain, options.common.ShowsErrorChain());
  }

  const NodeFacts facts = GatherNodeFacts(*controller, options.node.cassandraConfDir);
  if (options.json) {
    printf(
        "%s\n",
        NodeFactsJson(facts).dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  } else {
    fputs(NodeFactsTable(facts).c_str(), stdout);
  }
  fflush(stdout);
  // A report, not a failure: run is where such a value is refused.
  for (const NodeValueProblem& problem : facts.invalid) Warn(problem.text);
  for (const std::string& failure : facts.errors) Fail(kExitFailed, failure);
  // Found all the same; that host's files are not ours to touch.
  if (controller->initFailed()) Tell(error + "; its files were left as they are");
  return facts.errors.empty() ? kExitOk : kExitFailed;
}

}  // namespace priamctl
