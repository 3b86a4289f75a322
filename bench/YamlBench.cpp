// The node queries on YAML files of growing length, against sed extracting
// the same values from the same file.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cmath>
#include <string>
#include <vector>

#include "BenchPlan.h"
#include "ChildRun.h"
#include "InputFiles.h"
#include "PriamUtil.h"

namespace bench {

namespace {

constexpr size_t kSizes[] = {1000, 10000, 100000, 1000000};

// The node directory holding the YAML file of `lines` lines, made once.
std::string NodeWithYaml(const NodeLayout& layout, size_t lines) {
  const std::string dir = layout.root() + "/yaml-" + std::to_string(lines);
  struct stat info;
  if (stat(dir.c_str(), &info) != 0) {
    mkdir(dir.c_str(), 0700);
    WriteTextFile(dir + "/cassandra.yaml", YamlText(lines));
    CopyTextFile(layout.nodeDir() + "/cassandra-env.sh", dir + "/cassandra-env.sh");
  }
  return dir;
}

using Query = CYrError (*)(ZbCassandra::PriamUtil& controller, std::vector<std::string>& found);

void RunQuery(benchmark::State& state, const NodeLayout& layout, size_t lines,
              const std::vector<std::string>& expected, Query query) {
  ZbCassandra::PriamUtil controller(0, CYrString("/usr/bin/java"), layout.priamDir(),
                                    layout.confDir(), NodeWithYaml(layout, lines), false);
  for (auto _ : state) {
    std::vector<std::string> found;
    const CYrError error = query(controller, found);
    if (error.IsError() || found != expected) {
      state.SkipWithError(("wrong answer: " + error.AsString()).c_str());
      break;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines));
}

void SedQuery(benchmark::State& state, const NodeLayout& layout, size_t lines,
              const std::string& script) {
  const std::vector<std::string> command = {"sed", "-n", script,
                                            NodeWithYaml(layout, lines) + "/cassandra.yaml"};
  for (auto _ : state) {
    const ChildResult result = RunChild(command, true);
    if (result.status != 0 || result.output.empty()) {
      state.SkipWithError("sed failed");
      break;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines));
}

std::string Name(const std::string& what, size_t lines) {
  return "yaml/" + what + "/" + std::to_string(lines);
}

struct YamlQuery {
  const char* name;
  Query run;
  const std::vector<std::string>& (*expected)();
  const char* sedName;
  const char* sedScript;  // prints what the query answers
};

const YamlQuery kQueries[] = {
    {"getCassandraDataDir",
     [](ZbCassandra::PriamUtil& c, std::vector<std::string>& found) {
       return c.getCassandraDataDir(found);
     },
     &YamlDataDirs, "sed_data_dirs", "/^data_file_directories:/,/^[a-z]/s/^ *- *//p"},
    {"getCassandraSeeds",
     [](ZbCassandra::PriamUtil& c, std::vector<std::string>& found) {
       return c.getCassandraSeeds(&found);
     },
     &YamlSeeds, "sed_seeds", "s/^.*- seeds: *\"\\(.*\\)\"/\\1/p"},
};

void Register(const NodeLayout* node, const YamlQuery& query, size_t lines) {
  benchmark::RegisterBenchmark(Name(query.name, lines).c_str(),
                               [node, query, lines](benchmark::State& state) {
                                 RunQuery(state, *node, lines, query.expected(), query.run);
                               })
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  const std::string script = query.sedScript;
  benchmark::RegisterBenchmark(
      Name(query.sedName, lines).c_str(),
      [node, lines, script](benchmark::State& state) { SedQuery(state, *node, lines, script); })
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

void RegisterYamlBenchmarks(const NodeLayout& layout, BenchPlan* plan) {
  for (const YamlQuery& query : kQueries) {
    for (size_t i = 0; i < sizeof kSizes / sizeof kSizes[0]; ++i) {
      const size_t lines = kSizes[i];
      Register(&layout, query, lines);
      plan->order.push_back(Name(query.name, lines));
      plan->order.push_back(Name(query.sedName, lines));
      plan->targets.push_back(
          {Name(query.name, lines), Name(query.sedName, lines), Target::Kind::kRatio, 1.0, 1});
      if (i > 0) {
        plan->targets.push_back({Name(query.name, lines), Name(query.name, kSizes[i - 1]),
                                 Target::Kind::kGrowthPerDecade, 12,
                                 std::log10(static_cast<double>(lines) / kSizes[i - 1])});
      }
    }
  }
}

}  // namespace bench
