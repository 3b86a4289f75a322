#include "ChildRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace bench {

namespace {

int StatusOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return -1;
}

void ReadAll(int fd, std::string* into) {
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) {
      into->append(chunk, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      return;
    }
  }
}

}  // namespace

ChildResult RunChild(const std::vector<std::string>& argv, bool captureOutput) {
  ChildResult result;
  if (argv.empty()) return result;
  int out[2] = {-1, -1};
  if (captureOutput && pipe2(out, O_CLOEXEC) != 0) return result;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (captureOutput) {
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  std::vector<char*> words;
  for (const std::string& word : argv) words.push_back(const_cast<char*>(word.c_str()));
  words.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, words[0], &actions, nullptr, words.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (captureOutput) {
    close(out[1]);
    if (spawned == 0) ReadAll(out[0], &result.output);
    close(out[0]);
  }
  if (spawned != 0) return result;

  int waitStatus = 0;
  while (waitpid(pid, &waitStatus, 0) < 0) {
    if (errno != EINTR) return result;
  }
  result.status = StatusOf(waitStatus);
  return result;
}

ChildResult MeasurePeakRss(const std::string& helper, const std::string& command,
                           long* peakRssKib) {
  static const std::string kMarker = "\npeak_rss_kib=";
  ChildResult result = RunChild({helper, command}, true);
  *peakRssKib = -1;
  const size_t marker = result.output.rfind(kMarker);
  if (marker == std::string::npos) return result;
  *peakRssKib = std::stol(result.output.substr(marker + kMarker.size()));
  result.output.erase(marker);
  return result;
}

ChildResult RunShell(const std::string& command, bool captureOutput) {
  return RunChild({"/bin/sh", "-c", command}, captureOutput);
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string ExpandPlaceholders(const std::string& command,
                               const std::map<std::string, std::string>& values) {
  std::string expanded;
  size_t at = 0;
  while (at < command.size()) {
    const size_t open = command.find('{', at);
    const size_t close = open == std::string::npos ? open : command.find('}', open);
    if (close == std::string::npos) break;
    const auto value = values.find(command.substr(open + 1, close - open - 1));
    expanded.append(command, at, open - at);
    if (value == values.end()) {
      // Not ours: keep the brace and look for a placeholder after it.
      expanded += '{';
      at = open + 1;
    } else {
      expanded += ShellQuote(value->second);
      at = close + 1;
    }
  }
  return expanded.append(command, at, std::string::npos);
}

}  // namespace bench
