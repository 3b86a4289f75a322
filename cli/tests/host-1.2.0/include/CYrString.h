// The platform's string type: a thin wrapper over std::string.
#pragma once

#include <cstddef>
#include <string>

class CYrString {
 public:
  static constexpr int kNotFound = -1;

  CYrString() = default;
  CYrString(const char* text) : m_text(text ? text : "") {}  // NOLINT: implicit by design
  CYrString(std::string text) : m_text(std::move(text)) {}   // NOLINT: implicit by design

  CYrString& operator=(const char* text) {
    m_text = text ? text : "";
    return *this;
  }

  const char* c_str() const { return m_text.c_str(); }
  const std::string& str() const { return m_text; }
  size_t Length() const { return m_text.size(); }
  bool IsEmpty() const { return m_text.empty(); }

  // Remove every leading (LTrim) or trailing (RTrim) occurrence of c.
  CYrString& LTrim(char c);
  CYrString& RTrim(char c);
  // Remove all leading white space.
  CYrString& LTrimAll();
  // Index of the first c at or after start, or kNotFound.
  int Find(char c, size_t start) const;

  friend bool operator==(const CYrString& a, const CYrString& b) { return a.m_text == b.m_text; }
  friend bool operator!=(const CYrString& a, const CYrString& b) { return a.m_text != b.m_text; }

 private:
  std::string m_text;
};
