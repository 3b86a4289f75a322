// What a benchmark run measures and promises: each group registers its
// benchmarks with Google Benchmark and adds their names (in table order)
// and their targets here.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "NodeLayout.h"
#include "TargetTable.h"

namespace bench {

struct BenchPlan {
  std::vector<std::string> order;
  std::vector<Target> targets;
  // Benchmarks run with RunPaired: the name the baseline is reported under.
  std::map<std::string, std::string> baselines;
};

// Commands whose peak memory is measured; see MemoryBench.cpp for the
// placeholders they may use.
struct MeasuredCommands {
  std::string discover;
  std::string launchCycle;
};

void RegisterRestBenchmarks(const NodeLayout& layout, BenchPlan* plan);
void RegisterConstructionBenchmarks(const NodeLayout& layout, BenchPlan* plan);
void RegisterPropertiesBenchmarks(const NodeLayout& layout, BenchPlan* plan);
void RegisterYamlBenchmarks(const NodeLayout& layout, BenchPlan* plan);
void RegisterExitBenchmarks(const NodeLayout& layout, BenchPlan* plan);
void RegisterGuardianCostBenchmarks(const NodeLayout& layout, BenchPlan* plan);
void RegisterHostDeathBenchmarks(const NodeLayout& layout, BenchPlan* plan);
void RegisterCancelBenchmarks(const NodeLayout& layout, BenchPlan* plan);
void RegisterMemoryBenchmarks(const NodeLayout& layout, const MeasuredCommands& commands,
                              BenchPlan* plan);

}  // namespace bench
