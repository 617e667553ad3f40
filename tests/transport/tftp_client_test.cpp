// The TFTP client against real servers (tftpd-hpa, atftpd) and the
// simulator on loopback, and against a peer written here that goes silent
// or repeats itself, to see the retransmission rules on the wire.
#include "support/simulator.h"
#include "support/tftp_peer.h"
#include "transport/tftp_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <future>
#include <iterator>

namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

// Sizes with a point: whole blocks of either size, an odd size, a last
// block numbered 65535, a file past the block number's wrap, and the
// largest valid firmware image, whose last block is numbered 0 after two
// wraps.
constexpr std::size_t whole_blocks = 128000;
constexpr std::size_t odd_size = 1000001;
constexpr std::size_t last_block_65535 = 8388352;
constexpr std::size_t past_the_wrap = 8400000;
constexpr std::size_t largest_firmware = 16777214;

Bytes pattern(std::size_t size)
{
    Bytes bytes(size);
    std::uint32_t state = static_cast<std::uint32_t>(size) | 1u;
    for (std::uint8_t& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

Bytes file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// atftpd acknowledges the last block before it has closed the file: the
// test gives it a moment to finish writing.
Bytes file_bytes_once_closed(const std::string& path, std::size_t size)
{
    Bytes bytes = file_bytes(path);
    for (int waited_ms = 0; bytes.size() != size && waited_ms < 2000; waited_ms += 10) {
        usleep(10000);
        bytes = file_bytes(path);
    }
    return bytes;
}

TftpSettings settings_with_blocks(std::uint16_t block_size)
{
    TftpSettings settings;
    settings.block_size = block_size;
    settings.stall = {30 * 60, 60s};
    return settings;
}

// Writes each size to the server and reads it back; the file on the
// server's disk must be the bytes sent.
void round_trip(TftpPeerKind kind, std::uint16_t block_size, std::initializer_list<std::size_t> sizes)
{
    TftpPeer peer(kind);
    const TftpSettings settings = settings_with_blocks(block_size);
    for (const std::size_t size : sizes) {
        SCOPED_TRACE(std::string(peer.name()) + ", blksize " + std::to_string(block_size) + ", " +
                     std::to_string(size) + " bytes");
        const Bytes sent = pattern(size);
        const std::string name = "up" + std::to_string(size) + ".bin";
        std::uint64_t last_done = 0;
        EXPECT_EQ(tftp_write(peer.address(), name, settings, sent,
                             [&](std::uint64_t done, std::uint64_t total) {
                                 EXPECT_EQ(total, size);
                                 last_done = done;
                             }),
                  std::nullopt);
        EXPECT_EQ(last_done, size);
        EXPECT_TRUE(file_bytes_once_closed(peer.folder() + "/" + name, size) == sent);

        Bytes received;
        EXPECT_EQ(tftp_read(peer.address(), name, settings, size, received, {}), std::nullopt);
        EXPECT_TRUE(received == sent);
    }
}

TEST(TftpInterop, TftpdHpaWithSmallBlocks)
{
    round_trip(TftpPeerKind::tftpd_hpa, 128, {whole_blocks, odd_size, last_block_65535, past_the_wrap, largest_firmware});
}

TEST(TftpInterop, TftpdHpaWithDefaultBlocks)
{
    round_trip(TftpPeerKind::tftpd_hpa, 512, {0, whole_blocks, odd_size});
}

TEST(TftpInterop, AtftpdWithSmallBlocks)
{
    round_trip(TftpPeerKind::atftpd, 128, {whole_blocks, odd_size, last_block_65535, past_the_wrap, largest_firmware});
}

TEST(TftpInterop, AtftpdWithDefaultBlocks)
{
    round_trip(TftpPeerKind::atftpd, 512, {0, whole_blocks, odd_size});
}

TEST(TftpInterop, ServerErrorsArriveWithTheirText)
{
    TftpPeer peer(TftpPeerKind::tftpd_hpa);
    Bytes received;
    const TftpFailure failure = tftp_read(peer.address(), "missing.bin", settings_with_blocks(128), 0, received, {});
    ASSERT_TRUE(failure.has_value());
    EXPECT_THAT(*failure, HasSubstr("the controller reported TFTP error 1: File not found"));
}

TEST(TftpInterop, SimulatorTakesAnUploadPastTheWrapDespiteForeignPackets)
{
    Simulator sim({"--tftp-foreign-packets"});
    const Bytes sent = pattern(past_the_wrap);
    EXPECT_EQ(tftp_write(sim.address(), "flashraw.bin", settings_with_blocks(128), sent, {}), std::nullopt);
    const SimRequest logged = sim.requests().at(0);
    EXPECT_EQ(logged.outcome, "ok");
    EXPECT_EQ(logged.bytes, past_the_wrap);
    EXPECT_THAT(logged.raw, HasSubstr("\"foreign_rejected\": 10"));
    // The same request on the wire as before: octet mode, these options.
    EXPECT_THAT(logged.raw, HasSubstr("\"mode\": \"octet\""));
    EXPECT_EQ(logged.options, (std::map<std::string, std::string>{
                                  {"blksize", "128"}, {"timeout", "5"}, {"tsize", std::to_string(past_the_wrap)}}));
}

// A peer written here: one socket for requests, one for the transfer.
class ScriptedPeer {
public:
    ScriptedPeer() : listen_(bound_socket()), transfer_(bound_socket()) {}
    ~ScriptedPeer()
    {
        close(listen_);
        close(transfer_);
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_of(listen_)); }

    // Counts the datagrams arriving on a socket until none came for quiet.
    static int count_until_quiet(int fd, std::chrono::milliseconds quiet, sockaddr_in* from = nullptr)
    {
        int count = 0;
        char buffer[1024];
        pollfd ready{fd, POLLIN, 0};
        while (poll(&ready, 1, static_cast<int>(quiet.count())) == 1) {
            socklen_t length = sizeof(sockaddr_in);
            recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(from), from ? &length : nullptr);
            ++count;
        }
        return count;
    }

    int listen_, transfer_;

private:
    static int bound_socket()
    {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        return fd;
    }
    static int port_of(int fd)
    {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }
};


