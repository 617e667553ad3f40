#include "shell/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// posix_spawn's file actions and attributes, released on every path.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup()
    {
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

} // namespace

std::optional<pid_t> spawn_program(const SpawnRequest& request)
{
    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (request.working_dir)
        posix_spawn_file_actions_addchdir_np(&setup.actions, request.working_dir->c_str());

    // The children must not inherit the shell's blocked or ignored signals:
    // the web server relies on SIGTERM ending it.
    sigset_t no_signals;
    sigemptyset(&no_signals);
    sigset_t all_signals;
    sigfillset(&all_signals);
    posix_spawnattr_setsigmask(&setup.attributes, &no_signals);
    posix_spawnattr_setsigdefault(&setup.attributes, &all_signals);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (request.own_process_group) {
        posix_spawnattr_setpgroup(&setup.attributes, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&setup.attributes, flags);

    std::vector<std::string> texts;
    texts.reserve(request.arguments.size() + 1);
    texts.push_back(request.program);
    texts.insert(texts.end(), request.arguments.begin(), request.arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawn(&pid, request.program.c_str(), &setup.actions, &setup.attributes, argv.data(), environ) != 0)
        return std::nullopt;
    return pid;
}

int exit_code_of(int wait_status)
{
    return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}
