#include "supervision/GuardianProtocol.h"

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

bool ParseDescriptor(const std::string& text, int* fd) {
  if (text.empty() || text.size() > 6 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *fd = std::atoi(text.c_str());
  return *fd > 2;
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
  for (int i = 1; i < argc; ++i) {
    std::string value;
    bool ok = true;
    if (Value(argv[i], "--host=", &value)) {
      ok = host = ParseHostStamp(value, &options->host);
    } else if (Value(argv[i], "--sidecar=", &value)) {
      ok = ParseHostStamp(value, &options->sidecar);
    } else if (Value(argv[i], "--conf-dir=", &value)) {
      options->confDir = value;
    } else if (Value(argv[i], "--output=", &value)) {
      options->output = value;
    } else if (Value(argv[i], "--output-limit=", &value)) {
      ok = ParseBytes(value, &options->outputLimit);
    } else if (Value(argv[i], "--lifeline=", &value)) {
      ok = ParseDescriptor(value, &options->lifeline);
    } else if (strcmp(argv[i], "--append") == 0) {
      options->appendOutput = true;
    } else {
      ok = false;
    }
    if (!ok) {
      *error = std::string("unusable argument: ") + argv[i];
      return false;
    }
  }
  if (!host) {
    *error = "--host=PID:START is needed";
    return false;
  }
  return true;
}

std::vector<std::string> GuardianArguments(const GuardianOptions& options) {
  std::vector<std::string> words = {"--host=" + HostStamp(options.host)};
  if (options.sidecar.pid > 0) words.push_back("--sidecar=" + HostStamp(options.sidecar));
  words.push_back("--conf-dir=" + options.confDir);
  words.push_back("--output=" + options.output);
  words.push_back("--output-limit=" + std::to_string(options.outputLimit));
  if (options.lifeline >= 0) words.push_back("--lifeline=" + std::to_string(options.lifeline));
  if (options.appendOutput) words.push_back("--append");
  return words;
}

}  // namespace ZbCassandra
