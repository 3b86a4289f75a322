// The --log-file: appended to, and owner-only whatever it was before, since
// at level 2 and 3 it holds the node's command lines and file contents.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "StreamLogWriter.h"

namespace priamctl {

// A writer that appends to `path` at `level`, the file created or made
// owner-only (0600). False, with a one-line reason in `*error`, for a path
// that is not a regular file (a directory, a device), a symbolic link (its
// target's mode is not priamctl's to change), or a file that cannot be
// opened or made owner-only.
bool OpenOwnerOnlyLogFile(const std::string& path, int level,
                          boost::shared_ptr<StreamLogWriter>* writer, std::string* error);

}  // namespace priamctl
