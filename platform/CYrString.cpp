#include "CYrString.h"

#include <cctype>

CYrString& CYrString::LTrim(char c) {
  m_text.erase(0, m_text.find_first_not_of(c));
  return *this;
}

CYrString& CYrString::RTrim(char c) {
  const size_t last = m_text.find_last_not_of(c);
  m_text.erase(last == std::string::npos ? 0 : last + 1);
  return *this;
}

CYrString& CYrString::LTrimAll() {
  size_t first = 0;
  while (first < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[first]))) {
    ++first;
  }
  m_text.erase(0, first);
  return *this;
}

int CYrString::Find(char c, size_t start) const {
  const size_t at = m_text.find(c, start);
  return at == std::string::npos ? kNotFound : static_cast<int>(at);
}
