#include "ProgressIndicator.h"

#include <unistd.h>

#include "StatusLine.h"

namespace priamctl {

namespace {

constexpr std::chrono::milliseconds kTerminalTick(200);
constexpr std::chrono::milliseconds kPlainTick(2000);
constexpr char kSpinner[] = "|/-\\";

}  // namespace

ProgressIndicator::ProgressIndicator(FILE* stream, std::string label)
    : m_stream(stream),
      m_label(std::move(label)),
      m_terminal(isatty(fileno(stream)) == 1),
      m_start(std::chrono::steady_clock::now()) {
  m_thread = std::thread([this] { Run(); });
}

ProgressIndicator::~ProgressIndicator() { Stop(); }

int ProgressIndicator::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - m_start)
          .count());
}

std::string ProgressIndicator::Text(unsigned tick) const {
  if (!m_terminal) return m_label + " " + std::string(tick, '.');
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - m_start)
          .count();
  return m_label + " " + kSpinner[tick % 4] + " " + std::to_string(seconds) + "s";
}

void ProgressIndicator::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  StatusLine& status = StatusLine::Console();
  for (unsigned tick = 0;; ++tick) {
    status.Show(m_stream, Text(tick), m_terminal);
    if (m_wake.wait_for(lock, m_terminal ? kTerminalTick : kPlainTick,
                        [this] { return m_stopping; })) {
      break;
    }
  }
  // Leave the line to what the caller prints next.
  status.End();
}

}  // namespace priamctl
