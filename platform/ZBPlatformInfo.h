// The host's configuration store.
//
// Backed by an INI file ("[Section]" headers, "name=value" lines, ";" or "#"
// comment lines) whose path is in the environment variable
// ZB_PLATFORM_CONFIG. The file is read at every lookup, so a value can change
// between two calls. With the variable unset or the file unreadable, every
// value is absent.
#pragma once

#include <cstdint>
#include <string>

class ZBPlatformInfo {
 public:
  static constexpr const char* kConfigVariable = "ZB_PLATFORM_CONFIG";

  // Non-zero when the value exists; it is then written to `*value`.
  // Zero when it is absent; `*value` is left untouched.
  int getString(const char* section, const char* name, std::string* value);
  // As getString, for a value that is a whole unsigned decimal number;
  // anything else counts as absent.
  int getNumber(const char* section, const char* name, uint64_t* value);
};
