#include "DemoAssets.h"

#include <filesystem>
#include <system_error>

namespace priamctl {

namespace fs = std::filesystem;

namespace {

// The running executable, or "" when it cannot be told.
fs::path Executable() {
  std::error_code error;
  const fs::path executable = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : executable;
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
  // Only the priamctl of the build tree uses the files of the build and
  // source trees. Any other copy (an installed one) uses the files installed
  // beside it and nothing else: the build machine's paths mean nothing where
  // it runs, and whoever could create one of them there would choose the jar
  // the demo starts.
  const fs::path executable = Executable();
  const bool inBuildTree =
      !executable.empty() && executable == fs::path(PRIAMCTL_BUILD_TREE_BINARY);
  const fs::path installed = executable.parent_path() / PRIAMCTL_DATADIR_FROM_BINDIR;

  std::string tried;
  assets->jar = FirstExisting(
      {inBuildTree ? fs::path(PRIAM_STANDIN_JAR) : installed / "standin" / "priam.jar"}, &tried);
  if (assets->jar.empty()) {
    *error = "the stand-in sidecar is missing (looked at " + tried + ")";
    return false;
  }
  tried.clear();
  assets->examples = FirstExisting(
      {inBuildTree ? fs::path(PRIAMCTL_SOURCE_EXAMPLES) : installed / "examples"}, &tried);
  if (assets->examples.empty()) {
    *error = "the sample files are missing (looked at " + tried + ")";
    return false;
  }
  // An installed copy leaves Java to the controller's discovery, as a host
  // would.
  tried.clear();
  if (inBuildTree) assets->java = FirstExisting({PRIAM_STANDIN_JAVA}, &tried);
  return true;
}

}  // namespace priamctl
