#include "DemoWorkspace.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "ReadableFile.h"

namespace priamctl {

namespace fs = std::filesystem;

namespace {

std::string MakeTempDirectory() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/priamctl-demo-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) throw std::runtime_error("cannot make a directory in " + pattern);
  return name.data();  // mode 0700
}

}  // namespace

DemoWorkspace::DemoWorkspace(const DemoAssets& assets, const std::string& baseStore)
    : m_root(MakeTempDirectory()) {
  try {
    const fs::path examples(assets.examples);
    for (const std::string& dir : {priamDir(), confDir(), nodeDir(), logDir(), templateDir()}) {
      fs::create_directory(dir);
      fs::permissions(dir, fs::perms::owner_all);
    }
    fs::copy(examples / "node", nodeDir(), fs::copy_options::recursive);
    fs::copy(examples / "templates", templateDir(), fs::copy_options::recursive);
    fs::copy(examples / "priam", priamDir(), fs::copy_options::recursive);
    fs::copy_file(assets.jar, priamDir() + "/priam.jar");

    std::ofstream store(configFile());
    // The store's last assignment of a name wins: the demo's come last.
    if (!baseStore.empty()) store << ReadText(baseStore) << "\n";
    store << "[Cassandra]\nsPriamTemplateDir=" << templateDir() << "\n"
          << "[EventManager]\nsLogFilesDirectory=" << logDir() << "\n";
    if (!store.flush()) throw std::runtime_error("cannot write " + configFile());
  } catch (const std::exception& error) {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
    throw std::runtime_error(std::string("cannot prepare the demo directory: ") + error.what());
  }
}

DemoWorkspace::~DemoWorkspace() {
  std::error_code ignored;
  fs::remove_all(m_root, ignored);
}

}  // namespace priamctl
