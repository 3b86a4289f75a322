#include "GuardianOptions.h"

#include <cstdlib>
#include <cstring>

namespace ZbCassandra {

namespace {

bool Value(const char* word, const char* name, std::string* value) {
  const size_t length = strlen(name);
  if (strncmp(word, name, length) != 0) return false;
  *value = word + length;
  return true;
}

bool ParseBytes(const std::string& text, uint64_t* bytes) {
  if (text.empty() || text.size() > 19 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *bytes = std::strtoull(text.c_str(), nullptr, 10);
  return *bytes > 0;
}

}  // namespace

bool ParseGuardianOptions(int argc, const char* const* argv, GuardianOptions* options,
                          std::string* error) {
  bool host = false;
  bool sidecar = false;
  for (int i = 1; i < argc; ++i) {
    std::string value;
    bool ok = true;
    if (Value(argv[i], "--host=", &value)) {
      ok = host = ParseHostStamp(value, &options->host);
    } else if (Value(argv[i], "--sidecar=", &value)) {
      ok = sidecar = ParseHostStamp(value, &options->sidecar);
    } else if (Value(argv[i], "--conf-dir=", &value)) {
      options->confDir = value;
    } else if (Value(argv[i], "--output=", &value)) {
      options->output = value;
    } else if (Value(argv[i], "--output-limit=", &value)) {
      ok = ParseBytes(value, &options->outputLimit);
    } else {
      ok = false;
    }
    if (!ok) {
      *error = std::string("unusable argument: ") + argv[i];
      return false;
    }
  }
  if (!host || !sidecar) {
    *error = "--host=PID:START and --sidecar=PID:START are needed";
    return false;
  }
  return true;
}

std::vector<std::string> GuardianArguments(const GuardianOptions& options) {
  return {"--host=" + HostStamp(options.host), "--sidecar=" + HostStamp(options.sidecar),
          "--conf-dir=" + options.confDir, "--output=" + options.output,
          "--output-limit=" + std::to_string(options.outputLimit)};
}

}  // namespace ZbCassandra
