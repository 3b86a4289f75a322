// The three writers of the properties file on files of growing length,
// against sed making one replacement in the same file.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "BenchPlan.h"
#include "ChildRun.h"
#include "InputFiles.h"
#include "PriamUtil.h"

namespace bench {

namespace {

constexpr size_t kSizes[] = {100, 10000, 1000000};
constexpr const char* kNewHost = "10.0.0.9";

const std::string& PristineText(size_t lines) {
  static std::map<size_t, std::string> texts;
  auto found = texts.find(lines);
  if (found == texts.end()) found = texts.emplace(lines, PropertiesText(lines)).first;
  return found->second;
}

// A controller whose configuration directory is a fresh directory holding
// the pristine file of `lines` lines, as zbPriam.properties.
struct PropertiesRig {
  PropertiesRig(const NodeLayout& layout, const std::string& name, size_t lines)
      : dir(layout.root() + "/" + name),
        file((mkdir(dir.c_str(), 0700), dir + "/zbPriam.properties")),
        controller(0, CYrString("/usr/bin/java"), layout.priamDir(), dir, layout.nodeDir(), false) {
    WriteTextFile(file, PristineText(lines));
  }
  std::string dir;
  std::string file;
  ZbCassandra::PriamUtil controller;
};

using Operation = std::function<CYrError(PropertiesRig&)>;

void RunOperation(benchmark::State& state, const NodeLayout& layout, const std::string& name,
                  size_t lines, const Operation& operation) {
  PropertiesRig rig(layout, name, lines);
  if (rig.controller.initFailed()) {
    state.SkipWithError("the controller did not initialize");
    return;
  }
  for (auto _ : state) {
    const CYrError error = operation(rig);
    if (error.IsError()) {
      state.SkipWithError(error.AsString().c_str());
      break;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines));
}

void SedReplace(benchmark::State& state, const NodeLayout& layout, size_t lines) {
  const std::string file = layout.root() + "/sed-" + std::to_string(lines) + ".properties";
  WriteTextFile(file, PristineText(lines));
  const std::vector<std::string> command = {
      "sed", "-i", std::string("s/^priam.cqlhost=.*/priam.cqlhost=") + kNewHost + "/", file};
  for (auto _ : state) {
    if (RunChild(command, false).status != 0) {
      state.SkipWithError("sed failed");
      break;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines));
}

std::map<std::string, std::string> HostChanged() {
  std::map<std::string, std::string> properties = ConnectionProperties();
  properties["priam.cqlhost"] = kNewHost;
  return properties;
}

const std::map<std::string, Operation>& Operations() {
  static const std::map<std::string, Operation> operations = {
      {"AddOrUpdateFieldInConfigFile",
       [](PropertiesRig& rig) {
         return rig.controller.AddOrUpdateFieldInConfigFile(rig.file, "priam.cqlhost", kNewHost);
       }},
      {"writePriamProperties",
       [](PropertiesRig& rig) { return rig.controller.writePriamProperties(HostChanged()); }},
      {"deleteEntries", [](PropertiesRig& rig) { return rig.controller.deleteEntries(); }},
  };
  return operations;
}

std::string Name(const std::string& what, size_t lines) {
  return "props/" + what + "/" + std::to_string(lines);
}

}  // namespace

void RegisterPropertiesBenchmarks(const NodeLayout& layout, BenchPlan* plan) {
  const NodeLayout* node = &layout;
  for (const size_t lines : kSizes) {
    for (const auto& entry : Operations()) {
      const std::string name = Name(entry.first, lines);
      const std::string dirName = entry.first + "-" + std::to_string(lines);
      const Operation operation = entry.second;
      benchmark::RegisterBenchmark(name.c_str(),
                                   [node, dirName, lines, operation](benchmark::State& state) {
                                     RunOperation(state, *node, dirName, lines, operation);
                                   })
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond);
      plan->order.push_back(name);
      plan->targets.push_back({name, Name("sed", lines), Target::Kind::kRatio, 1.0, 1});
    }
    benchmark::RegisterBenchmark(
        Name("sed", lines).c_str(),
        [node, lines](benchmark::State& state) { SedReplace(state, *node, lines); })
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    plan->order.push_back(Name("sed", lines));
  }
  // Linear: each size against the one before it.
  for (size_t i = 1; i < sizeof kSizes / sizeof kSizes[0]; ++i) {
    const double decades = std::log10(static_cast<double>(kSizes[i]) / kSizes[i - 1]);
    for (const auto& entry : Operations()) {
      plan->targets.push_back({Name(entry.first, kSizes[i]), Name(entry.first, kSizes[i - 1]),
                               Target::Kind::kGrowthPerDecade, 12, decades});
    }
  }
}

}  // namespace bench
