#include "FXString.h"

#include <cstdio>

namespace FXString {

void Trim(std::string& text, const char* set) {
  if (!set) return;
  const size_t last = text.find_last_not_of(set);
  if (last == std::string::npos) {
    text.clear();
    return;
  }
  text.erase(last + 1);
  text.erase(0, text.find_first_not_of(set));
}

void TrimRight(std::string& text, const char* set) {
  if (!set) return;
  const size_t last = text.find_last_not_of(set);
  text.erase(last == std::string::npos ? 0 : last + 1);
}

void Split(const std::string& text, const std::string& separator, std::vector<std::string>& pieces,
           int /*flags*/) {
  if (text.empty()) return;
  if (separator.empty()) {
    pieces.push_back(text);
    return;
  }
  size_t start = 0;
  for (size_t at = text.find(separator); at != std::string::npos;
       at = text.find(separator, start)) {
    pieces.push_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  pieces.push_back(text.substr(start));
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return text;
}

std::string FormatV(const char* format, va_list args) {
  if (!format) return std::string();
  va_list copy;
  va_copy(copy, args);
  const int length = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  vsnprintf(&text[0], text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace FXString
