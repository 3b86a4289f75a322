// A descriptor that belongs to this process alone, like a record lock: a
// child forked from it (without exec) closes its copy at once, in the
// fork itself, so that whatever watches the descriptor's other end (a
// guardian on a lifeline) sees the end of this process and not of the last
// worker it forked. Close-on-exec takes care of an exec, forked or not.
#pragma once

#include <sys/types.h>

namespace ZbCassandra {

class ProcessOwnDescriptor {
 public:
  // Takes `fd` (opened close-on-exec); -1: none.
  explicit ProcessOwnDescriptor(int fd = -1);
  // Closes it, in the process that took it only: in a forked child the
  // number was closed at the fork, and may name another file since.
  ~ProcessOwnDescriptor();
  ProcessOwnDescriptor(const ProcessOwnDescriptor&) = delete;
  ProcessOwnDescriptor& operator=(const ProcessOwnDescriptor&) = delete;

  int get() const { return m_fd; }
  // Close the one held (as the destructor does) and take `fd`.
  void reset(int fd = -1);

 private:
  int m_fd = -1;
  pid_t m_owner = 0;
  int m_slot = -1;  // in the table the fork handler closes; -1: not in it
};

}  // namespace ZbCassandra
