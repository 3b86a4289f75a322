// The benchmark program behind "make bench": every comparison, then one
// table of the figures and of the targets they are held to.
//
// Own options (before or among Google Benchmark's --benchmark_* options):
//   --discover_cmd=COMMAND      command whose peak memory is the discover figure
//   --launch_cycle_cmd=COMMAND  command whose peak memory is the launch figure
// Unless given otherwise, benchmarks repeat 5 times in random interleaving
// and the table shows the median.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "BenchPlan.h"
#include "CollectingReporter.h"
#include "NodeLayout.h"

namespace {

// Takes our own options out of argv; Google Benchmark refuses unknown ones.
bench::MeasuredCommands TakeOwnOptions(int* argc, char** argv) {
  bench::MeasuredCommands commands;
  commands.discover = std::string(PRIAM_BENCH_DISCOVER) + " {node} {priam} {conf}";
  commands.launchCycle = std::string(PRIAM_BENCH_LAUNCH_CYCLE) + " {node} {priam} {conf}";
  const std::pair<const char*, std::string*> options[] = {
      {"--discover_cmd=", &commands.discover}, {"--launch_cycle_cmd=", &commands.launchCycle}};
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    bool taken = false;
    for (const auto& option : options) {
      if (std::strncmp(argv[i], option.first, std::strlen(option.first)) == 0) {
        *option.second = argv[i] + std::strlen(option.first);
        taken = true;
      }
    }
    if (!taken) argv[kept++] = argv[i];
  }
  *argc = kept;
  return commands;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::MeasuredCommands commands = TakeOwnOptions(&argc, argv);
  // Defaults first, so that the caller's options win.
  std::vector<char*> args = {argv[0]};
  char repetitions[] = "--benchmark_repetitions=5";
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  char minTime[] = "--benchmark_min_time=0.3";
  args.insert(args.end(), {repetitions, interleave, minTime});
  args.insert(args.end(), argv + 1, argv + argc);
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

  try {
    bench::NodeLayout layout(PRIAM_STANDIN_JAR);
    layout.UseStore();
    // A host's configuration store was written long before its requests;
    // one just written is read again at every lookup for a second or two.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    bench::BenchPlan plan;
    bench::RegisterRestBenchmarks(layout, &plan);
    bench::RegisterConstructionBenchmarks(layout, &plan);
    bench::RegisterPropertiesBenchmarks(layout, &plan);
    bench::RegisterYamlBenchmarks(layout, &plan);
    bench::RegisterExitBenchmarks(layout, &plan);
    bench::RegisterHostDeathBenchmarks(layout, &plan);
    bench::RegisterGuardianCostBenchmarks(layout, &plan);
    bench::RegisterCancelBenchmarks(layout, &plan);
    bench::RegisterMemoryBenchmarks(layout, commands, &plan);

    bench::CollectingReporter reporter(plan.baselines);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::cout << bench::FormatTable(reporter.Results(), plan.order, plan.targets);
  } catch (const std::exception& error) {
    std::cerr << "priam_bench: " << error.what() << "\n";
    return 1;
  }
  benchmark::Shutdown();
  return 0;
}
