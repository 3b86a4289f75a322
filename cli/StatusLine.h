// A passing status line (the progress shown while the library blocks) and
// the whole lines written meanwhile, kept from tearing each other.
//
// The library logs from the thread that waits, while priamctl's progress
// thread redraws its line. Every writer of a whole line to stdout or stderr
// while a status may show goes through here: on a terminal the status is
// erased, the line written and the status drawn again below it; elsewhere
// (a file, a pipe) the status's line is ended first when both go to the
// same place, and the status is written again on a line of its own.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

namespace priamctl {

class StatusLine {
 public:
  // The one status of stdout and stderr.
  static StatusLine& Console();

  // Shows `text` as the status on `stream`, in place of the status shown
  // before. `terminal`: the stream redraws a line in place; otherwise only
  // what `text` adds to the text already on the line is written (a line that
  // grows by dots).
  void Show(FILE* stream, const std::string& text, bool terminal);
  // Takes the status away: erased on a terminal, its line ended elsewhere.
  void End();

  // Writes `line` (its line feed included) to `stream`.
  void WriteLine(FILE* stream, const std::string& line);
  // Runs `write`, which writes whole lines to `stream`, with the status out
  // of the way.
  void Around(FILE* stream, const std::function<void()>& write);

 private:
  void Erase();

  std::mutex m_mutex;
  FILE* m_stream = nullptr;  // null: no status shows
  bool m_terminal = false;
  std::string m_shown;  // the status text on the line now
};

}  // namespace priamctl
