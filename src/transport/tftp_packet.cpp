#include "transport/tftp_packet.h"

#include <algorithm>
#include <cctype>

namespace {

void put_u16(TftpBytes& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void put_text(TftpBytes& out, std::string_view text)
{
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

} // namespace

TftpBytes tftp_request(TftpOpcode opcode, std::string_view name,
                       std::span<const std::pair<std::string, std::string>> options)
{
    TftpBytes out;
    put_u16(out, static_cast<std::uint16_t>(opcode));
    put_text(out, name);
    put_text(out, "octet");
    for (const auto& [option, value] : options) {
        put_text(out, option);
        put_text(out, value);
    }
    return out;
}

TftpBytes tftp_ack(std::uint16_t block)
{
    TftpBytes out;
    put_u16(out, static_cast<std::uint16_t>(TftpOpcode::ack));
    put_u16(out, block);
    return out;
}

TftpBytes tftp_data(std::uint16_t block, std::span<const std::uint8_t> payload)
{
    TftpBytes out;
    out.reserve(4 + payload.size());
    put_u16(out, static_cast<std::uint16_t>(TftpOpcode::data));
    put_u16(out, block);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

TftpBytes tftp_error(TftpErrorCode code, std::string_view message)
{
    TftpBytes out;
    put_u16(out, static_cast<std::uint16_t>(TftpOpcode::error));
    put_u16(out, static_cast<std::uint16_t>(code));
    put_text(out, message);
    return out;
}

std::optional<TftpPacket> tftp_parse(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 2)
        return std::nullopt;
    const unsigned opcode = (unsigned{bytes[0]} << 8) | bytes[1];
    if (opcode < 1 || opcode > 6)
        return std::nullopt;
    TftpPacket packet{static_cast<TftpOpcode>(opcode), 0, bytes.subspan(2)};
    if (packet.opcode == TftpOpcode::oack)
        return packet;
    if (bytes.size() < 4)
        return std::nullopt;
    packet.number = static_cast<std::uint16_t>((unsigned{bytes[2]} << 8) | bytes[3]);
    packet.payload = bytes.subspan(4);
    return packet;
}

std::optional<std::map<std::string, std::string>> tftp_oack_options(std::span<const std::uint8_t> payload)
{
    std::vector<std::string> fields;
    auto at = payload.begin();
    while (at != payload.end()) {
        const auto end = std::find(at, payload.end(), std::uint8_t{0});
        if (end == payload.end())
            return std::nullopt;
        fields.emplace_back(at, end);
        at = end + 1;
    }
    if (fields.size() % 2 != 0)
        return std::nullopt;
    std::map<std::string, std::string> options;
    for (std::size_t i = 0; i < fields.size(); i += 2) {
        std::string name = fields[i];
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        options[name] = fields[i + 1];
    }
    return options;
}

std::string tftp_error_text(std::span<const std::uint8_t> payload)
{
    const auto end = std::find(payload.begin(), payload.end(), std::uint8_t{0});
    std::string text(payload.begin(), end);
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    return text;
}
