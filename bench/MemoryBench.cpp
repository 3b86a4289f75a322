// Peak memory of whole runs of a host: a discovery, and one launch cycle of
// the stand-in sidecar. Each command runs under /bin/sh, started by a small
// helper program that reads the peak from wait4 (the largest resident set of
// the shell and of the descendants it waited for, so the sidecar's JVM
// counts in a launch cycle).
//
// The commands are options of the benchmark program, so that a real host
// such as priamctl can be measured too. They may name the benchmark's node
// with these placeholders, each replaced by a quoted path:
//   {node} the node's configuration directory   {priam} the Priam directory
//   {conf} a Priam configuration directory of   {store} the store's INI file
//          their own
//   {templates} the template directory           {logs} the log directory
// ZB_PLATFORM_CONFIG names the store in the command's environment.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <map>
#include <string>

#include "BenchPlan.h"
#include "ChildRun.h"

namespace bench {

namespace {

// A host may print "self_peak_rss_kib=N" for its own process alone.
constexpr const char* kSelfMarker = "self_peak_rss_kib=";

void MeasureCommand(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    long peakRssKib = -1;
    const ChildResult result = MeasurePeakRss(PRIAM_BENCH_PEAK_RSS, command, &peakRssKib);
    if (result.status != 0 || peakRssKib < 0) {
      state.SkipWithError(
          ("exit status " + std::to_string(result.status) + ": " + command).c_str());
      break;
    }
    state.counters["peak_rss_KiB"] = static_cast<double>(peakRssKib);
    const size_t self = result.output.find(kSelfMarker);
    if (self != std::string::npos) {
      state.counters["host_only_peak_rss_KiB"] =
          std::stod(result.output.substr(self + std::string(kSelfMarker).size()));
    }
  }
}

}  // namespace

void RegisterMemoryBenchmarks(const NodeLayout& layout, const MeasuredCommands& commands,
                              BenchPlan* plan) {
  // A configuration directory of their own: this process owns the layout's
  // while its controllers live, and another host's would be refused.
  const std::string confDir = layout.root() + "/conf-of-measured-hosts";
  mkdir(confDir.c_str(), 0700);
  const std::map<std::string, std::string> places = {
      {"node", layout.nodeDir()}, {"priam", layout.priamDir()},        {"conf", confDir},
      {"store", layout.store()},  {"templates", layout.templateDir()}, {"logs", layout.logDir()}};
  const std::pair<const char*, std::string> runs[] = {
      {"memory/discover", ExpandPlaceholders(commands.discover, places)},
      {"memory/launch_cycle", ExpandPlaceholders(commands.launchCycle, places)}};
  for (const auto& run : runs) {
    const std::string command = run.second;
    benchmark::RegisterBenchmark(
        run.first, [command](benchmark::State& state) { MeasureCommand(state, command); })
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    plan->order.push_back(run.first);
  }
}

}  // namespace bench
