// Runs a shell command and prints its peak resident set:
//   priam_bench_peak_rss COMMAND
// The command runs under /bin/sh -c with our standard streams; once it has
// ended, "peak_rss_kib=N" (wait4's ru_maxrss: the largest resident set of the
// shell and of the descendants it waited for) follows its output on standard
// output, and our exit status is the command's.
//
// A separate small program, because a child's ru_maxrss starts from the
// resident set of the image it replaced at exec: a command started straight
// from a large process (the benchmark, with its big input files in memory)
// would report that process's size as its own.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s COMMAND\n", argv[0]);
    return 2;
  }
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) return 127;
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", argv[1], static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage = {};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) return 127;
  }
  std::printf("\npeak_rss_kib=%ld\n", usage.ru_maxrss);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 127;
}