TEST(TftpRetransmission, RepeatsAreBoundedBeforeAndDuringATransfer)
{
    TftpSettings settings = settings_with_blocks(128);
    settings.first_answer = 30s;
    settings.stall = {};

    // Nobody answers: the request goes out every 5 s until 30 s have passed.
    ScriptedPeer silent;
    auto unanswered = std::async(std::launch::async, [&] {
        Bytes data;
        return tftp_read(silent.address(), "flashfs.bin", settings, 0, data, {});
    });

    // The server takes the request, then falls silent: the client repeats
    // its ACK six times (30 s / 5 s), then gives up and says so.
    ScriptedPeer falling_silent;
    auto abandoned = std::async(std::launch::async, [&] {
        Bytes data;
        return tftp_read(falling_silent.address(), "flashfs.bin", settings, 0, data, {});
    });
    sockaddr_in client{};
    ASSERT_EQ(ScriptedPeer::count_until_quiet(falling_silent.listen_, 2000ms, &client), 1);
    const char oack[] = "\0\6blksize\0" "128\0";
    sendto(falling_silent.transfer_, oack, sizeof oack - 1, 0, reinterpret_cast<sockaddr*>(&client), sizeof client);
    // The first ACK and its repeats, then the ERROR that ends the transfer.
    const int heard = ScriptedPeer::count_until_quiet(falling_silent.transfer_, 8000ms);
    EXPECT_EQ(heard, 1 + 6 + 1);
    const TftpFailure gave_up = abandoned.get();
    ASSERT_TRUE(gave_up.has_value());
    EXPECT_EQ(*gave_up, "no answer from the controller after 6 repeats");

    const TftpFailure never_answered = unanswered.get();
    ASSERT_TRUE(never_answered.has_value());
    EXPECT_EQ(*never_answered, "no answer from the controller within 30 s");
    EXPECT_EQ(ScriptedPeer::count_until_quiet(silent.listen_, 100ms), 6);
}

