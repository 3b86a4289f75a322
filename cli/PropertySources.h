// The sidecar properties a user gives on the command line, and the ways to
// give a password without putting it there (where ps and the shell history
// would show it).
#pragma once

#include <CLI/CLI.hpp>
#include <map>
#include <string>
#include <vector>

namespace priamctl {

struct PropertySources {
  std::string propertiesFile;             // KEY=VALUE lines, owner-only
  std::vector<std::string> inlineValues;  // KEY=VALUE
  std::vector<std::string> fromEnv;       // KEY=VARIABLE
  std::vector<std::string> fromFile;      // KEY=FILE
};

void AddPropertyOptions(CLI::App& command, PropertySources& sources);

// Every property, later sources overriding earlier ones in this order: the
// properties file, --property, --property-from-env, --property-from-file.
// False, with a one-line reason in `*error` (which never holds a value),
// when a source is malformed, missing, readable by others, or gives a key
// or value that is not one line of text.
bool CollectProperties(const PropertySources& sources, std::map<std::string, std::string>* result,
                       std::string* error);

// The secret keys (passwords, tokens) given with --property, where every
// user can read them; each once per time given.
std::vector<std::string> SecretKeysGivenInline(const PropertySources& sources);

// The secret keys among `properties` whose value is empty.
std::vector<std::string> EmptySecretKeys(const std::map<std::string, std::string>& properties);

}  // namespace priamctl
