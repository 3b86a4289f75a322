// The database node's pid file: where the running node says it is, and the
// process id it holds.
#pragma once

#include <string>

namespace ZbCassandra {

// The pid file named in the output of the process-list search for the
// node's pid-file option: the text after the first "=" up to the first white
// space. False when the output has no "=".
bool PidFilePathFromSearchOutput(const std::string& output, std::string* path);

// The process id that a pid file's content holds: the content, trimmed of
// white space, must be a positive decimal number within the range of process
// ids. `*pid` receives it in plain decimal (no sign, no leading zero), so it
// can go into a command line as it is. False for any other content.
bool PidFromPidFileContent(const std::string& content, std::string* pid);

// Read the process id from the pid file at `path`. False with the reason in
// `*why` when the file cannot be read or does not hold a process id. Only a
// small regular file is read, so that a FIFO or a huge file cannot stall
// the caller.
bool ReadPidFile(const std::string& path, std::string* pid, std::string* why);

}  // namespace ZbCassandra
