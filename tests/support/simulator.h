#pragma once
// Starts the project's controller simulator on a free loopback port for one
// test and reads back what it was asked, from its request log.

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One file that a restore trigger took over.
struct SimRestoredFile {
    std::string path, sha256;
    std::uint64_t bytes = 0;
};

// One request as the simulator logged it. kind is "GET", "RRQ" or "WRQ";
// bytes and sha256 describe the body or file sent (GET, RRQ) or received
// (WRQ); raw is the whole JSON line, for members not listed here.
struct SimRequest {
    std::string kind, path, query, outcome, sha256;
    std::map<std::string, std::string> options;
    std::uint64_t bytes = 0;
    std::vector<SimRestoredFile> restored; // restore triggers only
    std::string raw;
};

class Simulator {
public:
    // Throws std::runtime_error when the simulator does not come up.
    explicit Simulator(std::vector<std::string> extra_args = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    int port() const;
    std::string address() const; // "127.0.0.1:PORT"
    std::vector<SimRequest> requests() const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string log_path_;
};

// One line of the request log; throws std::runtime_error on a broken line.
SimRequest parse_sim_request(const std::string& line);
