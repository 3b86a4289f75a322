#include "RetryReporter.h"

#include <algorithm>
#include <cstdio>

#include "FailureRecordingLog.h"
#include "FailureText.h"
#include "StatusLine.h"

namespace priamctl {

namespace {

// The controller's retry policy, as it stands: a sidecar whose back end is
// unavailable (503) gets two attempts in all, any other failure ten. The
// limit follows the latest failure, and a wait follows every failed
// attempt, the last one included.
constexpr int kHttpUnavailable = 503;
constexpr unsigned kUnavailableAttempts = 2;
constexpr unsigned kOtherAttempts = 10;

// How the retry loop logs a failed attempt: "Error: " and the error.
constexpr const char kAttemptFailure[] = "Error: ";

}  // namespace

RetryReporter::RetryReporter(std::string request)
    : m_request(std::move(request)), m_failuresSeen(LoggedFailureCount()) {}

void RetryReporter::BeforeWait(uint32_t milliseconds) {
  const uint64_t failures = LoggedFailureCount();
  const std::string failure = LastLoggedFailure();
  const bool attemptFailed = failures != m_failuresSeen && failure.rfind(kAttemptFailure, 0) == 0;
  m_failuresSeen = failures;
  // Any other wait (the one before the first attempt of a launch) is no
  // retry.
  if (!attemptFailed) return;

  ++m_attempts;
  const int status = HttpStatusOf(failure);
  // A 503 after other failures ends the loop at once: this was the last.
  const unsigned limit =
      std::max(m_attempts, status == kHttpUnavailable ? kUnavailableAttempts : kOtherAttempts);
  const std::string wait = std::to_string((milliseconds + 999) / 1000) + " s";
  std::string line = "priamctl: " + m_request + ", attempt " + std::to_string(m_attempts) + " of " +
                     std::to_string(limit) + ": " + DescribeAnswer(status) + "; ";
  line += m_attempts < limit ? "next attempt in " + wait : "giving up after " + wait;
  line += ", Ctrl-C stops\n";
  StatusLine::Console().WriteLine(stderr, line);
}

}  // namespace priamctl
