// What a host controls of a controller from outside its calls: cancel(),
// from any thread or a signal handler, and how long one attempt of a
// request may take.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "CYrError.h"

namespace ZbCassandra {

class HostControl {
 public:
  // The HTTP client's own limit, which requests always had.
  static constexpr long kDefaultRequestLimitMs = 300 * 1000;
  // "info" answers in milliseconds: a sidecar that takes the launch's
  // request and never answers costs each attempt this, not a whole limit.
  static constexpr long kConnectionCheckAttemptMs = 10 * 1000;

  // Throws std::system_error when the system gives no descriptor.
  HostControl();
  ~HostControl();
  HostControl(const HostControl&) = delete;
  HostControl& operator=(const HostControl&) = delete;

  // Async-signal-safe: an atomic store and a write(), no lock, no
  // allocation. In a child forked from the host the copy alone is marked:
  // the descriptor is its parent's too.
  void Cancel() noexcept;
  bool Cancelled() const noexcept { return m_cancelled.load(); }
  // Readable once cancelled, for the platform's waits (YrCancel.h).
  int Descriptor() const { return m_descriptor; }

  // The limit of one attempt of a request now.
  long AttemptLimitMs() const {
    return m_connectionChecks > 0 ? kConnectionCheckAttemptMs : m_requestLimitMs;
  }
  long RequestLimitMs() const { return m_requestLimitMs; }
  void SetRequestLimitMs(long milliseconds) { m_requestLimitMs = milliseconds; }

  // While one lives, attempts get the connection check's limit.
  class ConnectionCheck {
   public:
    explicit ConnectionCheck(HostControl* control) : m_control(control) {
      if (m_control) ++m_control->m_connectionChecks;
    }
    ~ConnectionCheck() {
      if (m_control) --m_control->m_connectionChecks;
    }
    ConnectionCheck(const ConnectionCheck&) = delete;
    ConnectionCheck& operator=(const ConnectionCheck&) = delete;

   private:
    HostControl* const m_control;
  };

 private:
  static_assert(std::atomic<bool>::is_always_lock_free, "cancel() must be async-signal-safe");

  const pid_t m_owner = getpid();
  const int m_descriptor;
  std::atomic<bool> m_cancelled{false};
  long m_requestLimitMs = kDefaultRequestLimitMs;
  int m_connectionChecks = 0;
};

// The error of a call that cancel() ended, or that came after it.
CYrError CancelledError(const FXCodeLocation& location);

}  // namespace ZbCassandra
