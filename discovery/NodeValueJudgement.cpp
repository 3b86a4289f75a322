#include "discovery/NodeValueJudgement.h"

#include "discovery/PortText.h"
#include "discovery/TextFileLines.h"

namespace ZbCassandra {

namespace {

constexpr unsigned long kLowestPort = 1;
constexpr unsigned long kHighestPort = 65535;
// Longer text is refused before it is converted, so that no run of digits
// can overflow; a port with more leading zeros than that is refused too.
constexpr size_t kMostPortDigits = 5;

}  // namespace

bool TakesDefaultCqlPort(const std::string& found) { return found.empty(); }

bool TakesDefaultJmxPort(const NodeFileValue& found) { return !found.fileRead; }

bool IsPortNumber(const std::string& text) {
  if (!IsDecimalNumber(text) || text.size() > kMostPortDigits) return false;
  const unsigned long port = std::stoul(text);
  return port >= kLowestPort && port <= kHighestPort;
}

bool IsText(const std::string& content) {
  for (const char c : content) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7f) return false;
  }
  return true;
}

bool IsReadableButNotText(const std::string& path) {
  TextFileLines lines;
  if (!lines.Open(path)) return false;
  std::string line;
  while (lines.Next(line)) {
    if (!IsText(line)) return true;
  }
  return false;
}

}  // namespace ZbCassandra
