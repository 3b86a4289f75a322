#include "ScopedEnvironment.h"

#include <cstdlib>

#include "ZBPlatformInfo.h"

namespace testsupport {

ScopedEnv::ScopedEnv(const std::string& name, const char* value) : m_name(name) {
  const char* old = std::getenv(name.c_str());
  m_hadValue = old != nullptr;
  if (old) m_oldValue = old;
  if (value) {
    setenv(name.c_str(), value, 1);
  } else {
    unsetenv(name.c_str());
  }
}

ScopedEnv::~ScopedEnv() {
  if (m_hadValue) {
    setenv(m_name.c_str(), m_oldValue.c_str(), 1);
  } else {
    unsetenv(m_name.c_str());
  }
}

FakeTools::FakeTools() {
  const char* path = std::getenv("PATH");
  const std::string newPath = m_dir.path() + ":" + (path ? path : "/usr/bin:/bin");
  m_path.reset(new ScopedEnv("PATH", newPath.c_str()));
}

void FakeTools::Add(const std::string& name, const std::string& body) {
  WriteFile(m_dir.file(name), "#!/bin/sh\n" + body + "\n", 0755);
}

void FakeTools::AddPrinting(const std::string& name, const std::string& output, int status) {
  // The output goes through a file so that no character of it is special.
  const std::string data = m_dir.file("." + name + ".out");
  WriteFile(data, output);
  Add(name, "cat '" + data + "'\nexit " + std::to_string(status));
}

ScopedConfigStore::ScopedConfigStore() : m_path(m_dir.file("platform.ini")) {
  Save();
  m_env.reset(new ScopedEnv(ZBPlatformInfo::kConfigVariable, m_path.c_str()));
}

void ScopedConfigStore::Set(const std::string& section, const std::string& name,
                            const std::string& value) {
  m_values[section][name] = value;
  Save();
}

void ScopedConfigStore::Remove(const std::string& section, const std::string& name) {
  m_values[section].erase(name);
  Save();
}

void ScopedConfigStore::Save() const {
  std::string content;
  for (const auto& section : m_values) {
    content += "[" + section.first + "]\n";
    for (const auto& value : section.second) content += value.first + "=" + value.second + "\n";
  }
  WriteFile(m_path, content);
}

}  // namespace testsupport
