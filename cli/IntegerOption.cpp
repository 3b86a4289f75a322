#include "IntegerOption.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace priamctl {

namespace {

// A decimal number with an optional "-", nothing else; strtol alone would
// also take blanks and a "+" in front.
bool IsInteger(const std::string& text, long* value) {
  const size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() == digits || !isdigit(static_cast<unsigned char>(text[digits]))) return false;
  errno = 0;
  char* end = nullptr;
  *value = strtol(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

}  // namespace

CLI::Validator IntegerInRange(int min, int max) {
  const std::string range = std::to_string(min) + " to " + std::to_string(max);
  const std::string shown = "INT in [" + std::to_string(min) + " - " + std::to_string(max) + "]";
  return CLI::Validator(
      [min, max, range](std::string& text) -> std::string {
        long value = 0;
        // CLI11 puts "--option: " in front.
        if (text.empty()) return "an empty value is not a number";
        if (!IsInteger(text, &value)) return text + " is not a number";
        if (value < min || value > max) return text + " is not in the range " + range;
        return std::string();
      },
      shown);
}

}  // namespace priamctl
