// What the guardian adds to a launch: one launch cycle of the stand-in
// sidecar in a host process of its own, with the shipped library, against
// the same cycle with a copy of the library that has no guardian beside it
// (the library then launches as it did before there was one). The times are
// the host's own, as it prints them: all of startPriam (its wait lasting
// only until the sidecar listens), and the part before that wait, where the
// guardian is started; the JVM's start makes the first the noisier. And the
// host's first write of its credentials, where the guardian of the secrets
// is started.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "BenchPlan.h"
#include "ChildRun.h"
#include "PairedRun.h"

namespace bench {

namespace {

// The library alone in a directory of its own, under the name hosts load.
std::string LibraryWithoutGuardian(const NodeLayout& layout) {
  const std::string directory = layout.root() + "/library-without-guardian";
  mkdir(directory.c_str(), 0700);
  std::ifstream from(PRIAM_BENCH_LIBRARY, std::ios::binary);
  std::ofstream to(directory + "/" + PRIAM_BENCH_LIBRARY_SONAME, std::ios::binary);
  to << from.rdbuf();
  return directory;
}

// `marker` is the line's start, "NAME=", of the time the host printed.
std::string LaunchSeconds(const std::vector<std::string>& argv, const std::string& marker,
                          double* seconds) {
  const ChildResult result = RunChild(argv, true);
  const size_t at = result.output.find("\n" + marker);
  if (result.status != 0 || at == std::string::npos) {
    return "the launch cycle failed with exit status " + std::to_string(result.status);
  }
  *seconds = std::stod(result.output.substr(at + 1 + marker.size()));
  return std::string();
}

void LaunchWithAndWithout(benchmark::State& state, const NodeLayout& layout,
                          const std::string& confDir, const std::string& libraryDir,
                          const std::string& marker) {
  const std::vector<std::string> cycle = {PRIAM_BENCH_LAUNCH_CYCLE, layout.nodeDir(),
                                          layout.priamDir(), confDir};
  std::vector<std::string> unguarded = {"env", "LD_LIBRARY_PATH=" + libraryDir};
  unguarded.insert(unguarded.end(), cycle.begin(), cycle.end());
  RunPairedTimed(
      state, [&](double* seconds) { return LaunchSeconds(cycle, marker, seconds); },
      [&](double* seconds) { return LaunchSeconds(unguarded, marker, seconds); });
}

}  // namespace

void RegisterGuardianCostBenchmarks(const NodeLayout& layout, BenchPlan* plan) {
  const NodeLayout* node = &layout;
  // A directory of its own: this process owns the layout's while its
  // controllers live.
  const std::string confDir = layout.root() + "/conf-of-launch-cycles";
  mkdir(confDir.c_str(), 0700);
  const std::string libraryDir = LibraryWithoutGuardian(layout);
  const struct {
    const char* marker;
    const char* name;
    const char* baseline;
    double extraSeconds;
  } figures[] = {
      {"launch_s=", "launch/startPriam_with_guardian", "launch/startPriam_without_guardian",
       0.010},
      {"launch_before_wait_s=", "launch/host_work_with_guardian",
       "launch/host_work_without_guardian", 0.010},
      {"write_secrets_s=", "properties/first_secrets_with_guardian",
       "properties/first_secrets_without_guardian", 0.005}};
  for (const auto& figure : figures) {
    const std::string marker = figure.marker;
    benchmark::RegisterBenchmark(figure.name,
                                 [node, confDir, libraryDir, marker](benchmark::State& state) {
                                   LaunchWithAndWithout(state, *node, confDir, libraryDir, marker);
                                 })
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    plan->baselines[figure.name] = figure.baseline;
    plan->order.insert(plan->order.end(), {figure.name, figure.baseline});
    plan->targets.push_back(
        {figure.name, figure.baseline, Target::Kind::kExtraSeconds, figure.extraSeconds, 1});
  }
}

}  // namespace bench