TEST(TftpRetransmission, ARepeatedBlockIsAcknowledgedAgainAndTakenOnce)
{
    ScriptedPeer peer;
    auto read = std::async(std::launch::async, [&] {
        Bytes data;
        const TftpFailure failure = tftp_read(peer.address(), "flashfs.bin", settings_with_blocks(128), 0, data, {});
        return std::make_pair(failure, data);
    });
    sockaddr_in client{};
    ASSERT_EQ(ScriptedPeer::count_until_quiet(peer.listen_, 2000ms, &client), 1);
    const auto send = [&](std::string_view packet) {
        sendto(peer.transfer_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&client), sizeof client);
    };
    using namespace std::string_literals;
    send("\0\6blksize\0" "128\0tsize\0" "130\0"s);
    EXPECT_EQ(ScriptedPeer::count_until_quiet(peer.transfer_, 200ms), 1); // ACK 0
    const std::string block1 = "\0\3\0\1"s + std::string(128, 'a');
    send(block1);
    send(block1);
    EXPECT_EQ(ScriptedPeer::count_until_quiet(peer.transfer_, 200ms), 2); // ACK 1 twice
    send("\0\3\0\2bb"s);
    const auto [failure, data] = read.get();
    EXPECT_EQ(failure, std::nullopt);
    EXPECT_EQ(std::string(data.begin(), data.end()), std::string(128, 'a') + "bb");
}

// Starts a transfer against a scripted peer and answers its request with
// first_answer from the transfer port; gives the client's next packet.
struct Negotiation {
    std::string next_packet;
    TftpFailure failure;
};

Negotiation negotiate(bool write, std::string_view first_answer)
{
    ScriptedPeer peer;
    const Bytes data(1000, 0x5a);
    auto transfer = std::async(std::launch::async, [&] {
        Bytes received;
        TftpSettings settings = settings_with_blocks(128);
        settings.first_answer = 5s; // one repeat of the last packet, then it gives up
        return write ? tftp_write(peer.address(), "flashraw.bin", settings, data, {})
                     : tftp_read(peer.address(), "flashfs.bin", settings, 0, received, {});
    });
    sockaddr_in client{};
    ScriptedPeer::count_until_quiet(peer.listen_, 1000ms, &client);
    sendto(peer.transfer_, first_answer.data(), first_answer.size(), 0, reinterpret_cast<sockaddr*>(&client),
           sizeof client);
    char buffer[2048];
    pollfd ready{peer.transfer_, POLLIN, 0};
    Negotiation result;
    if (poll(&ready, 1, 2000) == 1)
        result.next_packet.assign(buffer, static_cast<std::size_t>(recv(peer.transfer_, buffer, sizeof buffer, 0)));
    result.failure = transfer.get();
    return result;
}

TEST(TftpNegotiation, OptionsTheClientCannotTakeAreRefusedWithError8)
{
    using namespace std::string_literals;
    // A block size above the one asked for.
    Negotiation bigger = negotiate(false, "\0\6blksize\0" "1024\0"s);
    EXPECT_TRUE(bigger.next_packet.starts_with("\0\5\0\x08"s));
    EXPECT_EQ(bigger.failure, "the controller answered the request's options with blksize=1024");
    // An option never asked for.
    Negotiation unasked = negotiate(true, "\0\6windowsize\0" "8\0"s);
    EXPECT_TRUE(unasked.next_packet.starts_with("\0\5\0\x08"s));
    EXPECT_EQ(unasked.failure, "the controller answered the request's options with windowsize=8");
    // An upload whose size the server took wrong.
    Negotiation wrong_size = negotiate(true, "\0\6tsize\0" "999\0blksize\0" "128\0"s);
    EXPECT_TRUE(wrong_size.next_packet.starts_with("\0\5\0\x08"s));
    EXPECT_EQ(wrong_size.failure, "the controller took the size 999 for 1000 bytes");
}

TEST(TftpNegotiation, AServerWithoutOptionsGetsTheDefaultBlockSize)
{
    using namespace std::string_literals;
    // ACK 0 to a write request: no options, 512-byte blocks.
    const Negotiation plain = negotiate(true, "\0\4\0\0"s);
    EXPECT_EQ(plain.next_packet, "\0\3\0\1"s + std::string(512, '\x5a'));
    EXPECT_EQ(plain.failure, "no answer from the controller after 1 repeats");
}

} // namespace
