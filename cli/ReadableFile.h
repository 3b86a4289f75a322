// Reading the files a user names, and saying why one cannot be read the
// way a user needs to hear it.
#pragma once

#include <string>

namespace priamctl {

// Empty when `path` is a regular file that opens for reading; otherwise
// what is wrong, to follow the path in a sentence: "does not exist", "is a
// directory, not a file", "is not a regular file", "cannot be read
// (Permission denied)".
std::string WhyNotReadable(const std::string& path);

// The whole content of the file at `path`; empty when it cannot be read.
std::string ReadText(const std::string& path);

}  // namespace priamctl
