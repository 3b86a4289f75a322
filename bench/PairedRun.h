// Two ways of doing the same thing, timed turn about within one benchmark:
// on a machine shared with other work, both then meet the same load, where
// two separate benchmarks could each meet a different one.
//
// The subject's time is the benchmark's own (register it with
// UseManualTime()). The median time of one run of each side goes into the
// counters kSubjectCounter and kBaselineCounter: a median is not moved by the
// few runs that another process held up for a while. The order alternates
// between iterations, so that neither side always runs on what the other
// left warm.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "TargetTable.h"

namespace bench {

constexpr const char* kSubjectCounter = "median_s";
constexpr const char* kBaselineCounter = "baseline_median_s";

// `subject` and `baseline` return an empty string on success, else the
// reason the benchmark cannot go on; each puts the time of its one run into
// `*seconds`, for what it times may be only a part of what it does.
template <typename Subject, typename Baseline>
void RunPairedTimed(benchmark::State& state, Subject subject, Baseline baseline) {
  std::vector<double> subjectTimes;
  std::vector<double> baselineTimes;
  bool subjectFirst = true;
  for (auto _ : state) {
    std::string failure;
    for (int turn = 0; turn < 2 && failure.empty(); ++turn) {
      const bool subjectTurn = (turn == 0) == subjectFirst;
      double seconds = 0;
      failure = subjectTurn ? subject(&seconds) : baseline(&seconds);
      (subjectTurn ? subjectTimes : baselineTimes).push_back(seconds);
    }
    if (!failure.empty()) {
      state.SkipWithError(failure.c_str());
      return;
    }
    state.SetIterationTime(subjectTimes.back());
    subjectFirst = !subjectFirst;
  }
  state.counters[kSubjectCounter] = MedianOf(std::move(subjectTimes));
  state.counters[kBaselineCounter] = MedianOf(std::move(baselineTimes));
}

// As RunPairedTimed, each run timed whole.
template <typename Subject, typename Baseline>
void RunPaired(benchmark::State& state, Subject subject, Baseline baseline) {
  const auto timed = [](auto& run) {
    return [&run](double* seconds) {
      using Clock = std::chrono::steady_clock;
      const Clock::time_point start = Clock::now();
      std::string failure = run();
      *seconds = std::chrono::duration<double>(Clock::now() - start).count();
      return failure;
    };
  };
  RunPairedTimed(state, timed(subject), timed(baseline));
}

}  // namespace bench
