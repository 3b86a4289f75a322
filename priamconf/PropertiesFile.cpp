#include "priamconf/PropertiesFile.h"

#include <algorithm>
#include <cstddef>

#include "CYrFile.h"
#include "CYrPath.h"
#include "ControllerLog.h"
#include "ErrorCodes.h"
#include "priamconf/TextFile.h"

namespace ZbCassandra {

std::string PriamPropertiesPath(const std::string& confDir) {
  std::string path = confDir;
  FXPath::Append(path, kPriamPropertiesFileName, 0);
  return path;
}

bool IsValidPropertyKey(const std::string& key) {
  return !key.empty() && key.find_first_of("=\r\n") == std::string::npos;
}

bool IsValidPropertyValue(const std::string& value) {
  return value.find_first_of("\r\n") == std::string::npos;
}

void ParseProperties(const std::string& text, PropertyMap& entries) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    // Searched within the line only: a long run of lines without "=" must
    // not make the scan quadratic.
    const auto lineEnd = text.begin() + static_cast<std::ptrdiff_t>(end);
    const auto equals = std::find(text.begin() + static_cast<std::ptrdiff_t>(start), lineEnd, '=');
    if (equals != lineEnd) {
      const size_t at = static_cast<size_t>(equals - text.begin());
      entries[text.substr(start, at - start)] = text.substr(at + 1, end - at - 1);
    }
    start = end + 1;
  }
}

std::string FormatProperties(const PropertyMap& entries) {
  std::string text;
  for (const auto& entry : entries) {
    text.append(entry.first).append(1, '=').append(entry.second).append(1, '\n');
  }
  return text;
}

CYrError ReadPropertiesFile(const std::string& path, PropertyMap& entries) {
  // Opening first tells a missing file from one that cannot be read.
  CYrFile probe;
  CYrError cause = probe.Open(path, "r");
  if (cause.IsError()) {
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidData, "Failed to open %s file",
                                   path.c_str())
        .Push(PRIAM_LOCATION, "%s", cause.Message().c_str());
  }
  probe.Close();
  std::string text;
  cause = ReadTextFile(path, text);
  if (cause.IsError()) {
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidData, "Failed to read %s file",
                                   path.c_str())
        .Push(PRIAM_LOCATION, "%s", cause.Message().c_str());
  }
  ParseProperties(text, entries);
  return CYrError::Success();
}

CYrError WritePropertiesFile(const std::string& path, const PropertyMap& entries) {
  const CYrError cause = ReplaceTextFile(path, FormatProperties(entries));
  if (cause.IsError()) {
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidData, "Failed to write %s file",
                                   path.c_str())
        .Push(PRIAM_LOCATION, "%s", cause.Message().c_str());
  }
  return CYrError::Success();
}

}  // namespace ZbCassandra
