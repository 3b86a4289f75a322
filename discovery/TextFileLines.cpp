#include "discovery/TextFileLines.h"

#include <sys/stat.h>

namespace ZbCassandra {

bool TextFileLines::Open(const std::string& path) {
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  m_in.open(path, std::ios::in);
  if (!m_in.is_open()) return false;
  // Opening succeeds on things that cannot be read; the first read tells.
  m_in.peek();
  return !m_in.bad();
}

bool TextFileLines::Next(std::string& line) { return static_cast<bool>(std::getline(m_in, line)); }

}  // namespace ZbCassandra
