// Where the sidecar's own words go.
//
// Its standard output and error go to "zbPriam.out" in the Priam
// configuration directory: each directory has its own, also when hosts
// share a log-file directory (beside the sidecar's log file when there is no
// configuration directory). Each launch starts a fresh owner-only file and
// keeps the previous one as "zbPriam.out.1": a host that relaunches after a
// crash must not wipe the crash's words. The guardian writes into it, and
// rotates it when it grows (zbPriam.out.1, zbPriam.out.2).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ZbCassandra {

constexpr const char kSidecarOutputName[] = "zbPriam.out";
// Where a launch keeps the output of a sidecar that ended by itself after its
// launch ("zbPriam.out.crash"), out of the rotation of the starts after it.
constexpr const char kCrashOutputSuffix[] = ".crash";
// How large the file grows before it is rotated, unless the store says.
constexpr uint64_t kDefaultOutputLimit = uint64_t{16} << 20;

// The output file for a sidecar of `confDir`; empty when neither directory
// is known (the output then goes to /dev/null).
//
// How large it may grow before it is rotated: the store value "Cassandra" /
// "nPriamOutputLimit" (bytes), 16 MiB when absent or 0.
std::string SidecarOutputPath(const std::string& confDir);
uint64_t SidecarOutputLimit();

// Keep the file at `path` as "<path>.1" and create a fresh one, 0600 whatever
// the umask, never through a symbolic link. The descriptor (close-on-exec),
// or -1 with the reason in `*error`.
int OpenSidecarOutput(const std::string& path, std::string* error);

// The file at `path` is an output file as the library names it
// ("zbPriam.out"), and a regular file (no link) of `owner`, the owner of its
// directory: one that may be shown.
bool IsOwnOutput(const std::string& path, uid_t owner);

// The last `count` non-empty lines of the file, oldest first, each with its
// control characters replaced by "?" and cut to 200 bytes; fewer when the
// file has fewer.
std::vector<std::string> LastOutputLines(const std::string& path, size_t count);
// The last of them; empty when there is none.
std::string LastOutputLine(const std::string& path);

}  // namespace ZbCassandra
