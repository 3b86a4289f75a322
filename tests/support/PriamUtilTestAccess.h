// What tests may reach inside a controller: its fields, and a way to put it
// into the started state without launching a sidecar.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "PriamUtil.h"
#include "ZBLibCurl.h"
#include "ZbProcess.h"
#include "supervision/SidecarSupervision.h"

namespace ZbCassandra {

class PriamUtilTestAccess {
 public:
  // Make the HTTP client ready and mark the sidecar started at `url`, as a
  // launch does.
  static bool MarkStarted(PriamUtil& controller, const std::string& url) {
    if (!controller.m_curl->ZBLibCurlInit(nullptr, false, false, nullptr)) return false;
    controller.m_priamStarted = true;
    controller.m_priamUrl = url;
    return true;
  }

  static bool& started(PriamUtil& c) { return c.m_priamStarted; }
  static int& port(PriamUtil& c) { return c.m_priamPort; }
  static std::string& url(PriamUtil& c) { return c.m_priamUrl; }
  static CYrString& javaPath(PriamUtil& c) { return c.m_javaPath; }
  static std::string& priamConfDir(PriamUtil& c) { return c.m_priamConfDir; }
  static std::string& cassandraYamlFile(PriamUtil& c) { return c.m_cassandraYamlFile; }
  static std::string& cassandraFlavor(PriamUtil& c) { return c.m_cassandraFlavor; }
  static std::string& cqlPort(PriamUtil& c) { return c.m_cqlPort; }
  static std::string& cqlHost(PriamUtil& c) { return c.m_cqlHost; }
  static std::string& jmxPort(PriamUtil& c) { return c.m_jmxPort; }
  static bool& initFailed(PriamUtil& c) { return c.m_initFailed; }
  static ZBLibCurl& curl(PriamUtil& c) { return *c.m_curl; }
  static std::unique_ptr<ZbProcess>& process(PriamUtil& c) { return c.m_process; }
  // Called between the sidecar's start and its record.
  static std::function<void(pid_t)>& afterSpawn(PriamUtil& c) {
    return c.sidecarSupervision().afterSpawn;
  }
};

}  // namespace ZbCassandra
