// One line on stderr for each retry of a request, as it happens.
//
// The controller retries a request that failed for up to about five
// minutes and says nothing meanwhile (that policy is the library's and
// stays). Before each of its waits it logs the failed attempt; this object
// reads that failure and tells the user the HTTP status, the attempt out of
// how many, how long the wait is, and that Ctrl-C stops it.
#pragma once

#include <cstdint>
#include <string>

namespace priamctl {

class RetryReporter {
 public:
  // `request`: what the user knows the request as ("GET info").
  explicit RetryReporter(std::string request);

  // Called before each of the library's waits while the request runs.
  void BeforeWait(uint32_t milliseconds);

 private:
  const std::string m_request;
  uint64_t m_failuresSeen;
  unsigned m_attempts = 0;
};

}  // namespace priamctl
