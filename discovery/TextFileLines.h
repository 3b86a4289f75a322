// Line-by-line reading of the node's text files (YAML, properties, shell
// environment scripts).
#pragma once

#include <fstream>
#include <string>

namespace ZbCassandra {

// Lines end at a line feed, which is not part of the line; a carriage return
// before it stays. Only regular files open: a directory, a FIFO or a device
// counts as a file that cannot be opened, so that reading can neither block
// nor run without end, and a file whose first read fails does not open
// either.
class TextFileLines {
 public:
  // False when `path` cannot be opened or read.
  bool Open(const std::string& path);
  // The next line; false at the end of the file or on a read error.
  bool Next(std::string& line);

 private:
  std::ifstream m_in;
};

}  // namespace ZbCassandra
