#include "support/simulator.h"

#include "json/json_reader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace {

constexpr int start_timeout_ms = 20000;

// The system interpreter when there is one: a version manager's python3 shim
// earlier in PATH costs close to a second per start, and the simulator needs
// nothing beyond the standard library.
std::string python_interpreter()
{
    return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

std::string temp_log_path()
{
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/kelpu-sim-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        throw std::runtime_error("cannot create the simulator's request log: " + std::string(std::strerror(errno)));
    close(fd);
    return pattern;
}

// Reads up to the first line feed; the simulator prints its port there.
std::string read_first_line(int fd)
{
    std::string text;
    char chunk[256];
    while (text.find('\n') == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, start_timeout_ms) <= 0)
            break;
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0)
            break;
        text.append(chunk, static_cast<std::size_t>(n));
    }
    return text.substr(0, text.find('\n'));
}

// A simulator that does not stop on SIGTERM is a fault of its own; it is
// killed and reported rather than left to hang the test.
void stop_process(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int waited_ms = 0; waited_ms < 10000; waited_ms += 10) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    ADD_FAILURE() << "the simulator did not stop on SIGTERM within 10 s";
}

// Passes over one value whose first event has just been read.
void skip_value(JsonReader& reader, JsonEvent first)
{
    if (first != JE_OBJECT && first != JE_ARRAY)
        return;
    int depth = 1;
    while (depth > 0) {
        const JsonEvent e = json_reader_next(reader);
        if (e == JE_OBJECT || e == JE_ARRAY)
            ++depth;
        else if (e == JE_OBJECT_END || e == JE_ARRAY_END)
            --depth;
        else if (e == JE_ERROR || e == JE_DONE)
            throw std::runtime_error("broken request log line");
    }
}

void read_options(JsonReader& reader, std::map<std::string, std::string>& options)
{
    for (;;) {
        const JsonEvent key = json_reader_next(reader);
        if (key == JE_OBJECT_END)
            return;
        if (key != JE_STRING)
            throw std::runtime_error("broken request log line");
        const std::string name = json_reader_string(reader);
        const JsonEvent value = json_reader_next(reader);
        if (value != JE_STRING && value != JE_NUMBER)
            throw std::runtime_error("broken request log line");
        options[name] = json_reader_string(reader);
    }
}

// [{"path": ..., "bytes": ..., "sha256": ...}, ...] after its opening bracket.
void read_restored(JsonReader& reader, std::vector<SimRestoredFile>& files)
{
    for (JsonEvent e = json_reader_next(reader); e != JE_ARRAY_END; e = json_reader_next(reader)) {
        if (e != JE_OBJECT)
            throw std::runtime_error("broken request log line");
        std::map<std::string, std::string> fields;
        read_options(reader, fields);
        files.push_back({fields["path"], fields["sha256"], std::strtoull(fields["bytes"].c_str(), nullptr, 10)});
    }
}

} // namespace

SimRequest parse_sim_request(const std::string& line)
{
    SimRequest request;
    request.raw = line;
    JsonReader reader;
    json_reader_open_text(reader, line.c_str());
    const std::map<std::string, std::string SimRequest::*> texts{
        {"kind", &SimRequest::kind},       {"path", &SimRequest::path},
        {"query", &SimRequest::query},     {"outcome", &SimRequest::outcome},
        {"sha256", &SimRequest::sha256},
    };
    bool complete = json_reader_next(reader) == JE_OBJECT;
    while (complete) {
        const JsonEvent key = json_reader_next(reader);
        if (key == JE_OBJECT_END)
            break;
        if (key != JE_STRING) {
            complete = false;
            break;
        }
        const std::string name = json_reader_string(reader);
        const JsonEvent value = json_reader_next(reader);
        if (value == JE_ERROR || value == JE_DONE) {
            complete = false;
        } else if (name == "options" && value == JE_OBJECT) {
            read_options(reader, request.options);
        } else if (name == "restored" && value == JE_ARRAY) {
            read_restored(reader, request.restored);
        } else if (name == "bytes" && value == JE_NUMBER) {
            request.bytes = std::strtoull(json_reader_string(reader), nullptr, 10);
        } else if (auto field = texts.find(name); field != texts.end() && value == JE_STRING) {
            request.*(field->second) = json_reader_string(reader);
        } else {
            skip_value(reader, value);
        }
    }
    json_reader_close(reader);
    if (!complete)
        throw std::runtime_error("broken request log line: " + line);
    return request;
}

Simulator::Simulator(std::vector<std::string> extra_args) : log_path_(temp_log_path())
{
    std::vector<std::string> args{python_interpreter(), KELPU_SIM_SCRIPT, "--port", "0", "--request-log", log_path_};
    args.insert(args.end(), extra_args.begin(), extra_args.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        unlink(log_path_.c_str());
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const int spawned = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        unlink(log_path_.c_str());
        throw std::runtime_error("cannot start python3: " + std::string(std::strerror(spawned)));
    }
    const std::string line = read_first_line(out[0]);
    close(out[0]);
    port_ = std::atoi(line.c_str());
    if (port_ <= 0 || port_ > 65535) {
        stop_process(pid_);
        unlink(log_path_.c_str());
        throw std::runtime_error("the simulator did not report its port (got '" + line + "')");
    }
}

Simulator::~Simulator()
{
    stop_process(pid_);
    unlink(log_path_.c_str());
}

int Simulator::port() const
{
    return port_;
}

std::string Simulator::address() const
{
    return "127.0.0.1:" + std::to_string(port_);
}

std::vector<SimRequest> Simulator::requests() const
{
    std::ifstream log(log_path_, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>()};
    // A line without its line feed is still being written: not yet a request.
    std::vector<SimRequest> requests;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        if (end > start)
            requests.push_back(parse_sim_request(text.substr(start, end - start)));
    return requests;
}
