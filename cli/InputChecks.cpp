#include "InputChecks.h"

#include <fstream>

#include "ReadableFile.h"
#include "ZBPlatformInfo.h"

namespace priamctl {

namespace {

constexpr const char kDefaultTemplateDir[] = "/etc/Priam";
constexpr const char kStoreHelp[] = "the configuration store (--config FILE)";

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A line a store may hold; the store's reader skips anything else without
// a word.
bool IsStoreLine(const std::string& line) {
  if (line.find('\0') != std::string::npos) return false;
  const std::string text = Trimmed(line);
  if (text.empty() || text[0] == '#' || text[0] == ';') return true;
  if (text.front() == '[') return text.back() == ']';
  return text.find('=') != std::string::npos && text[0] != '=';
}

std::string StoreValue(const char* section, const char* name) {
  std::string value;
  ZBPlatformInfo().getString(section, name, &value);
  return value;
}

// `path`, a file the controller reads when it is there, is either absent
// or readable.
bool CheckIfPresent(const std::string& path, const std::string& what, std::string* error) {
  const std::string why = WhyNotReadable(path);
  if (why.empty() || why == "does not exist") return true;
  *error = what + " " + path + " " + why;
  return false;
}

bool CheckTemplate(std::string* error) {
  const std::string configured = StoreValue("Cassandra", "sPriamTemplateDir");
  const std::string directory = configured.empty() ? kDefaultTemplateDir : configured;
  const std::string path = directory + "/zbPriam.properties";
  const std::string why = WhyNotReadable(path);
  if (why.empty()) return true;
  *error = "the properties template " + path + " " + why + "; name the directory that holds " +
           "zbPriam.properties as sPriamTemplateDir in section [Cassandra] of " + kStoreHelp;
  return false;
}

}  // namespace

bool CheckStoreFile(const std::string& path, std::string* error) {
  const std::string why = WhyNotReadable(path);
  if (!why.empty()) {
    *error = "--config " + path + " " + why;
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!IsStoreLine(line)) {
      *error = "--config " + path + ":" + std::to_string(number) +
               ": not a [Section], name=value or comment line";
      return false;
    }
  }
  return true;
}

bool CheckNodeInputs(const NodeOptions& options, std::string* error) {
  if (!CheckTemplate(error)) return false;
  const std::string configuredYaml = StoreValue("Cassandra", "sCassandraYamlFile");
  if (!configuredYaml.empty()) {
    if (!CheckIfPresent(configuredYaml, "the YAML file (sCassandraYamlFile)", error)) return false;
  } else {
    // Which of the two the controller reads depends on the flavor in the
    // template; either one that is there must be readable.
    for (const char* name : {"cassandra.yaml", "scylla.yaml"}) {
      if (!CheckIfPresent(options.cassandraConfDir + "/" + name, "the node's file", error)) {
        return false;
      }
    }
  }
  return CheckIfPresent(options.cassandraConfDir + "/cassandra-env.sh", "the node's file", error);
}

bool CheckSidecarJar(const NodeOptions& options, std::string* error) {
  const std::string jar = options.priamDir + "/priam.jar";
  const std::string why = WhyNotReadable(jar);
  if (why.empty()) return true;
  *error = "--priam-dir " + options.priamDir + " holds no sidecar: " + jar + " " + why;
  return false;
}

}  // namespace priamctl
