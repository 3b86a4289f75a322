#include "RequestType.h"

namespace ZbCassandra {

bool IsKnownRequestType(requestType type) {
  return type == requestType::Get || type == requestType::Post;
}

}  // namespace ZbCassandra
