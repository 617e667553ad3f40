#pragma once
// One TFTP transfer's conversation with its peer: the last packet sent again
// on time-outs, the time limits and stall rule, packets from anyone but the
// peer answered with "Unknown transfer ID" and otherwise ignored, and an
// ERROR from the peer turned into a failure text.

#include "transport/tftp_client.h"
#include "transport/tftp_packet.h"
#include "transport/udp_socket.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class TftpSession {
public:
    // failure is set when the server's address cannot be used.
    TftpSession(std::string_view address, const TftpSettings& settings);

    // Sends packet; it goes out again whenever the peer stays silent.
    bool send(TftpBytes packet);
    // Sends the last packet again at once (the peer repeated itself).
    bool send_again();
    // The next packet from the peer; null once the transfer has failed.
    // The packet's bytes live until the next call.
    std::optional<TftpPacket> next();
    // Bytes moved so far, for the stall rule.
    void progressed(std::uint64_t bytes) { bytes_ = bytes; }
    // Ends the transfer: tells the peer (when there is one) and keeps text.
    void abort(TftpErrorCode code, std::string_view message, std::string text);
    void trace(const char* format, ...) const __attribute__((format(printf, 2, 3)));

    std::optional<std::string> failure;

private:
    using Clock = std::chrono::steady_clock;

    bool fail(std::string text);
    // A time rule broken at now, as failure text; null while all hold.
    std::optional<std::string> broken_time_rule(Clock::time_point now);
    void reject_foreign(const UdpAddress& source);

    TftpSettings settings_;
    std::optional<UdpAddress> server_;
    std::optional<UdpSocket> socket_;
    std::optional<UdpAddress> peer_;
    std::vector<std::uint8_t> buffer_;
    TftpBytes last_;
    Clock::time_point start_, resend_at_, checkpoint_at_;
    unsigned resends_ = 0;
    unsigned max_resends_ = 0;
    std::uint64_t bytes_ = 0, checkpoint_bytes_ = 0;
};
