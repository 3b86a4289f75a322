#include "discovery/CommandLineMask.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace ZbCassandra {

namespace {

constexpr const char* kSeparators = " \t\n";
constexpr std::array<const char*, 4> kSecretWords = {"pass", "pwd", "secret", "token"};

bool NamesASecret(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::any_of(kSecretWords.begin(), kSecretWords.end(),
                     [&](const char* word) { return name.find(word) != std::string::npos; });
}

std::string MaskWord(const std::string& word) {
  const size_t equals = word.find('=');
  if (equals == std::string::npos || !NamesASecret(word.substr(0, equals))) return word;
  return word.substr(0, equals + 1) + "********";
}

}  // namespace

std::string MaskCommandLineSecrets(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  size_t start = 0;
  while (start < text.size()) {
    const size_t wordEnd = std::min(text.find_first_of(kSeparators, start), text.size());
    result += MaskWord(text.substr(start, wordEnd - start));
    const size_t next = std::min(text.find_first_not_of(kSeparators, wordEnd), text.size());
    result.append(text, wordEnd, next - wordEnd);
    start = next;
  }
  return result;
}

}  // namespace ZbCassandra
