#include "DemoAssets.h"

#include <filesystem>
#include <system_error>

namespace priamctl {

namespace fs = std::filesystem;

namespace {

// The installed share/priamutil/, relative to the running executable.
fs::path InstalledDataDir() {
  std::error_code error;
  const fs::path executable = fs::read_symlink("/proc/self/exe", error);
  if (error) return fs::path();
  return executable.parent_path() / PRIAMCTL_DATADIR_FROM_BINDIR;
}

// The first candidate that exists, or "".
std::string FirstExisting(std::initializer_list<fs::path> candidates, std::string* tried) {
  for (const fs::path& candidate : candidates) {
    std::error_code error;
    if (!candidate.empty() && fs::exists(candidate, error)) return candidate.lexically_normal();
    *tried += (tried->empty() ? "" : ", ") + candidate.string();
  }
  return std::string();
}

}  // namespace

bool FindDemoAssets(DemoAssets* assets, std::string* error) {
  const fs::path installed = InstalledDataDir();
  std::string tried;
  assets->jar = FirstExisting({PRIAM_STANDIN_JAR, installed / "standin" / "priam.jar"}, &tried);
  if (assets->jar.empty()) {
    *error = "the stand-in sidecar is missing (looked at " + tried + ")";
    return false;
  }
  tried.clear();
  assets->examples = FirstExisting({PRIAMCTL_SOURCE_EXAMPLES, installed / "examples"}, &tried);
  if (assets->examples.empty()) {
    *error = "the sample files are missing (looked at " + tried + ")";
    return false;
  }
  tried.clear();
  assets->java = FirstExisting({PRIAM_STANDIN_JAVA}, &tried);
  return true;
}

}  // namespace priamctl
