#include "SystemctlWords.h"

#include <time.h>

namespace priamctl {

namespace {

constexpr int64_t kMinute = 60;
constexpr int64_t kHour = 60 * kMinute;
constexpr int64_t kDay = 24 * kHour;
constexpr int64_t kWeek = 7 * kDay;
// As systemd counts them: a year of 365.25 days, a twelfth of it a month.
constexpr int64_t kYear = 31557600;
constexpr int64_t kMonth = kYear / 12;

std::string Count(int64_t count, const char* unit) {
  return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}

std::string LocalTime(int64_t at) {
  const time_t when = static_cast<time_t>(at);
  struct tm parts;
  char text[64] = "";
  if (localtime_r(&when, &parts)) strftime(text, sizeof text, "%a %Y-%m-%d %H:%M:%S %Z", &parts);
  return text;
}

}  // namespace

std::string AgoText(int64_t d) {
  const std::string n = std::to_string(d);
  if (d >= kYear)
    return Count(d / kYear, "year") + " " + Count(d % kYear / kMonth, "month") + " ago";
  if (d >= kMonth)
    return Count(d / kMonth, "month") + " " + Count(d % kMonth / kDay, "day") + " ago";
  if (d >= kWeek) return Count(d / kWeek, "week") + " " + Count(d % kWeek / kDay, "day") + " ago";
  if (d >= 2 * kDay) return Count(d / kDay, "day") + " ago";
  if (d >= 25 * kHour) return "1 day " + std::to_string((d - kDay) / kHour) + "h ago";
  if (d >= 6 * kHour) return std::to_string(d / kHour) + "h ago";
  if (d >= kHour) {
    return std::to_string(d / kHour) + "h " + std::to_string(d % kHour / kMinute) + "min ago";
  }
  if (d >= 5 * kMinute) return std::to_string(d / kMinute) + "min ago";
  if (d >= kMinute) {
    return std::to_string(d / kMinute) + "min " + std::to_string(d % kMinute) + "s ago";
  }
  return d >= 1 ? n + "s ago" : "now";
}

std::string SinceText(int64_t at, int64_t now) {
  return LocalTime(at) + "; " + AgoText(now > at ? now - at : 0);
}

std::string SizeText(uint64_t bytes) {
  static const struct {
    const char* suffix;
    uint64_t factor;
  } kUnits[] = {
      {"T", uint64_t{1} << 40}, {"G", uint64_t{1} << 30}, {"M", 1u << 20}, {"K", 1u << 10}};
  for (const auto& unit : kUnits) {
    if (bytes >= unit.factor) {
      return std::to_string(bytes / unit.factor) + "." +
             std::to_string(bytes * 10 / unit.factor % 10) + unit.suffix;
    }
  }
  return std::to_string(bytes) + "B";
}

}  // namespace priamctl
