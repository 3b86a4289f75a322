// Shows Google Benchmark's usual console lines on standard error as the run
// goes, and keeps every result for the closing table.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "TargetTable.h"

namespace bench {

class CollectingReporter : public benchmark::BenchmarkReporter {
 public:
  // `baselines`: for a benchmark run with RunPaired, the name its
  // baseline's time is reported under.
  explicit CollectingReporter(std::map<std::string, std::string> baselines);

  bool ReportContext(const Context& context) override;
  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

  // The median over the repetitions of each benchmark.
  Measurements Results() const;

 private:
  benchmark::ConsoleReporter m_console;
  std::map<std::string, std::string> m_baselines;
  std::map<std::string, std::vector<double>> m_seconds;
  std::map<std::string, std::vector<double>> m_rss;
  std::map<std::string, std::string> m_errors;
};

}  // namespace bench
