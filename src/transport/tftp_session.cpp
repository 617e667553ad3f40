#include "transport/tftp_session.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr std::uint16_t tftp_port = 69;
// Larger than any UDP datagram, so none arrives cut.
constexpr std::size_t receive_buffer_size = 65536;

} // namespace

TftpSession::TftpSession(std::string_view address, const TftpSettings& settings)
    : settings_(settings), buffer_(receive_buffer_size)
{
    std::string error;
    server_ = udp_resolve(address, tftp_port, error);
    if (server_)
        socket_.emplace(*server_, error);
    if (!server_ || !socket_->is_open())
        failure = error;
    start_ = Clock::now();
    checkpoint_at_ = start_;
    // As many repeats in a row as fit in the wait for a first answer.
    max_resends_ = static_cast<unsigned>(std::max<std::int64_t>(
        settings_.first_answer / tftp_retransmit_interval, 1));
}

bool TftpSession::fail(std::string text)
{
    if (!failure)
        failure = std::move(text);
    return false;
}

void TftpSession::abort(TftpErrorCode code, std::string_view message, std::string text)
{
    std::string ignored;
    if (peer_)
        socket_->send(tftp_error(code, message), *peer_, ignored);
    trace("TFTP: abandoned: %s\n", text.c_str());
    fail(std::move(text));
}

void TftpSession::trace(const char* format, ...) const
{
    if (!settings_.trace)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

bool TftpSession::send(TftpBytes packet)
{
    last_ = std::move(packet);
    resends_ = 0;
    resend_at_ = Clock::now() + tftp_retransmit_interval;
    std::string error;
    return socket_->send(last_, peer_ ? *peer_ : *server_, error) || fail(error);
}

bool TftpSession::send_again()
{
    std::string error;
    return socket_->send(last_, peer_ ? *peer_ : *server_, error) || fail(error);
}

std::optional<std::string> TftpSession::broken_time_rule(Clock::time_point now)
{
    using std::chrono::seconds;
    if (!peer_ && now - start_ >= settings_.first_answer)
        return "no answer from the controller within " + std::to_string(settings_.first_answer.count()) + " s";
    if (now - start_ >= settings_.whole_transfer)
        return "the transfer took longer than " + std::to_string(settings_.whole_transfer.count()) + " s";
    if (peer_ && settings_.stall.period > seconds(0) && now - checkpoint_at_ >= settings_.stall.period) {
        if (bytes_ - checkpoint_bytes_ < settings_.stall.min_bytes)
            return "the transfer stalled: fewer than " + std::to_string(settings_.stall.min_bytes) + " bytes in " +
                   std::to_string(settings_.stall.period.count()) + " s";
        checkpoint_at_ = now;
        checkpoint_bytes_ = bytes_;
    }
    return std::nullopt;
}

void TftpSession::reject_foreign(const UdpAddress& source)
{
    std::string ignored;
    socket_->send(tftp_error(TftpErrorCode::unknown_transfer_id, "Unknown transfer ID"), source, ignored);
    trace("TFTP: answered a packet from a stranger with \"Unknown transfer ID\"\n");
}

std::optional<TftpPacket> TftpSession::next()
{
    while (!failure) {
        const Clock::time_point now = Clock::now();
        if (std::optional<std::string> broken = broken_time_rule(now)) {
            abort(TftpErrorCode::undefined, "Transfer timed out", *broken);
            break;
        }
        if (now >= resend_at_) {
            // Before the first answer only the time limit counts.
            if (peer_ && resends_ >= max_resends_) {
                abort(TftpErrorCode::undefined, "Transfer timed out",
                      "no answer from the controller after " + std::to_string(resends_) + " repeats");
                break;
            }
            ++resends_;
            resend_at_ = now + tftp_retransmit_interval;
            trace("TFTP: no answer, packet sent again (%u)\n", resends_);
            if (!send_again())
                break;
            continue;
        }
        Clock::time_point wake = std::min(resend_at_, start_ + settings_.whole_transfer);
        if (!peer_)
            wake = std::min(wake, start_ + settings_.first_answer);
        else if (settings_.stall.period > std::chrono::seconds(0))
            wake = std::min(wake, checkpoint_at_ + settings_.stall.period);
        std::string error;
        const UdpReceived received = socket_->receive(
            buffer_, std::chrono::ceil<std::chrono::milliseconds>(wake - now), error);
        if (received.kind == UdpReceived::Kind::failure) {
            fail(error);
            break;
        }
        if (received.kind == UdpReceived::Kind::timeout)
            continue;
        // The peer is whoever answers the request first from the server's
        // host; its port then names the transfer.
        if (peer_ ? !udp_same_endpoint(received.source, *peer_) : !udp_same_host(received.source, *server_)) {
            reject_foreign(received.source);
            continue;
        }
        if (!peer_) {
            peer_ = received.source;
            checkpoint_at_ = now;
        }
        const std::span<const std::uint8_t> bytes(buffer_.data(), std::min(received.size, buffer_.size()));
        const std::optional<TftpPacket> packet = tftp_parse(bytes);
        if (!packet) {
            abort(TftpErrorCode::illegal_operation, "Illegal TFTP operation",
                  "the controller sent a malformed TFTP packet");
            break;
        }
        if (packet->opcode == TftpOpcode::error) {
            fail("the controller reported TFTP error " + std::to_string(packet->number) + ": " +
                 tftp_error_text(packet->payload));
            break;
        }
        return packet;
    }
    return std::nullopt;
}
