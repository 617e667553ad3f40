#pragma once
// TFTP packets (RFC 1350) with the option extension (RFC 2347): building the
// ones this client sends and reading the ones a server sends.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class TftpOpcode : std::uint16_t { rrq = 1, wrq = 2, data = 3, ack = 4, error = 5, oack = 6 };

// Error codes of RFC 1350 and RFC 2347 that this client sends.
enum class TftpErrorCode : std::uint16_t {
    undefined = 0,
    disk_full = 3,
    illegal_operation = 4,
    unknown_transfer_id = 5,
    option_refused = 8,
};

using TftpBytes = std::vector<std::uint8_t>;

// RRQ or WRQ for name in octet mode; options go out in the order given.
TftpBytes tftp_request(TftpOpcode opcode, std::string_view name,
                       std::span<const std::pair<std::string, std::string>> options);
TftpBytes tftp_ack(std::uint16_t block);
TftpBytes tftp_data(std::uint16_t block, std::span<const std::uint8_t> payload);
TftpBytes tftp_error(TftpErrorCode code, std::string_view message);

// A packet as received; payload is the part after the block number (DATA)
// or the error code (ERROR, then without its terminating NUL).
struct TftpPacket {
    TftpOpcode opcode{};
    std::uint16_t number = 0; // block number, or error code
    std::span<const std::uint8_t> payload;
};

// Null for a packet too short to hold its opcode and number (an OACK needs
// only its opcode) or with an opcode outside 1..6.
std::optional<TftpPacket> tftp_parse(std::span<const std::uint8_t> bytes);

// An OACK's options, names in lower case; null when the list is malformed
// (a name without a value, a missing terminator).
std::optional<std::map<std::string, std::string>> tftp_oack_options(std::span<const std::uint8_t> payload);

// An ERROR packet's message, cut at its NUL and with control characters
// shown as '?', so that a peer's text cannot steer the terminal.
std::string tftp_error_text(std::span<const std::uint8_t> payload);
