// priamctl's exit codes, shown by --help and the README.
#pragma once

namespace priamctl {

constexpr int kExitOk = 0;
// Discovery, the launch, a request or the stop failed.
constexpr int kExitFailed = 1;
// A bad option, a missing directory or an unreadable, missing or malformed
// input file, found before the controller touched anything.
constexpr int kExitUsage = 2;
// Stopped by a signal: 128 + the signal's number (129 SIGHUP, 130 SIGINT,
// 143 SIGTERM), after the sidecar has been stopped.
constexpr int kExitSignalBase = 128;

constexpr const char* kExitCodeHelp =
    "Exit codes: 0 success; 1 an operation failed (initialization, discovery, launch,\n"
    "request, stop); 2 bad option, missing directory, or unreadable, missing or malformed\n"
    "input (one line); 128+N stopped by signal N (130 Ctrl-C, 143 SIGTERM), the sidecar\n"
    "stopped first.";

}  // namespace priamctl
