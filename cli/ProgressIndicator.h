// A line that shows the CLI is alive while a library call blocks.
//
// The library creates no thread and reports no progress; this object runs
// a thread of priamctl's own from construction to Stop() (or destruction).
// On a terminal it redraws "<label> <spinner> <seconds>s" in place; elsewhere
// it writes the label, then a dot every two seconds, so logs stay readable.
// It is drawn as the console's StatusLine, so that lines written meanwhile
// (log lines, retries) are never broken by it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace priamctl {

class ProgressIndicator {
 public:
  ProgressIndicator(FILE* stream, std::string label);
  ~ProgressIndicator();
  ProgressIndicator(const ProgressIndicator&) = delete;
  ProgressIndicator& operator=(const ProgressIndicator&) = delete;

  // Ends the line and joins the thread; returns the seconds shown.
  int Stop();

 private:
  void Run();
  std::string Text(unsigned tick) const;

  FILE* m_stream;
  const std::string m_label;
  const bool m_terminal;
  const std::chrono::steady_clock::time_point m_start;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stopping = false;
  std::thread m_thread;
};

}  // namespace priamctl
