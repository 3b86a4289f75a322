#include "priamconf/SecretKeys.h"

#include <cstring>

namespace ZbCassandra {

const std::array<const char*, 6> kSecretKeys = {
    "priam.cqluserpassword", "priam.jmx.token",         "priam.server.kspasswd",
    "priam.server.tspasswd", "priam.keystore.password", "priam.truststore.password"};

namespace {

constexpr const char kMask[] = "********";

// Where the first secret key starts in `line`, and its length; npos if none.
size_t FindSecretKey(const std::string& line, size_t* keyLength) {
  size_t first = std::string::npos;
  for (const char* key : kSecretKeys) {
    const size_t at = line.find(key);
    if (at < first) {
      first = at;
      *keyLength = std::strlen(key);
    }
  }
  return first;
}

// A value continues on the next line when its line ends in an odd number of
// backslashes (the sidecar reads the file as Java properties).
bool ContinuesOnNextLine(const std::string& line) {
  size_t end = line.size();
  if (end > 0 && line[end - 1] == '\r') --end;
  size_t backslashes = 0;
  while (backslashes < end && line[end - 1 - backslashes] == '\\') ++backslashes;
  return backslashes % 2 == 1;
}

std::string MaskLine(const std::string& line, bool* masked) {
  size_t keyLength = 0;
  const size_t at = FindSecretKey(line, &keyLength);
  *masked = at != std::string::npos;
  if (!*masked) return line;
  const size_t valueStart = at + keyLength;
  std::string result = line.substr(0, valueStart);
  if (valueStart == line.size()) return result;
  if (line[valueStart] == '=') result += '=';
  return result + kMask;
}

}  // namespace

std::string MaskSecretValues(const std::string& content) {
  std::string result;
  result.reserve(content.size());
  bool continuation = false;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    const bool hasLf = end != std::string::npos;
    if (!hasLf) end = content.size();
    const std::string line = content.substr(start, end - start);
    bool masked = false;
    if (continuation) {
      result += line.empty() ? line : kMask;
      masked = true;
    } else {
      result += MaskLine(line, &masked);
    }
    continuation = masked && ContinuesOnNextLine(line);
    if (hasLf) result += '\n';
    start = end + 1;
  }
  return result;
}

}  // namespace ZbCassandra
