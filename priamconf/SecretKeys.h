// The keys of the Priam properties file that hold secrets, their removal,
// and the masking that keeps their values out of every log line.
#pragma once

#include <array>
#include <string>

#include "CYrError.h"

namespace ZbCassandra {

// The passwords and the token, in the order in which deleteEntries() takes
// them out of the properties file.
extern const std::array<const char*, 6> kSecretKeys;

// `content` (lines ended by LF) with the value of every secret key replaced
// by "********", for logging: "priam.jmx.token=abc" becomes
// "priam.jmx.token=********". A secret key anywhere in a line masks the rest
// of that line (so "#priam.jmx.token=abc" and "priam.jmx.token = abc" are
// covered too), and a masked line that ends in an odd number of
// backslashes masks the line that continues it. Other lines are unchanged.
std::string MaskSecretValues(const std::string& content);

// Take every secret key out of the properties file at `path` (rewritten
// whole, in key order). `*absent` receives how many of the keys it did not
// hold. When the filesystem has no room for a new copy (ENOSPC, EDQUOT),
// the file is rewritten in place (OverwriteTextFile), which is logged at
// level 0. The errors of ReadPropertiesFile and WritePropertiesFile; the
// latter also when the rewrite in place fails.
CYrError RemoveSecretEntries(const std::string& path, int* absent);

}  // namespace ZbCassandra
