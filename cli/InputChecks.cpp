#include "InputChecks.h"

#include <fstream>

#include "ReadableFile.h"
#include "discovery/NodeFiles.h"
#include "priamconf/PropertiesTemplate.h"

namespace priamctl {

namespace {

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

// `path`, a file the controller reads when it is there, is either absent
// or readable.
bool CheckIfPresent(const std::string& path, const std::string& what, std::string* error) {
  const std::string why = WhyNotReadable(path);
  if (why.empty() || why == "does not exist") return true;
  *error = what + " " + path + " " + why;
  return false;
}

bool CheckTemplate(std::string* error) {
  const std::string path = ZbCassandra::PropertiesTemplatePath();
  const std::string why = WhyNotReadable(path);
  if (why.empty()) return true;
  *error = "the properties template " + path + " " + why + "; name the directory that holds " +
           "zbPriam.properties as sPriamTemplateDir in section [Cassandra] of " + kStoreHelp;
  return false;
}

// The controller reads the YAML file for the ports, the data directories
// and the seeds; without it every answer would be a default.
bool CheckYamlFile(const std::string& nodeDir, std::string* error) {
  const std::string path = ZbCassandra::NodeYamlFileFromTemplate(nodeDir);
  const std::string why = WhyNotReadable(path);
  if (why.empty()) return true;
  *error = "the node's file " + path + " " + why +
           "; point --cassandra-conf-dir at the node's configuration directory, or name its YAML "
           "file as sCassandraYamlFile in section [Cassandra] of " +
           kStoreHelp;
  return false;
}

// The log4j template is copied only while the configuration directory has
// no log4j file of its own; an existing one is updated in place.
bool CheckLog4jFiles(const NodeOptions& options, std::string* error) {
  const std::string own = options.priamConfDir + "/zbPriamlog4j.properties";
  if (!CheckIfPresent(own, "the sidecar's log4j file", error)) return false;
  if (WhyNotReadable(own).empty()) return true;
  const std::string path = options.priamDir + "/zblog4j.properties";
  const std::string why = WhyNotReadable(path);
  if (why.empty()) return true;
  *error = "the log4j template " + path + " " + why +
           "; --priam-dir must name the Priam installation directory that holds "
           "zblog4j.properties";
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
  return CheckTemplate(error) && CheckLog4jFiles(options, error) &&
         CheckYamlFile(options.cassandraConfDir, error) &&
         CheckIfPresent(ZbCassandra::NodeEnvScript(options.cassandraConfDir), "the node's file",
                        error);
}

bool CheckSidecarJar(const NodeOptions& options, std::string* error) {
  const std::string jar = options.priamDir + "/priam.jar";
  const std::string why = WhyNotReadable(jar);
  if (why.empty()) return true;
  *error = "--priam-dir " + options.priamDir + " holds no sidecar: " + jar + " " + why;
  return false;
}

}  // namespace priamctl
