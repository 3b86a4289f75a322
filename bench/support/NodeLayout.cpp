#include "NodeLayout.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "InputFiles.h"

namespace bench {

namespace {

constexpr const char* kEnvScript =
    "# Environment of the node's JVM\n"
    "MAX_HEAP_SIZE=\"4G\"\n"
    "HEAP_NEWSIZE=\"800M\"\n"
    "# Specifies the default port over which Cassandra will be available for\n"
    "# JMX connections.\n"
    "JMX_PORT=\"7199\"\n"
    "JVM_OPTS=\"$JVM_OPTS -Dcom.sun.management.jmxremote.port=$JMX_PORT\"\n";

constexpr const char* kPropertiesTemplate =
    "priam.cass.process=cassandra\n"
    "priam.backup.retention=7\n"
    "priam.backup.threads=2\n";

constexpr const char* kLog4jTemplate =
    "log4j.rootLogger=INFO, R\n"
    "log4j.appender.R=org.apache.log4j.RollingFileAppender\n"
    "log4j.appender.R.File=/var/log/priam.log\n"
    "log4j.appender.R.layout=org.apache.log4j.PatternLayout\n";

void MakeDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0) throw std::runtime_error("cannot create " + path);
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

}  // namespace

NodeLayout::NodeLayout(const std::string& priamJar) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/priam-bench.XXXXXX";
  if (!mkdtemp(&pattern[0])) throw std::runtime_error("cannot create a temporary directory");
  m_root = pattern;
  for (const std::string& dir : {nodeDir(), templateDir(), priamDir(), confDir(), logDir()}) {
    MakeDirectory(dir);
  }
  WriteTextFile(nodeDir() + "/cassandra.yaml", YamlText(0));
  WriteTextFile(nodeDir() + "/cassandra-env.sh", kEnvScript);
  WriteTextFile(templateDir() + "/zbPriam.properties", kPropertiesTemplate);
  WriteTextFile(priamDir() + "/zblog4j.properties", kLog4jTemplate);
  if (!priamJar.empty() && symlink(priamJar.c_str(), (priamDir() + "/priam.jar").c_str()) != 0) {
    throw std::runtime_error("cannot link " + priamJar);
  }
  WriteTextFile(store(), "[Cassandra]\nsPriamTemplateDir=" + templateDir() +
                             "\n[EventManager]\nsLogFilesDirectory=" + logDir() + "\n");
}

NodeLayout::~NodeLayout() { nftw(m_root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

void NodeLayout::UseStore() const { setenv("ZB_PLATFORM_CONFIG", store().c_str(), 1); }

void WriteTextFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void CopyTextFile(const std::string& from, const std::string& to) {
  WriteTextFile(to, ReadTextFile(from));
}

}  // namespace bench
