// Environment changes that a test undoes when it ends: a variable, PATH with
// a directory of fake tools in front, and the configuration store file.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "TempDir.h"

namespace testsupport {

// Sets (or, with a null value, unsets) a variable; restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  bool m_hadValue;
  std::string m_oldValue;
};

// A directory of executable scripts put first on PATH, so that the code
// under test runs them in place of the real tools.
class FakeTools {
 public:
  FakeTools();
  // Install `name` as a /bin/sh script with `body` (without the #! line).
  void Add(const std::string& name, const std::string& body);
  // A script that prints `output` exactly and exits with `status`.
  void AddPrinting(const std::string& name, const std::string& output, int status = 0);
  const std::string& directory() const { return m_dir.path(); }

 private:
  TempDir m_dir;
  std::unique_ptr<ScopedEnv> m_path;
};

// An INI configuration store in a temporary file, named by
// ZB_PLATFORM_CONFIG while the object lives.
class ScopedConfigStore {
 public:
  ScopedConfigStore();
  // Set a value and rewrite the file.
  void Set(const std::string& section, const std::string& name, const std::string& value);
  void Remove(const std::string& section, const std::string& name);
  const std::string& path() const { return m_path; }

 private:
  void Save() const;

  TempDir m_dir;
  std::string m_path;
  std::map<std::string, std::map<std::string, std::string>> m_values;
  std::unique_ptr<ScopedEnv> m_env;
};

}  // namespace testsupport
