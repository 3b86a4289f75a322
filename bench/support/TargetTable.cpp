#include "TargetTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace bench {

namespace {

std::string Format(const char* format, double value) {
  char text[64];
  snprintf(text, sizeof text, format, value);
  return text;
}

std::string Pad(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string MeasuredText(const Measurement& measurement) {
  if (!measurement.error.empty()) return "error: " + measurement.error;
  if (measurement.peakRssKib >= 0) {
    return Format("%.1f MiB peak RSS", measurement.peakRssKib / 1024.0);
  }
  return measurement.seconds < 0 ? "-" : FormatSeconds(measurement.seconds);
}

std::string TargetText(const Target& target) {
  if (target.kind == Target::Kind::kSeconds || target.kind == Target::Kind::kExtraSeconds) {
    return "<= " + FormatSeconds(target.limit);
  }
  if (target.kind == Target::Kind::kPeakRssKib) return Format("<= %.1f MiB", target.limit / 1024);
  if (target.kind == Target::Kind::kRatio) {
    return target.limit > 0 ? Format("<= %.2fx", target.limit) : "-";
  }
  return Format("<= %.0fx per 10x input", target.limit);
}

constexpr size_t kNameWidth = 44;
constexpr size_t kBaselineWidth = 52;

std::string TargetLine(const Measurements& measurements, const Target& target) {
  const Verdict verdict = Judge(measurements, target);
  const bool extra = target.kind == Target::Kind::kExtraSeconds;
  const bool seconds = target.kind == Target::Kind::kSeconds || extra;
  const bool memory = target.kind == Target::Kind::kPeakRssKib;
  const std::string what = extra                                 ? "more than "
                           : seconds                             ? "time"
                           : memory                              ? "peak RSS"
                           : target.kind == Target::Kind::kRatio ? "vs "
                                                                 : "growth from ";
  std::string figure = "-";
  if (verdict.figure >= 0) {
    figure = seconds  ? FormatSeconds(verdict.figure)
             : memory ? Format("%.1f MiB", verdict.figure / 1024)
                      : Format("%.2fx", verdict.figure);
  }
  std::string result = "-";
  if (verdict.judged) {
    result = verdict.met ? "met" : "MISSED";
  } else if (target.limit > 0) {
    result = "MISSED (no figure)";
  }
  return Pad("", kNameWidth) + Pad(what + target.baseline, kBaselineWidth) + Pad(figure, 10) +
         Pad(TargetText(target), 24) + result + "\n";
}

// A figure of the subject alone, held to the target's limit; `figure` is
// <= 0 when there is none.
Verdict JudgeAlone(const Target& target, double figure, const std::string& error) {
  Verdict verdict;
  if (figure <= 0 || !error.empty()) return verdict;
  verdict.figure = figure;
  verdict.judged = target.limit > 0;
  verdict.met = verdict.judged && verdict.figure <= target.limit;
  return verdict;
}

}  // namespace

Verdict Judge(const Measurements& measurements, const Target& target) {
  Verdict verdict;
  const auto subject = measurements.find(target.subject);
  const bool alone =
      target.kind == Target::Kind::kPeakRssKib || target.kind == Target::Kind::kSeconds;
  if (alone) {
    if (subject == measurements.end()) return verdict;
    const Measurement& measured = subject->second;
    return JudgeAlone(
        target, target.kind == Target::Kind::kSeconds ? measured.seconds : measured.peakRssKib,
        measured.error);
  }
  const auto baseline = measurements.find(target.baseline);
  if (subject == measurements.end() || baseline == measurements.end()) return verdict;
  const double top = subject->second.seconds;
  const double bottom = baseline->second.seconds;
  if (top <= 0 || bottom <= 0 || !subject->second.error.empty() ||
      !baseline->second.error.empty()) {
    return verdict;
  }
  // Two medians of a noisy time may come out the other way round: no
  // extra time then.
  verdict.figure =
      target.kind == Target::Kind::kExtraSeconds ? std::max(top - bottom, 0.0) : top / bottom;
  if (target.kind == Target::Kind::kGrowthPerDecade) {
    verdict.figure = std::pow(verdict.figure, 1.0 / target.decades);
  }
  verdict.judged = target.limit > 0;
  verdict.met = verdict.judged && verdict.figure <= target.limit;
  return verdict;
}

std::string FormatTable(const Measurements& measurements, const std::vector<std::string>& order,
                        const std::vector<Target>& targets) {
  std::vector<std::string> names;
  for (const std::string& name : order) {
    if (measurements.count(name)) names.push_back(name);
  }
  const std::set<std::string> listed(names.begin(), names.end());
  for (const auto& entry : measurements) {
    if (!listed.count(entry.first)) names.push_back(entry.first);
  }

  const std::string rule(kNameWidth + kBaselineWidth + 40, '-');
  std::string table = Pad("benchmark", kNameWidth) + Pad("measured", kBaselineWidth) +
                      Pad("ratio", 10) + Pad("target", 24) + "result\n";
  table += rule + "\n";
  int judged = 0;
  int met = 0;
  for (const std::string& name : names) {
    table += Pad(name, kNameWidth - 1) + " " + MeasuredText(measurements.at(name)) + "\n";
    for (const Target& target : targets) {
      if (target.subject != name) continue;
      table += TargetLine(measurements, target);
      const Verdict verdict = Judge(measurements, target);
      judged += target.limit > 0;
      met += verdict.met;
    }
  }
  table += rule + "\n";
  table += std::to_string(met) + " of " + std::to_string(judged) + " targets met\n";
  return table;
}

double MedianOf(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string FormatSeconds(double seconds) {
  if (seconds < 1e-3) return Format("%.1f us", seconds * 1e6);
  if (seconds < 1) return Format("%.2f ms", seconds * 1e3);
  return Format("%.2f s", seconds);
}

}  // namespace bench
