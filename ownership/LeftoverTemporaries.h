// What a writer killed before its rename leaves in a Priam configuration
// directory: the whole new content of a file under a temporary name,
// secrets and all, which nothing would ever remove.
#pragma once

#include <string>

namespace ZbCassandra {

// Remove from `confDir` the regular files named as a temporary copy of a
// file the library writes there, and nothing else: "." + name + "." + six
// letters or digits for zbPriam.properties, zbPriamlog4j.properties and
// zbPriam.ended (CYrFile's "w"), and the record's (IsSidecarRecordTemporary). Symbolic
// links are neither followed nor removed. Each removal is logged at level
// 0. Call it only while owning the directory: a write still under way
// would lose its file and fail. Returns how many files went; a directory
// that cannot be read has none.
int RemoveLeftoverTemporaries(const std::string& confDir);

}  // namespace ZbCassandra
