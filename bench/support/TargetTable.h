// The one table a benchmark run ends with: each measurement, and for the
// ones that have a target, the figure the target is about and whether it
// was met.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace bench {

struct Measurement {
  double seconds = -1;     // per operation (median of the repetitions); < 0: none
  double peakRssKib = -1;  // < 0: not a memory figure
  std::string error;       // why the benchmark could not run, if it could not
};

// Measurements by benchmark name.
using Measurements = std::map<std::string, Measurement>;

// A statement about one benchmark (the subject) relative to another.
struct Target {
  enum class Kind {
    kRatio,            // time(subject) / time(baseline) <= limit
    kGrowthPerDecade,  // (time(subject) / time(baseline)) ^ (1 / decades) <= limit,
                       // where the subject's input is 10^decades times the baseline's
    kSeconds,          // time(subject) <= limit seconds; no baseline
    kExtraSeconds,     // time(subject) - time(baseline) <= limit seconds
    kPeakRssKib        // peak RSS(subject) <= limit KiB; no baseline
  };
  std::string subject;
  std::string baseline;
  Kind kind = Kind::kRatio;
  double limit = 0;    // <= 0: informative only, no verdict
  double decades = 1;  // kGrowthPerDecade only
};

struct Verdict {
  double figure = -1;  // the ratio, the growth or the seconds (an extra time below zero
                       // counts as none); < 0 when it cannot be computed
  bool met = false;
  bool judged = false;  // false for an informative figure or a missing measurement
};

Verdict Judge(const Measurements& measurements, const Target& target);

// The table: one line per measurement in `order` (then any others), each
// target under its subject, and a last line counting targets met.
std::string FormatTable(const Measurements& measurements, const std::vector<std::string>& order,
                        const std::vector<Target>& targets);

// The middle value (the mean of the two middle ones for an even count);
// -1 for none.
double MedianOf(std::vector<double> values);

// "12.3 us", "4.56 ms", "1.23 s".
std::string FormatSeconds(double seconds);

}  // namespace bench
