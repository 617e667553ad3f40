#pragma once
// The kit's web server: started beside the shell unless one already answers,
// and stopped when the shell ends. Only the server this shell started is
// stopped, by its process id.

#include <sys/types.h>

#include <string>

inline constexpr int web_server_port = 7681;

// True when something accepts TCP connections on 127.0.0.1:port.
bool port_answers(int port);

class WebServer {
public:
    // Starts program with working_dir as its working folder unless the port
    // already answers, then waits (at most one second) until it answers.
    // A server that cannot be started is not an error here: the page load
    // then fails and the window shows why.
    WebServer(const std::string& program, const std::string& working_dir, int port);
    ~WebServer(); // stops the server if this object started it
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    pid_t started_pid() const { return pid_; } // 0 when none was started

private:
    pid_t pid_ = 0;
};
