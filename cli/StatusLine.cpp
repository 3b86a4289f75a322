#include "StatusLine.h"

#include <sys/stat.h>

namespace priamctl {

namespace {

// Whether two streams end up in one place: the same stream, or descriptors
// of the same file or pipe (2>&1).
bool SamePlace(FILE* a, FILE* b) {
  if (a == b) return true;
  struct stat first;
  struct stat second;
  return fstat(fileno(a), &first) == 0 && fstat(fileno(b), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

StatusLine& StatusLine::Console() {
  static StatusLine console;
  return console;
}

void StatusLine::Show(FILE* stream, const std::string& text, bool terminal) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (terminal) {
    // Blanks over the rest of a longer text shown before.
    const size_t longer = m_shown.size() > text.size() ? m_shown.size() - text.size() : 0;
    fprintf(stream, "\r%s%*s", text.c_str(), static_cast<int>(longer), "");
    if (longer > 0) fprintf(stream, "\r%s", text.c_str());
  } else if (!m_shown.empty() && text.compare(0, m_shown.size(), m_shown) == 0) {
    fputs(text.c_str() + m_shown.size(), stream);
  } else {
    if (!m_shown.empty()) fputc('\n', stream);
    fputs(text.c_str(), stream);
  }
  fflush(stream);
  m_stream = stream;
  m_terminal = terminal;
  m_shown = text;
}

void StatusLine::End() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_stream) return;
  Erase();
  m_stream = nullptr;
}

void StatusLine::Erase() {
  if (m_terminal) {
    fprintf(m_stream, "\r%*s\r", static_cast<int>(m_shown.size()), "");
  } else if (!m_shown.empty()) {
    fputc('\n', m_stream);
  }
  fflush(m_stream);
  m_shown.clear();
}

void StatusLine::WriteLine(FILE* stream, const std::string& line) {
  Around(stream, [stream, &line] {
    fputs(line.c_str(), stream);
    fflush(stream);
  });
}

void StatusLine::Around(FILE* stream, const std::function<void()>& write) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_stream || (!m_terminal && !SamePlace(stream, m_stream))) {
    write();
    return;
  }
  const std::string shown = m_shown;
  fflush(stream);
  Erase();
  write();
  fflush(stream);
  // A terminal shows the status again at once; elsewhere the next Show
  // starts a line of its own.
  if (m_terminal) {
    fputs(shown.c_str(), m_stream);
    fflush(m_stream);
    m_shown = shown;
  }
}

}  // namespace priamctl
