#pragma once
// The controller's TFTP exchanges (RFC 1350, options of RFC 2347 to 2349):
// one file read into memory or written from memory, lock-step, on a UDP
// socket of its own. Every way a transfer can go wrong ends it with a text
// that says what happened; nothing waits without a limit.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Too slow: fewer than min_bytes moved in any period (checked period by period).
struct TftpStallRule {
    std::uint64_t min_bytes = 0;
    std::chrono::seconds period{0};
};

struct TftpSettings {
    std::uint16_t block_size = 128;
    // The request goes out again every retransmit interval until the first
    // answer; during the transfer the peer may stay silent as long.
    std::chrono::seconds first_answer{30};
    std::chrono::seconds whole_transfer{300};
    TftpStallRule stall;
    bool trace = false; // the exchange's milestones on standard error
};

// How long this client waits before it sends its last packet again; also
// asked of the server as its "timeout" option.
inline constexpr std::chrono::seconds tftp_retransmit_interval{5};

// A read that announces no size and has no expected size stops here.
inline constexpr std::uint64_t tftp_read_limit = 64ull * 1024 * 1024;

// Called after each block with the bytes done so far and the total: the
// size the server announced for a read (0 when it announced none), the
// data's size for a write.
using TftpProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Null on success, else what went wrong, in words for the user.
using TftpFailure = std::optional<std::string>;

// Reads name from the server at address ("host[:port]", port 69 when none)
// into out, which holds what arrived also after a failure. With an
// expected_size (not 0) the file must be exactly that long: an announced
// size that differs is refused at once, and a transfer is stopped as soon
// as it runs past it. A transfer that ends short of the announced or
// expected size fails.
TftpFailure tftp_read(std::string_view address, std::string_view name, const TftpSettings& settings,
                      std::uint64_t expected_size, std::vector<std::uint8_t>& out, const TftpProgress& progress);

// Writes data to the server as name; succeeds once the server acknowledged
// the last block.
TftpFailure tftp_write(std::string_view address, std::string_view name, const TftpSettings& settings,
                       std::span<const std::uint8_t> data, const TftpProgress& progress);
