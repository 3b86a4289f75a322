#include "common/HostControl.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>

#include <cerrno>
#include <system_error>

#include "FXErrorUtil.h"
#include "PriamUtilErrors.h"

namespace ZbCassandra {

namespace {

int Checked(int descriptor, const char* what) {
  if (descriptor < 0) throw std::system_error(errno, std::generic_category(), what);
  return descriptor;
}

// Close-on-exec: neither the sidecar nor a tool command inherits it.
// Non-blocking: a cancel() never waits, even once the counter is full.
int CancelDescriptor() { return Checked(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK), "eventfd"); }

// The monotonic clock: setting the wall clock moves no deadline.
int DeadlineDescriptor() {
  return Checked(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK), "timerfd_create");
}

// One descriptor the waits can poll for both: an epoll set is readable once
// any of its members is.
int WaitableOf(int cancel, int deadline) {
  const int set = Checked(epoll_create1(EPOLL_CLOEXEC), "epoll_create1");
  for (const int member : {cancel, deadline}) {
    struct epoll_event event = {};
    event.events = EPOLLIN;
    event.data.fd = member;
    if (epoll_ctl(set, EPOLL_CTL_ADD, member, &event) != 0) {
      const int code = errno;
      close(set);
      throw std::system_error(code, std::generic_category(), "epoll_ctl");
    }
  }
  return set;
}

}  // namespace

HostControl::HostControl()
    : m_cancel(CancelDescriptor()),
      m_deadline(DeadlineDescriptor()),
      m_waitable(WaitableOf(m_cancel, m_deadline)) {}

HostControl::~HostControl() {
  close(m_waitable);
  close(m_deadline);
  close(m_cancel);
}

void HostControl::Cancel() noexcept {
  m_cancelled.store(true);
  if (getpid() != m_owner) return;
  // A signal handler must leave errno as it found it.
  const int saved = errno;
  const uint64_t one = 1;
  // It stays readable: nothing ever reads the counter back.
  if (write(m_cancel, &one, sizeof one) < 0) {
    // EAGAIN: the counter is full, so it is readable already.
  }
  errno = saved;
}

bool HostControl::DeadlinePassed() const {
  struct pollfd passed = {m_deadline, POLLIN, 0};
  return poll(&passed, 1, 0) > 0;
}

void HostControl::Note(const CYrError& error, const PriamUtil::Failure& failure) {
  constexpr size_t kNotesKept = 8;
  if (m_notes.size() == kNotesKept) m_notes.pop_front();
  m_notes.push_back({error.GetFamily(), error.Code(), error.Message(), failure});
}

const FailureNote* HostControl::NoteOf(const CYrError& error) const {
  for (auto note = m_notes.rbegin(); note != m_notes.rend(); ++note) {
    if (note->family == error.GetFamily() && note->code == error.Code() &&
        note->message == error.Message()) {
      return &*note;
    }
  }
  return nullptr;
}

void HostControl::Arm(uint32_t milliseconds) {
  struct itimerspec when = {};
  when.it_value.tv_sec = milliseconds / 1000;
  when.it_value.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  timerfd_settime(m_deadline, 0, &when, nullptr);
}

void HostControl::Disarm() {
  const struct itimerspec never = {};
  timerfd_settime(m_deadline, 0, &never, nullptr);
  // An expiry already counted keeps the descriptor readable until read.
  uint64_t expirations = 0;
  if (read(m_deadline, &expirations, sizeof expirations) < 0) {
    // EAGAIN: it had not expired.
  }
}

HostControl::Call::Call(HostControl* control) : m_control(control) {
  if (!m_control || m_control->m_calls++ > 0) return;
  if (m_control->m_callLimitMs > 0) m_control->Arm(m_control->m_callLimitMs);
}

HostControl::Call::~Call() {
  if (m_control && --m_control->m_calls == 0) m_control->Disarm();
}

CYrError CancelledError(const FXCodeLocation& location) {
  return FXErrorUtil::ErrorWin32(location, kCancelled, "Cancelled by the host");
}

CYrError DeadlineError(const FXCodeLocation& location, uint32_t limitMs) {
  return FXErrorUtil::ErrorWin32(
      location, kTimeout, "The call's time limit of %u ms (setCallTimeLimit) has passed", limitMs);
}

}  // namespace ZbCassandra
