// Constructing a controller on a node with the machine's real tools, against
// the shell commands that construction runs, run alone, turn about.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "BenchPlan.h"
#include "ChildRun.h"
#include "PairedRun.h"
#include "PriamUtil.h"

namespace bench {

namespace {

// What construction runs on a host with no node process and a Java on PATH:
// the search for the node's pid file, the Java lookup and the search for the
// CQL listener on the port of the YAML file.
const std::vector<std::string>& ConstructionCommands() {
  static const std::vector<std::string> commands = {
      "ps -ef | grep -o \"\\-Dcassandra-pidfile=.*\\s\"",
      "which java",
      "netstat -ln | grep -w 9042 | awk '{print $4}'",
  };
  return commands;
}

void ConstructVsShell(benchmark::State& state, const NodeLayout& layout) {
  RunPaired(
      state,
      [&layout] {
        ZbCassandra::PriamUtil controller(0, CYrString(""), layout.priamDir(), layout.confDir(),
                                          layout.nodeDir(), false);
        const bool ok = !controller.initFailed() && !controller.javaPath().IsEmpty();
        return ok ? std::string() : std::string("construction failed");
      },
      [] {
        for (const std::string& command : ConstructionCommands()) {
          const ChildResult result = RunShell(command, true);
          if (result.status < 0) return "cannot run " + command;
        }
        return std::string();
      });
}

}  // namespace

void RegisterConstructionBenchmarks(const NodeLayout& layout, BenchPlan* plan) {
  const NodeLayout* node = &layout;
  benchmark::RegisterBenchmark("construct/PriamUtil",
                               [node](benchmark::State& state) { ConstructVsShell(state, *node); })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  plan->baselines["construct/PriamUtil"] = "construct/sh_commands_alone";
  plan->order.insert(plan->order.end(), {"construct/PriamUtil", "construct/sh_commands_alone"});
  plan->targets.push_back(
      {"construct/PriamUtil", "construct/sh_commands_alone", Target::Kind::kRatio, 1.2, 1});
}

}  // namespace bench
