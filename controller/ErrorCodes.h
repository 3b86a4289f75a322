// The error codes the controller reports: numbers of the Windows system
// error table, used in either error family.
#pragma once

#include <cstdint>

namespace ZbCassandra {

constexpr uint32_t kAccessDenied = 5;  // the sidecar answered 401
constexpr uint32_t kInvalidData = 13;  // properties file cannot be used
constexpr uint32_t kOutOfMemory = 14;
constexpr uint32_t kInvalidParameter = 87;       // YAML file unusable, bad argument
constexpr uint32_t kNotFound = 1168;             // no Java executable
constexpr uint32_t kInternalError = 1359;        // cannot kill, port validation failed
constexpr uint32_t kFunctionFailed = 1627;       // launch refused or failed
constexpr uint32_t kNotConnected = 2250;         // sidecar not reachable or not started
constexpr uint32_t kResourceUnavailable = 5006;  // the sidecar answered 503

}  // namespace ZbCassandra
