// Whole-file text input and output for the sidecar's configuration files.
#pragma once

#include <string>

#include "CYrError.h"

namespace ZbCassandra {

// Read the whole regular file at `path` into `text`; the platform's error
// when it cannot.
CYrError ReadTextFile(const std::string& path, std::string& text);

// Replace the file at `path` with `text`. The new content is written to a
// temporary owner-only (0600) file beside it and renamed over the old one,
// so readers see either the old file or the new one, and a failure leaves
// the old file whole. Returns the platform's error.
CYrError ReplaceTextFile(const std::string& path, const std::string& text);

// Rewrite the regular file at `path` (not through a symbolic link) in
// place with `text`, owner-only (0600), and flush it to disk. It takes no
// new block, so it works where a full filesystem refuses a new copy; but a
// reader may see it half-written, and a crash leaves the new content
// followed by the old one's tail. A `text` longer than the file is refused
// and the file left as it was. Error: errno family, "Cannot overwrite ...".
CYrError OverwriteTextFile(const std::string& path, const std::string& text);

}  // namespace ZbCassandra
