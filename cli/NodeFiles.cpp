#include "NodeFiles.h"

#include <fstream>

#include "ReadableFile.h"
#include "ZBPlatformInfo.h"

namespace priamctl {

namespace {

constexpr const char kDefaultTemplateDir[] = "/etc/Priam";
constexpr const char kTrimmed[] = " \t\n\"";

std::string StoreValue(const char* section, const char* name) {
  std::string value;
  ZBPlatformInfo().getString(section, name, &value);
  return value;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(kTrimmed);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(kTrimmed) - first + 1);
}

// The text between the first `separator` after `from` and the next one (or
// the line's end); npos `from` gives nothing.
std::string Field(const std::string& line, size_t from, char separator) {
  if (from == std::string::npos) return std::string();
  const size_t end = line.find(separator, from + 1);
  return line.substr(from + 1, end == std::string::npos ? std::string::npos : end - from - 1);
}

// Like the controller, only a readable regular file is read: a FIFO would
// block, a device would never end.
bool OpenLines(const std::string& path, std::ifstream* in) {
  if (!WhyNotReadable(path).empty()) return false;
  in->open(path);
  return in->is_open();
}

// The controller takes a line "priam.cass.process=NAME" only when it holds
// no other "=", and the last such line wins.
bool TemplateSaysScylla() {
  std::ifstream in;
  if (!OpenLines(PropertiesTemplatePath(), &in)) return false;
  const std::string key = "priam.cass.process=";
  std::string process;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key, 0) == 0 && line.find('=', key.size()) == std::string::npos) {
      process = line.substr(key.size());
    }
  }
  return process == "scylla";
}

}  // namespace

std::string PropertiesTemplatePath() {
  const std::string configured = StoreValue("Cassandra", "sPriamTemplateDir");
  return (configured.empty() ? kDefaultTemplateDir : configured) + "/zbPriam.properties";
}

std::string NodeYamlFile(const std::string& nodeDir) {
  const std::string configured = StoreValue("Cassandra", "sCassandraYamlFile");
  if (!configured.empty()) return configured;
  return nodeDir + (TemplateSaysScylla() ? "/scylla.yaml" : "/cassandra.yaml");
}

std::string NodeEnvScript(const std::string& nodeDir) { return nodeDir + "/cassandra-env.sh"; }

std::string CqlPortInYaml(const std::string& yamlFile) {
  std::ifstream in;
  if (!OpenLines(yamlFile, &in)) return std::string();
  const std::string key = "native_transport_port";
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find(key);
    if (at == std::string::npos || at > line.find('#')) continue;
    return Trimmed(Field(line, line.find(':'), ':'));
  }
  return std::string();
}

std::string JmxPortInEnvScript(const std::string& envScript) {
  std::ifstream in;
  if (!OpenLines(envScript, &in)) return std::string();
  const std::string key = "JMX_PORT";
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key + "=", 0) != 0) continue;
    // The trim takes the quotes around a quoted value too.
    return Trimmed(Field(line, key.size(), '='));
  }
  return std::string();
}

}  // namespace priamctl
