#include "PropertySources.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace priamctl {

namespace {

// KEY=REST split at the first "="; false when there is no "=" or no key.
bool SplitAssignment(const std::string& text, std::string* key, std::string* rest) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  *key = text.substr(0, equals);
  *rest = text.substr(equals + 1);
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* content) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  *content = text.str();
  return !in.bad();
}

void DropLineEnd(std::string* text) {
  if (!text->empty() && text->back() == '\n') text->pop_back();
  if (!text->empty() && text->back() == '\r') text->pop_back();
}

// A file that holds passwords must not be readable by anyone but its owner.
bool CheckOwnerOnly(const std::string& path, std::string* error) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    *error = "cannot read " + path;
    return false;
  }
  if ((status.st_mode & 077) != 0) {
    *error = path + " is readable by group or others; make it owner-only (chmod 600)";
    return false;
  }
  return true;
}

bool ReadPropertiesFile(const std::string& path, std::map<std::string, std::string>* result,
                        std::string* error) {
  std::string content;
  if (!CheckOwnerOnly(path, error)) return false;
  if (!ReadWholeFile(path, &content)) {
    *error = "cannot read " + path;
    return false;
  }
  std::istringstream lines(content);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
    std::string key;
    std::string value;
    if (!SplitAssignment(line, &key, &value)) {
      *error = path + ":" + std::to_string(number) + ": not a KEY=VALUE line";
      return false;
    }
    (*result)[key] = value;
  }
  return true;
}

}  // namespace

void AddPropertyOptions(CLI::App& command, PropertySources& sources) {
  command.add_option("--properties-file", sources.propertiesFile,
                     "KEY=VALUE lines to write into zbPriam.properties (# comments allowed);\n"
                     "must be owner-only (chmod 600) since it may hold passwords");
  command.add_option("--property", sources.inlineValues,
                     "KEY=VALUE to write into zbPriam.properties (not for passwords:\n"
                     "the command line is visible to every user)");
  command.add_option("--property-from-env", sources.fromEnv,
                     "KEY=VARIABLE: the value is the environment variable VARIABLE");
  command.add_option("--property-from-file", sources.fromFile,
                     "KEY=FILE: the value is the content of FILE (one line; a final\n"
                     "line feed is dropped)");
}

bool CollectProperties(const PropertySources& sources, std::map<std::string, std::string>* result,
                       std::string* error) {
  if (!sources.propertiesFile.empty() &&
      !ReadPropertiesFile(sources.propertiesFile, result, error)) {
    return false;
  }
  std::string key;
  std::string rest;
  for (const std::string& text : sources.inlineValues) {
    if (!SplitAssignment(text, &key, &rest)) {
      *error = "--property wants KEY=VALUE";
      return false;
    }
    (*result)[key] = rest;
  }
  for (const std::string& text : sources.fromEnv) {
    const char* value = SplitAssignment(text, &key, &rest) ? getenv(rest.c_str()) : nullptr;
    if (!value) {
      *error = "--property-from-env " + text + ": wants KEY=VARIABLE with VARIABLE set";
      return false;
    }
    (*result)[key] = value;
  }
  for (const std::string& text : sources.fromFile) {
    std::string value;
    if (!SplitAssignment(text, &key, &rest) || !ReadWholeFile(rest, &value)) {
      *error = "--property-from-file " + text + ": wants KEY=FILE with FILE readable";
      return false;
    }
    DropLineEnd(&value);
    (*result)[key] = value;
  }
  return true;
}

}  // namespace priamctl
