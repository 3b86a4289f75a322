// What a host controls of a controller from outside its calls, and what a
// call leaves for the host to learn: cancel(), from any thread or a signal
// handler; how long one attempt of a request may take; how long one whole
// call may take (its deadline); and why the last call failed.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>

#include "CYrError.h"
#include "PriamUtil.h"

namespace ZbCassandra {

// What a call noted of its failure where it knew the cause; matched with an
// error the host asks about by its family, code and message.
struct FailureNote {
  CYrError::Family family = CYrError::Family::kNone;
  int64_t code = 0;
  std::string message;
  PriamUtil::Failure failure;
};

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
  // Readable once cancelled, or once the deadline of the call under way has
  // passed, for the platform's waits (YrCancel.h).
  int Descriptor() const { return m_waitable; }
  // The deadline of the call under way has passed.
  bool DeadlinePassed() const;

  // The limit of one attempt of a request now.
  long AttemptLimitMs() const {
    return m_connectionChecks > 0 ? kConnectionCheckAttemptMs : m_requestLimitMs;
  }
  long RequestLimitMs() const { return m_requestLimitMs; }
  void SetRequestLimitMs(long milliseconds) { m_requestLimitMs = milliseconds; }
  // The longest a whole call may take, in milliseconds; 0: no limit.
  uint32_t CallLimitMs() const { return m_callLimitMs; }
  void SetCallLimitMs(uint32_t milliseconds) { m_callLimitMs = milliseconds; }

  // A 404 (an operation the sidecar does not know) is retried like any
  // other failure, or ends the request at once.
  bool NotFoundRetried() const { return m_notFoundRetried; }
  void SetNotFoundRetried(bool retried) { m_notFoundRetried = retried; }

  // Why a call failed, where it knew; the latest few are kept, so that a
  // host may ask after its next calls (a stop, say).
  void Note(const CYrError& error, const PriamUtil::Failure& failure);
  // The latest note of `error`, null when there is none.
  const FailureNote* NoteOf(const CYrError& error) const;

  // One public call that the host's call limit bounds, for as long as it
  // lives: the outermost one arms the deadline when the host set a limit,
  // and its end disarms it.
  class Call {
   public:
    explicit Call(HostControl* control);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

   private:
    HostControl* const m_control;
  };

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

  void Arm(uint32_t milliseconds);
  void Disarm();

  const pid_t m_owner = getpid();
  const int m_cancel;    // an eventfd, written once by Cancel()
  const int m_deadline;  // a timerfd, armed while a bounded call runs
  const int m_waitable;  // an epoll set of both: readable once either is
  std::atomic<bool> m_cancelled{false};
  long m_requestLimitMs = kDefaultRequestLimitMs;
  uint32_t m_callLimitMs = 0;
  bool m_notFoundRetried = true;
  int m_connectionChecks = 0;
  int m_calls = 0;  // public calls under way, nested ones included
  std::deque<FailureNote> m_notes;  // the latest last
};

// The error of a call that cancel() ended, or that came after it.
CYrError CancelledError(const FXCodeLocation& location);
// The error of a call whose own deadline passed.
CYrError DeadlineError(const FXCodeLocation& location, uint32_t limitMs);

}  // namespace ZbCassandra
