// String helpers over std::string.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

namespace FXString {

// Remove, in place, every character of `set` from both ends of `text`.
// A null `set` removes nothing.
void Trim(std::string& text, const char* set);
// Remove, in place, every character of `set` from the right end of `text`.
void TrimRight(std::string& text, const char* set);

// Append to `pieces` the parts of `text` between occurrences of `separator`,
// in order. An empty text gives no piece; otherwise n separators give n + 1
// pieces, so "key=value" gives two and "key=" gives "key" and "". An empty
// separator appends the whole text. `flags` is reserved and must be 0.
void Split(const std::string& text, const std::string& separator, std::vector<std::string>& pieces,
           int flags);

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace FXString
