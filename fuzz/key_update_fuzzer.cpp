// The key updater over any text. The input is the key on its first line,
// the value on its second, and the file's content after them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "priamconf/KeyUpdate.h"
#include "priamconf/PropertiesFile.h"

namespace {

// The next line of `input` from `*at` on, without its LF.
std::string TakeLine(const std::string& input, size_t* at) {
  const size_t end = input.find('\n', *at);
  const size_t stop = end == std::string::npos ? input.size() : end;
  std::string line = input.substr(*at, stop - *at);
  *at = end == std::string::npos ? input.size() : end + 1;
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  const std::string key = TakeLine(input, &at);
  const std::string value = TakeLine(input, &at);
  const std::string content = input.substr(at);

  const std::string once = ZbCassandra::SetKeyInText(content, key, value);
  // Only keys and values that the controller accepts have to keep the line
  // format; anything else merely must not crash.
  if (!ZbCassandra::IsValidPropertyKey(key) || !ZbCassandra::IsValidPropertyValue(value)) return 0;

  // The entry is always there afterwards.
  const std::string entry = key + "=" + value + "\n";
  FUZZ_CHECK(once.find(entry) != std::string::npos);
  // Setting the same key again changes nothing.
  FUZZ_CHECK(ZbCassandra::SetKeyInText(once, key, value) == once);
  // Lines that never held the key are kept, in order.
  std::string kept;
  for (size_t line = 0; line < content.size();) {
    const std::string text = TakeLine(content, &line);
    if (text.find(key) == std::string::npos) kept += text + "\n";
  }
  std::string keptAfter;
  for (size_t line = 0; line < once.size();) {
    const std::string text = TakeLine(once, &line);
    if (text.find(key) == std::string::npos) keptAfter += text + "\n";
  }
  FUZZ_CHECK(kept == keptAfter);
  return 0;
}
