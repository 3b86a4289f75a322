// Which values of requestType the REST client can send.
#pragma once

#include "PriamUtil.h"

namespace ZbCassandra {

// True for Get and Post. Any other value (a cast integer) has no HTTP
// method and must be refused before anything is sent.
bool IsKnownRequestType(requestType type);

}  // namespace ZbCassandra
