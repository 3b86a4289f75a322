// The host's configuration store.
//
// Backed by an INI file ("[Section]" headers, "name=value" lines, ";" or "#"
// comment lines) whose path is in the environment variable
// ZB_PLATFORM_CONFIG. Every lookup looks at the file, so a value can change
// between two calls; only a file that has not changed since it was last
// read (and not for over a second before that) is not read again. With the
// variable unset, or the file missing, unreadable or not a regular file,
// every value is absent. Lookups may come from several threads.
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
