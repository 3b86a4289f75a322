// A node and a Priam installation laid out in a fresh temporary directory,
// removed with its content when the object goes:
//   node/       cassandra.yaml, cassandra-env.sh (the node's configuration)
//   templates/  zbPriam.properties (the properties template)
//   priam/      zblog4j.properties, and priam.jar when a jar is given
//   conf/       where the controller prepares the sidecar's files
//   logs/       the host's log directory
//   store.ini   the configuration store naming templates/ and logs/
// Failures throw std::runtime_error: a benchmark cannot run without it.
#pragma once

#include <string>

namespace bench {

class NodeLayout {
 public:
  // `priamJar`: linked as priam/priam.jar when not empty.
  explicit NodeLayout(const std::string& priamJar = std::string());
  ~NodeLayout();
  NodeLayout(const NodeLayout&) = delete;
  NodeLayout& operator=(const NodeLayout&) = delete;

  const std::string& root() const { return m_root; }
  std::string nodeDir() const { return m_root + "/node"; }
  std::string templateDir() const { return m_root + "/templates"; }
  std::string priamDir() const { return m_root + "/priam"; }
  std::string confDir() const { return m_root + "/conf"; }
  std::string logDir() const { return m_root + "/logs"; }
  std::string store() const { return m_root + "/store.ini"; }

  // Name the store in ZB_PLATFORM_CONFIG, for this process and its children.
  void UseStore() const;

 private:
  std::string m_root;
};

// Replace the file at `path` with `content`.
void WriteTextFile(const std::string& path, const std::string& content);
std::string ReadTextFile(const std::string& path);
// The same bytes under another name.
void CopyTextFile(const std::string& from, const std::string& to);

}  // namespace bench
