#include "ProgressIndicator.h"

#include <unistd.h>

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

void ProgressIndicator::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (!m_terminal) fprintf(m_stream, "%s ", m_label.c_str());
  for (unsigned tick = 0;; ++tick) {
    if (m_terminal) {
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                               std::chrono::steady_clock::now() - m_start)
                               .count();
      fprintf(m_stream, "\r%s %c %llds ", m_label.c_str(), kSpinner[tick % 4],
              static_cast<long long>(seconds));
    } else if (tick > 0) {
      fputc('.', m_stream);
    }
    fflush(m_stream);
    if (m_wake.wait_for(lock, m_terminal ? kTerminalTick : kPlainTick,
                        [this] { return m_stopping; })) {
      break;
    }
  }
  // Leave the line to what the caller prints next.
  if (m_terminal) {
    fprintf(m_stream, "\r%*s\r", static_cast<int>(m_label.size()) + 16, "");
  } else {
    fputc('\n', m_stream);
  }
  fflush(m_stream);
}

}  // namespace priamctl
