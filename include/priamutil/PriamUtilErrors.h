// The codes of the errors a Priam controller returns (PriamUtil.h says which
// call returns which, and why).
//
// A CYrError carries a family and a code: these are numbers of the Windows
// system error table, used in the Win32 family (CYrError::Family::kWin32)
// and, for some, in the errno family (kErrNo). Compare both:
//
//   if (error.GetFamily() == CYrError::Family::kWin32 &&
//       error.Code() == ZbCassandra::kCancelled) ...
//
// Besides these, the file steps of construction and
// AddOrUpdateFieldInConfigFile() pass on the system's own errno values
// (<cerrno>, errno family) when a file cannot be copied, read or written.
// The message (CYrError::Message()) is for people; its words may change.
// PriamUtil::failureOf() tells the cause behind a code, from a fixed set,
// and whether the same call made again later can succeed.
#pragma once

#include <cstdint>

namespace ZbCassandra {

// Win32: the sidecar answered 401, it cannot log in to the node. Retrying
// does not help; check the credentials written with the properties.
constexpr uint32_t kAccessDenied = 5;
// Win32: the properties file or the log4j file cannot be read or written.
constexpr uint32_t kInvalidData = 13;
// Win32: the host is out of memory.
constexpr uint32_t kOutOfMemory = 14;
// Win32: an argument is refused (a property that would break the file's
// format, an unknown request type, a time limit of 0), or the node's YAML
// file cannot be used (missing, no data directories).
constexpr uint32_t kInvalidParameter = 87;
// Win32: no Java executable was found (construction).
constexpr uint32_t kNotFound = 1168;
// Win32: the host called cancel(); the call ended before its time.
constexpr uint32_t kCancelled = 1223;
// Win32: the call's own time limit (setCallTimeLimit()) passed; the object
// works on, and the next call may succeed.
constexpr uint32_t kTimeout = 1460;
// Win32: the launch could not tell which port its sidecar listens on, or an
// unexpected failure. errno family: the sidecar could not be killed.
constexpr uint32_t kInternalError = 1359;
// errno family: a launch was refused or failed (initialization had failed,
// another host owns the directory or runs a sidecar from it, no free port,
// the sidecar could not be started or exited during its start); a write
// into a directory that is not this host's; an object copied by fork(); a
// directory that cannot be read (reportDirectory); a sidecar of the
// directory that could not be stopped (stopDirectorySidecars).
constexpr uint32_t kFunctionFailed = 1627;
// Win32: a request got an answer other than 2xx, 401 and 503, got none (the
// sidecar refused the connection, did not answer within the time limit, or
// is stopped). errno family: no sidecar to ask (never launched, stopped by
// the host, or exited: the message then says how it ended), or the HTTP
// client could not be set up.
constexpr uint32_t kNotConnected = 2250;
// Win32: the sidecar answered 503, its own back end is unavailable.
constexpr uint32_t kResourceUnavailable = 5006;

}  // namespace ZbCassandra
