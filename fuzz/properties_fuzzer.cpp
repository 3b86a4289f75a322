// The properties map reader and writer, and the masking of secret values
// for the log, over any text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "priamconf/PropertiesFile.h"
#include "priamconf/SecretKeys.h"

using ZbCassandra::FormatProperties;
using ZbCassandra::ParseProperties;
using ZbCassandra::PropertyMap;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  PropertyMap entries;
  ParseProperties(text, entries);
  for (const auto& entry : entries) {
    FUZZ_CHECK(entry.first.find_first_of("=\n") == std::string::npos);
    FUZZ_CHECK(entry.second.find('\n') == std::string::npos);
  }
  // What is written reads back the same.
  const std::string written = FormatProperties(entries);
  PropertyMap reread;
  ParseProperties(written, reread);
  FUZZ_CHECK(reread == entries);
  FUZZ_CHECK(FormatProperties(reread) == written);

  // No secret value survives the masking.
  const std::string masked = ZbCassandra::MaskSecretValues(text);
  PropertyMap maskedEntries;
  ParseProperties(masked, maskedEntries);
  for (const char* key : ZbCassandra::kSecretKeys) {
    const auto found = maskedEntries.find(key);
    if (found != maskedEntries.end()) FUZZ_CHECK(found->second == "********");
  }
  return 0;
}
