#pragma once
// A real TFTP server (tftpd-hpa or atftpd) on a free loopback port, serving
// a folder of its own, for one test.

#include <sys/types.h>

#include <string>

enum class TftpPeerKind { tftpd_hpa, atftpd };

class TftpPeer {
public:
    // Throws std::runtime_error when the server is not installed or does
    // not answer within a few seconds.
    explicit TftpPeer(TftpPeerKind kind);
    ~TftpPeer();
    TftpPeer(const TftpPeer&) = delete;
    TftpPeer& operator=(const TftpPeer&) = delete;

    std::string address() const; // "127.0.0.1:PORT"
    std::string folder() const { return folder_; }
    const char* name() const;

private:
    TftpPeerKind kind_;
    std::string folder_;
    int port_ = 0;
    pid_t pid_ = -1;
};
