#include "priamconf/KeyUpdate.h"

namespace ZbCassandra {

std::string SetKeyInText(const std::string& content, const std::string& key,
                         const std::string& value) {
  const std::string entry = key + "=" + value + "\n";
  const std::string assignment = key + "=";
  // A key that is mentioned only without a following "=" (in a comment, or
  // as "key = value") has no line to replace: the entry is appended, so
  // that the value is set rather than silently dropped.
  if (content.find(assignment) == std::string::npos) {
    std::string result = content;
    if (!result.empty() && result.back() != '\n') result += '\n';
    return result + entry;
  }
  std::string result;
  result.reserve(content.size());
  size_t copied = 0;
  for (size_t at = content.find(assignment); at != std::string::npos;
       at = content.find(assignment, copied)) {
    result.append(content, copied, at - copied).append(entry);
    const size_t lineEnd = content.find('\n', at + assignment.size());
    copied = lineEnd == std::string::npos ? content.size() : lineEnd + 1;
  }
  return result.append(content, copied, std::string::npos);
}

}  // namespace ZbCassandra
