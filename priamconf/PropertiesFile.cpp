#include "priamconf/PropertiesFile.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "CYrFile.h"
#include "CYrPath.h"
#include "common/ControllerLog.h"
#include "common/ErrorCodes.h"
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

namespace {

struct Entry {
  std::string_view key;
  std::string_view value;
};

bool KeyBefore(const Entry& a, const Entry& b) { return a.key < b.key; }

// The entries of `text`, in the order of its lines.
std::vector<Entry> SplitEntries(const std::string& text) {
  std::vector<Entry> entries;
  const std::string_view all(text);
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    if (end == std::string_view::npos) end = all.size();
    // Searched within the line only: a long run of lines without "=" must
    // not make the scan quadratic.
    const std::string_view line = all.substr(start, end - start);
    const size_t equals = line.find('=');
    if (equals != std::string_view::npos) {
      entries.push_back({line.substr(0, equals), line.substr(equals + 1)});
    }
    start = end + 1;
  }
  return entries;
}

}  // namespace

void ParseProperties(const std::string& text, PropertyMap& entries) {
  std::vector<Entry> found = SplitEntries(text);
  // Put in key order first (equal keys keep their file order), so that each
  // key goes in after all the others: filling the map is then linear, where
  // a tree descent per line made large files slow.
  if (!std::is_sorted(found.begin(), found.end(), KeyBefore)) {
    std::stable_sort(found.begin(), found.end(), KeyBefore);
  }
  for (size_t i = 0; i < found.size(); ++i) {
    // Of a key on several lines the last one wins.
    if (i + 1 < found.size() && found[i + 1].key == found[i].key) continue;
    const Entry& entry = found[i];
    if (entries.empty() || std::string_view(entries.rbegin()->first) < entry.key) {
      entries.emplace_hint(entries.end(), std::piecewise_construct,
                           std::forward_as_tuple(entry.key), std::forward_as_tuple(entry.value));
    } else {
      entries[std::string(entry.key)] = std::string(entry.value);
    }
  }
}

std::string FormatProperties(const PropertyMap& entries) {
  size_t size = 0;
  for (const auto& entry : entries) size += entry.first.size() + entry.second.size() + 2;
  std::string text;
  text.reserve(size);
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
  if (cause.IsError()) return PropertiesWriteError(path, cause);
  return CYrError::Success();
}

CYrError PropertiesWriteError(const std::string& path, const CYrError& cause) {
  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidData, "Failed to write %s file",
                                 path.c_str())
      .Push(PRIAM_LOCATION, "%s", cause.Message().c_str());
}

}  // namespace ZbCassandra
