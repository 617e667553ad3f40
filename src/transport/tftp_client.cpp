#include "transport/tftp_client.h"

#include "transport/tftp_session.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <utility>

namespace {

// What a server may send without options.
constexpr std::uint16_t default_block_size = 512;

using Options = std::vector<std::pair<std::string, std::string>>;

Options request_options(std::uint64_t tsize, std::uint16_t block_size)
{
    return {{"tsize", std::to_string(tsize)},
            {"blksize", std::to_string(block_size)},
            {"timeout", std::to_string(tftp_retransmit_interval.count())}};
}

std::optional<std::uint64_t> number_of(const std::string& text)
{
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The options a server took, as this client can live with them.
struct Agreed {
    std::uint16_t block_size = default_block_size;
    std::optional<std::uint64_t> tsize;
};

// Null (and the transfer aborted) when the OACK names an option that was not
// asked for, or a value the client cannot take: a block size above the one
// asked for or below the protocol's minimum of 8.
std::optional<Agreed> agree(TftpSession& session, const TftpPacket& oack, std::uint16_t asked_block_size)
{
    const auto options = tftp_oack_options(oack.payload);
    Agreed agreed;
    std::string refused = options ? "" : "a malformed option list";
    for (const auto& [name, value] : options ? *options : std::map<std::string, std::string>{}) {
        const std::optional<std::uint64_t> number = number_of(value);
        if (name == "blksize" && number && *number >= 8 && *number <= asked_block_size)
            agreed.block_size = static_cast<std::uint16_t>(*number);
        else if (name == "tsize" && number)
            agreed.tsize = number;
        else if (name != "timeout" || !number)
            refused = name + "=" + value;
    }
    if (!refused.empty()) {
        session.abort(TftpErrorCode::option_refused, "Option refused",
                      "the controller answered the request's options with " + refused);
        return std::nullopt;
    }
    session.trace("TFTP: options agreed: blksize=%u%s\n", agreed.block_size,
                  agreed.tsize ? (" tsize=" + std::to_string(*agreed.tsize)).c_str() : "");
    return agreed;
}

void refuse_packet(TftpSession& session, const TftpPacket& packet)
{
    session.abort(TftpErrorCode::illegal_operation, "Illegal TFTP operation",
                  "the controller sent an unexpected TFTP packet (opcode " +
                      std::to_string(static_cast<unsigned>(packet.opcode)) + ")");
}

} // namespace

TftpFailure tftp_read(std::string_view address, std::string_view name, const TftpSettings& settings,
                      std::uint64_t expected_size, std::vector<std::uint8_t>& out, const TftpProgress& progress)
{
    out.clear();
    TftpSession session(address, settings);
    if (session.failure)
        return session.failure;
    session.trace("TFTP: RRQ %.*s\n", static_cast<int>(name.size()), name.data());
    if (!session.send(tftp_request(TftpOpcode::rrq, name, request_options(0, settings.block_size))))
        return session.failure;

    Agreed agreed;
    std::uint64_t limit = expected_size != 0 ? expected_size : tftp_read_limit;
    bool negotiated = false; // an OACK was taken
    bool started = false;    // a DATA block has arrived
    std::uint16_t wanted = 1;
    out.reserve(static_cast<std::size_t>(expected_size));
    while (std::optional<TftpPacket> packet = session.next()) {
        if (packet->opcode == TftpOpcode::oack) {
            if (started)
                continue;
            // A repeated OACK: the server has not had the ACK for the first.
            if (negotiated) {
                session.send_again();
                continue;
            }
            const std::optional<Agreed> taken = agree(session, *packet, settings.block_size);
            if (!taken)
                break;
            agreed = *taken;
            negotiated = true;
            if (agreed.tsize && expected_size != 0 && *agreed.tsize != expected_size) {
                session.abort(TftpErrorCode::option_refused, "File size not acceptable",
                              "the controller announced " + std::to_string(*agreed.tsize) + " bytes where " +
                                  std::to_string(expected_size) + " were expected");
                break;
            }
            if (agreed.tsize) {
                limit = std::min(limit, *agreed.tsize);
                out.reserve(static_cast<std::size_t>(limit));
            }
            session.send(tftp_ack(0));
            continue;
        }
        if (packet->opcode != TftpOpcode::data) {
            refuse_packet(session, *packet);
            break;
        }
        if (packet->number != wanted) {
            // The previous block again: the server has not had its ACK.
            if (started && packet->number == static_cast<std::uint16_t>(wanted - 1))
                session.send_again();
            continue;
        }
        const std::size_t size = packet->payload.size();
        if (size > agreed.block_size) {
            session.abort(TftpErrorCode::illegal_operation, "Block larger than agreed",
                          "data block " + std::to_string(packet->number) + " holds " + std::to_string(size) +
                              " bytes, more than the agreed block size of " + std::to_string(agreed.block_size));
            break;
        }
        if (out.size() + size > limit) {
            session.abort(TftpErrorCode::disk_full, "File larger than expected",
                          "more than " + std::to_string(limit) + " bytes arrived; the transfer was stopped");
            break;
        }
        started = true;
        out.insert(out.end(), packet->payload.begin(), packet->payload.end());
        session.progressed(out.size());
        if (progress)
            progress(out.size(), agreed.tsize.value_or(0));
        session.send(tftp_ack(wanted));
        if (size < agreed.block_size) {
            const std::uint64_t due = agreed.tsize.value_or(0) != 0 ? *agreed.tsize : expected_size;
            if (due != 0 && out.size() != due)
                return "the transfer ended after " + std::to_string(out.size()) + " of " + std::to_string(due) +
                       " bytes";
            session.trace("TFTP: %zu bytes read\n", out.size());
            return std::nullopt;
        }
        ++wanted; // after 65535 comes 0
    }
    return session.failure;
}

TftpFailure tftp_write(std::string_view address, std::string_view name, const TftpSettings& settings,
                       std::span<const std::uint8_t> data, const TftpProgress& progress)
{
    TftpSession session(address, settings);
    if (session.failure)
        return session.failure;
    session.trace("TFTP: WRQ %.*s, %zu bytes\n", static_cast<int>(name.size()), name.data(), data.size());
    if (!session.send(tftp_request(TftpOpcode::wrq, name, request_options(data.size(), settings.block_size))))
        return session.failure;

    std::optional<Agreed> agreed;
    std::uint64_t sent = 0;   // bytes up to and including the block in flight
    std::uint64_t acked = 0;  // bytes the server has confirmed
    std::uint16_t in_flight = 0;
    while (std::optional<TftpPacket> packet = session.next()) {
        if (!agreed) {
            if (packet->opcode == TftpOpcode::oack) {
                agreed = agree(session, *packet, settings.block_size);
                if (!agreed)
                    break;
                if (agreed->tsize && *agreed->tsize != data.size()) {
                    session.abort(TftpErrorCode::option_refused, "Option refused",
                                  "the controller took the size " + std::to_string(*agreed->tsize) + " for " +
                                      std::to_string(data.size()) + " bytes");
                    break;
                }
            } else if (packet->opcode == TftpOpcode::ack && packet->number == 0) {
                agreed = Agreed{}; // a server without options
            } else {
                refuse_packet(session, *packet);
                break;
            }
        } else if (packet->opcode != TftpOpcode::ack) {
            // A repeated OACK: the server has not had DATA 1.
            if (packet->opcode == TftpOpcode::oack) {
                if (in_flight == 1)
                    session.send_again();
                continue;
            }
            refuse_packet(session, *packet);
            break;
        } else if (packet->number != in_flight) {
            continue; // a repeated ACK is never answered with a repeat (RFC 1123)
        } else {
            const bool last = sent - acked < agreed->block_size;
            acked = sent;
            session.progressed(acked);
            if (progress)
                progress(acked, data.size());
            if (last) {
                session.trace("TFTP: %llu bytes written\n", static_cast<unsigned long long>(acked));
                return std::nullopt;
            }
        }
        // The next block; the last one is short, empty when the data fill whole blocks.
        const std::uint64_t size = std::min<std::uint64_t>(agreed->block_size, data.size() - sent);
        ++in_flight; // after 65535 comes 0
        session.send(tftp_data(in_flight, data.subspan(sent, size)));
        sent += size;
    }
    return session.failure;
}
