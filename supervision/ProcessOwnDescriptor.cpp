#include "supervision/ProcessOwnDescriptor.h"

#include <pthread.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <mutex>

namespace ZbCassandra {

namespace {

// Lock-free, so that the handler may run in the child of a fork made while
// another thread was changing it. A descriptor that finds no free slot is
// still closed by its owner; only a forked child keeps its copy then.
std::array<std::atomic<int>, 256>& Slots() {
  static auto* slots = [] {
    auto* all = new std::array<std::atomic<int>, 256>();
    for (auto& slot : *all) slot.store(-1);
    return all;
  }();
  return *slots;
}

// Runs in the child of every fork(): close() is async-signal-safe.
void CloseInForkedChild() {
  for (auto& slot : Slots()) {
    const int fd = slot.exchange(-1);
    if (fd >= 0) close(fd);
  }
}

int Register(int fd) {
  static std::once_flag installed;
  std::call_once(installed, [] { pthread_atfork(nullptr, nullptr, CloseInForkedChild); });
  auto& slots = Slots();
  for (size_t i = 0; i < slots.size(); ++i) {
    int empty = -1;
    if (slots[i].compare_exchange_strong(empty, fd)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

ProcessOwnDescriptor::ProcessOwnDescriptor(int fd) { reset(fd); }

ProcessOwnDescriptor::~ProcessOwnDescriptor() { reset(); }

void ProcessOwnDescriptor::reset(int fd) {
  if (m_fd >= 0 && m_owner == getpid()) {
    if (m_slot >= 0) Slots()[static_cast<size_t>(m_slot)].store(-1);
    close(m_fd);
  }
  m_fd = fd;
  m_owner = getpid();
  m_slot = fd >= 0 ? Register(fd) : -1;
}

}  // namespace ZbCassandra
