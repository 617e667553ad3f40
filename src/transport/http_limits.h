#pragma once
// The HTTP exchanges' limits, chosen so that a healthy controller behind a
// slow site link is never cut off, while a silent, dripping or endless one
// is let go in bounded time and memory.

#include <cstdint>

inline constexpr long http_connect_timeout_s = 30;
inline constexpr long http_max_redirects = 5;

// An answer to a fetch is abandoned when fewer than 30 bytes a second
// arrive over 30 s (a first byte included).
inline constexpr long http_fetch_min_speed = 30;
inline constexpr long http_fetch_stall_time_s = 30;
// A command's answer (restore, firmware upgrade) may come only after the
// controller has done the work: 2 minutes in which at least 120 bytes arrive.
inline constexpr long http_command_min_speed = 1;
inline constexpr long http_command_stall_time_s = 120;

inline constexpr std::uint64_t http_status_limit = 64 * 1024;
inline constexpr std::uint64_t http_backup_limit = 16 * 1024 * 1024;
inline constexpr std::uint64_t http_command_limit = 64 * 1024;
