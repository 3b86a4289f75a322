// The demo's temporary directory: a copy of the sample node and Priam
// files, a configuration store that points the controller into it, and
// nothing else. Removed with everything in it when the object goes.
//
// The store starts from the user's --config, if any, so that its settings
// (the sidecar's debug level, the port check, the Java path) show in the
// demo; the template and log directories are always the demo's own.
#pragma once

#include <string>

#include "DemoAssets.h"

namespace priamctl {

class DemoWorkspace {
 public:
  // `baseStore`: the store to start from; empty for none. Throws
  // std::runtime_error when the directory cannot be made or filled.
  DemoWorkspace(const DemoAssets& assets, const std::string& baseStore);
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
