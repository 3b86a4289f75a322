// What the tools that locate a Java executable print, read as paths. Kept
// apart from the commands that produce it, so that any text can be fed to
// the readers.
#pragma once

#include <string>
#include <vector>

namespace ZbCassandra {

// The first word of a process's command line, as the process-list command
// prints it: the output without its leading and trailing line feeds. False
// when nothing is left (the process no longer runs).
bool JavaPathFromCommandOutput(const std::string& output, std::string* path);

// The path that `which` printed: the output without trailing line feeds.
// False when nothing is left.
bool JavaPathFromWhichOutput(const std::string& output, std::string* path);

// The locations that `whereis` listed after its "name:" label, in order:
// the output without trailing line feeds, split at each blank. Empty words
// (from repeated blanks) are kept; they name no existing file.
std::vector<std::string> WhereisLocations(const std::string& output);

}  // namespace ZbCassandra
