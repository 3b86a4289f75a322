#include "FailureText.h"

#include <regex>

namespace priamctl {

namespace {

// The codes the controller gives the two answers it tells apart.
constexpr long kAccessDenied = 5;
constexpr long kResourceUnavailable = 5006;
constexpr int kHttpUnauthorized = 401;
constexpr int kHttpUnavailable = 503;

// How CYrError::AsString() begins an error and marks each location.
const std::regex kErrorStart("(Win32|errno) error (-?[0-9]{1,9}): ");
constexpr const char kLocationStart[] = " [at ";

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::string FirstCause(const CYrError& error) {
  std::string cause = Trimmed(error.Message());
  if (cause.empty()) {
    for (const CYrError::Frame& frame : error.Frames()) {
      cause = Trimmed(frame.message);
      if (!cause.empty()) break;
    }
  }
  return cause;
}

std::string FirstCauseOfLogged(const std::string& text) {
  std::smatch start;
  const size_t from = std::regex_search(text, start, kErrorStart)
                          ? static_cast<size_t>(start.position(0) + start.length(0))
                          : 0;
  const size_t end = text.find(kLocationStart, from);
  return Trimmed(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
}

long ErrorCodeOf(const std::string& errorText) {
  std::smatch match;
  return std::regex_search(errorText, match, kErrorStart) ? std::stol(match[2].str()) : -1;
}

int HttpStatusOf(const std::string& errorText) {
  const long code = ErrorCodeOf(errorText);
  if (code < 0) return -1;
  if (code == kAccessDenied) return kHttpUnauthorized;
  if (code == kResourceUnavailable) return kHttpUnavailable;
  static const std::regex status("ErrorCode \\[(-?[0-9]{1,9})\\]");
  std::smatch match;
  if (!std::regex_search(errorText, match, status)) return -1;
  return std::stoi(match[1].str());
}

std::string DescribeHttpStatus(int status) {
  if (status <= 0) return "no answer";
  std::string text = "HTTP " + std::to_string(status);
  if (status == kHttpUnauthorized) text += " (the credentials were refused)";
  if (status == kHttpUnavailable) text += " (its back end is not available yet)";
  return text;
}

std::string DescribeAnswer(int status) {
  return status > 0 ? "the sidecar answered " + DescribeHttpStatus(status)
                    : "the sidecar did not answer";
}

}  // namespace priamctl
