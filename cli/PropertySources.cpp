#include "PropertySources.h"

#include <sys/stat.h>

#include <cstdlib>
#include <sstream>

#include "ReadableFile.h"
#include "discovery/NodeValueJudgement.h"

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

// The keys whose values are passwords or tokens: the controller takes them
// out of zbPriam.properties after every launch.
const char* const kSecretKeys[] = {"priam.cqluserpassword",   "priam.jmx.token",
                                   "priam.server.kspasswd",   "priam.server.tspasswd",
                                   "priam.keystore.password", "priam.truststore.password"};

// The content of the file at `path`; false, with what is wrong with the
// file in `*why`, when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* content, std::string* why) {
  *why = WhyNotReadable(path);
  if (!why->empty()) return false;
  *content = ReadText(path);
  return true;
}

void DropLineEnd(std::string* text) {
  if (!text->empty() && text->back() == '\n') text->pop_back();
  if (!text->empty() && text->back() == '\r') text->pop_back();
}

// A key or value becomes one line of zbPriam.properties: a line break would
// start another entry, and other control characters (a binary file given by
// mistake) are no property either. Checked here, before the controller
// replaces the file, rather than refused by it afterwards.
bool IsOneLineOfText(const std::string& text) {
  return ZbCassandra::IsText(text) && text.find_first_of("\r\n") == std::string::npos;
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
  std::string why;
  if (!ReadWholeFile(path, &content, &why)) {
    *error = "--properties-file " + path + " " + why;
    return false;
  }
  if (!CheckOwnerOnly(path, error)) return false;
  std::istringstream lines(content);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
    std::string key;
    std::string value;
    if (!SplitAssignment(line, &key, &value) || !IsOneLineOfText(line)) {
      *error = path + ":" + std::to_string(number) + ": not a KEY=VALUE line of text";
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
    if (!SplitAssignment(text, &key, &rest) || !IsOneLineOfText(text)) {
      *error = "--property wants KEY=VALUE on one line of text";
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
    if (!IsOneLineOfText(key) || !IsOneLineOfText(value)) {
      *error = "--property-from-env " + text + ": the value is not one line of text";
      return false;
    }
    (*result)[key] = value;
  }
  for (const std::string& text : sources.fromFile) {
    if (!SplitAssignment(text, &key, &rest)) {
      *error = "--property-from-file " + text + ": wants KEY=FILE";
      return false;
    }
    std::string value;
    std::string why;
    if (!ReadWholeFile(rest, &value, &why)) {
      *error = "--property-from-file " + text + ": " + rest + " " + why;
      return false;
    }
    DropLineEnd(&value);
    if (!IsOneLineOfText(key) || !IsOneLineOfText(value)) {
      *error = "--property-from-file " + text + ": " + rest + " is not one line of text";
      return false;
    }
    (*result)[key] = value;
  }
  return true;
}

std::vector<std::string> SecretKeysGivenInline(const PropertySources& sources) {
  std::vector<std::string> keys;
  for (const std::string& text : sources.inlineValues) {
    const std::string key = text.substr(0, text.find('='));
    for (const char* secret : kSecretKeys) {
      if (key == secret) keys.push_back(key);
    }
  }
  return keys;
}

std::vector<std::string> EmptySecretKeys(const std::map<std::string, std::string>& properties) {
  std::vector<std::string> keys;
  for (const char* secret : kSecretKeys) {
    const auto found = properties.find(secret);
    if (found != properties.end() && found->second.empty()) keys.push_back(secret);
  }
  return keys;
}

}  // namespace priamctl
