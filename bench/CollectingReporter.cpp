#include "CollectingReporter.h"

#include <iostream>
#include <utility>

#include "PairedRun.h"

namespace bench {

namespace {

double Counter(const benchmark::BenchmarkReporter::Run& run, const char* name) {
  const auto counter = run.counters.find(name);
  return counter == run.counters.end() ? -1 : counter->second.value;
}

}  // namespace

CollectingReporter::CollectingReporter(std::map<std::string, std::string> baselines)
    : m_baselines(std::move(baselines)) {
  m_console.SetOutputStream(&std::cerr);
  m_console.SetErrorStream(&std::cerr);
}

bool CollectingReporter::ReportContext(const Context& context) {
  return m_console.ReportContext(context);
}

void CollectingReporter::ReportRuns(const std::vector<Run>& runs) {
  m_console.ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.run_type != Run::RT_Iteration) continue;
    const std::string& name = run.run_name.function_name;
    if (run.error_occurred) {
      m_errors[name] = run.error_message;
      continue;
    }
    const auto baseline = m_baselines.find(name);
    if (baseline != m_baselines.end()) {
      m_seconds[name].push_back(Counter(run, kSubjectCounter));
      m_seconds[baseline->second].push_back(Counter(run, kBaselineCounter));
    } else if (run.iterations > 0) {
      m_seconds[name].push_back(run.real_accumulated_time / static_cast<double>(run.iterations));
    }
    const auto counter = run.counters.find("peak_rss_KiB");
    if (counter != run.counters.end()) m_rss[name].push_back(counter->second.value);
    const auto host = run.counters.find("host_only_peak_rss_KiB");
    if (host != run.counters.end()) m_rss[name + " (host only)"].push_back(host->second.value);
  }
}

void CollectingReporter::Finalize() { m_console.Finalize(); }

Measurements CollectingReporter::Results() const {
  Measurements results;
  for (const auto& entry : m_seconds) results[entry.first].seconds = MedianOf(entry.second);
  for (const auto& entry : m_rss) results[entry.first].peakRssKib = MedianOf(entry.second);
  for (const auto& entry : m_errors) results[entry.first].error = entry.second;
  return results;
}

}  // namespace bench
