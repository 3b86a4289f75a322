// Constructing a controller on a node with the machine's real tools, against
// the shell commands that construction runs, run alone, turn about.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Processes beside the node's own, as on a busy host: construction scans the
// whole process table for the directory's sidecars.
constexpr int kExtraProcesses = 3000;

// `count` sleeping processes, killed and reaped when the object goes.
class ExtraProcesses {
 public:
  explicit ExtraProcesses(int count) {
    for (int i = 0; i < count; ++i) {
      const pid_t pid = fork();
      if (pid == 0) {
        // A command line of its own, as a real process has one.
        execl("/bin/sleep", "sleep", "3600", static_cast<char*>(nullptr));
        _exit(127);
      }
      if (pid > 0) m_pids.push_back(pid);
    }
  }
  ~ExtraProcesses() {
    for (const pid_t pid : m_pids) kill(pid, SIGKILL);
    for (const pid_t pid : m_pids) waitpid(pid, nullptr, 0);
  }
  ExtraProcesses(const ExtraProcesses&) = delete;
  ExtraProcesses& operator=(const ExtraProcesses&) = delete;

 private:
  std::vector<pid_t> m_pids;
};

// A construction that is given its Java (the usual host) beside 3000 extra
// processes, against one "ps -ef" there: the scan for sidecars must stay
// about what reading the process table once costs.
void ConstructBesideProcesses(benchmark::State& state, const NodeLayout& layout) {
  const ExtraProcesses extra(kExtraProcesses);
  const std::string java = "/bin/true";
  RunPaired(
      state,
      [&layout, &java] {
        ZbCassandra::PriamUtil controller(0, CYrString(java), layout.priamDir(), layout.confDir(),
                                          layout.nodeDir(), false);
        return controller.initFailed() ? std::string("construction failed") : std::string();
      },
      [] {
        const ChildResult result = RunShell("ps -ef", true);
        return result.status == 0 ? std::string() : std::string("cannot run ps -ef");
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

  benchmark::RegisterBenchmark(
      "construct/PriamUtil_beside_3000_processes",
      [node](benchmark::State& state) { ConstructBesideProcesses(state, *node); })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  plan->baselines["construct/PriamUtil_beside_3000_processes"] = "construct/ps_ef_beside_3000";
  plan->order.insert(plan->order.end(),
                     {"construct/PriamUtil_beside_3000_processes", "construct/ps_ef_beside_3000"});
  plan->targets.push_back({"construct/PriamUtil_beside_3000_processes",
                           "construct/ps_ef_beside_3000", Target::Kind::kRatio, 1.0, 1});
}

}  // namespace bench
