// The demo's temporary directory: a copy of the sample node and Priam
// files, a configuration store that points the controller into it, and
// nothing else. Removed with everything in it when the object goes.
#pragma once

#include <string>

#include "DemoAssets.h"

namespace priamctl {

class DemoWorkspace {
 public:
  // Throws std::runtime_error when the directory cannot be made or filled.
  explicit DemoWorkspace(const DemoAssets& assets);
  ~DemoWorkspace();
  DemoWorkspace(const DemoWorkspace&) = delete;
  DemoWorkspace& operator=(const DemoWorkspace&) = delete;

  const std::string& root() const { return m_root; }
  std::string priamDir() const { return m_root + "/priam"; }
  std::string confDir() const { return m_root + "/conf"; }
  std::string nodeDir() const { return m_root + "/node"; }
  std::string logDir() const { return m_root + "/logs"; }
  std::string templateDir() const { return m_root + "/templates"; }
  // The INI store: the template directory and the log directory.
  std::string configFile() const { return m_root + "/priamutil.ini"; }

 private:
  std::string m_root;
};

}  // namespace priamctl
