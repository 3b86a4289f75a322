// Times and sizes in the words systemctl status uses, so that an operator
// reads priamctl status as the service manager's: "Tue 2024-05-14 10:11:12
// CEST; 3min 5s ago", "123.4M".
#pragma once

#include <cstdint>
#include <string>

namespace priamctl {

// The local date and time of `at` (seconds since the epoch), then how long
// before `now` that was.
std::string SinceText(int64_t at, int64_t now);

// How long ago, at a second's accuracy: "5s ago", "3min 5s ago", "2h ago",
// "1 day 3h ago", "5 days ago"; "now" within a second.
std::string AgoText(int64_t seconds);

// Bytes in units of 1024, one decimal: "512B", "4.0K", "123.4M", "1.2G".
std::string SizeText(uint64_t bytes);

}  // namespace priamctl
