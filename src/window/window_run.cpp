#include "window/window_run.h"

#include "log/log.h"
#include "platform/partial_files.h"
#include "window/log_window.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// Long enough to read the last lines before the window goes.
constexpr guint closing_pause_ms = 4000;
// A worker inside a network exchange reaches no log call for a while; after
// this long the run is ended without waiting for it.
constexpr auto worker_stop_wait = std::chrono::seconds(2);
constexpr int stopped_by_user_status = 1;

bool variable_set(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// What the worker and the window thread share. Every log line and progress
// step is handed to the window thread, and the worker waits until it is
// shown. Those hand-overs are also where a worker whose window the user has
// closed stops for good.
class WindowRun final : public LogSink {
public:
    explicit WindowRun(LogWindow& window) : window_(window) {}

    // Worker thread.
    void insert_line_at_top(LogColour colour, std::string_view line) override
    {
        run_on_window_thread([&] { window_.insert_line_at_top(colour, line); });
    }
    void set_progress(int percent) override
    {
        run_on_window_thread([&] { window_.set_progress(percent); });
    }
    void action_ended(int status)
    {
        std::unique_lock lock(mutex_);
        if (stopped_)
            park(lock);
        action_status_ = status;
        g_idle_add(start_closing_pause, this);
    }
    void worker_returned(int status)
    {
        const std::lock_guard lock(mutex_);
        worker_status_ = status;
        changed_.notify_all();
        g_idle_add(close_unless_pausing, this);
    }

    // Window thread: the window is being destroyed, by the pause's end or by
    // the user.
    void window_destroyed()
    {
        const std::lock_guard lock(mutex_);
        window_open_ = false;
        stopped_ = !action_status_ && !worker_status_;
        changed_.notify_all();
        gtk_main_quit();
    }
    bool stopped() const
    {
        const std::lock_guard lock(mutex_);
        return stopped_;
    }
    int exit_status() const
    {
        const std::lock_guard lock(mutex_);
        return worker_status_.value_or(action_status_.value_or(stopped_by_user_status));
    }

    // Window thread, after the user closed the window mid-run. A worker that
    // has stopped (or returned) is no longer writing any file.
    [[noreturn]] void end_stopped_run()
    {
        std::unique_lock lock(mutex_);
        const bool worker_waits =
            changed_.wait_for(lock, worker_stop_wait, [&] { return parked_ || worker_status_.has_value(); });
        partial_files_remove_all();
        // A worker that did not stop may hold standard output; its lines
        // so far are kept only when that cannot block.
        if (worker_waits || ftrylockfile(stdout) == 0)
            std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(stopped_by_user_status);
    }

private:
    struct WindowCall {
        std::function<void()> task;
        WindowRun* run;
        bool done = false;
    };

    void run_on_window_thread(const std::function<void()>& task)
    {
        std::unique_lock lock(mutex_);
        if (stopped_)
            park(lock);
        if (!window_open_)
            return; // the run is over; nobody reads the line any more
        auto call = std::make_shared<WindowCall>(WindowCall{task, this});
        g_idle_add_full(G_PRIORITY_DEFAULT, run_call, new std::shared_ptr<WindowCall>(call), delete_call);
        changed_.wait(lock, [&] { return call->done || !window_open_; });
        if (stopped_)
            park(lock);
    }

    // The window thread ends the process from here on.
    [[noreturn]] void park(std::unique_lock<std::mutex>& lock)
    {
        parked_ = true;
        changed_.notify_all();
        for (;;)
            changed_.wait(lock);
    }

    static gboolean run_call(gpointer data)
    {
        WindowCall& call = **static_cast<std::shared_ptr<WindowCall>*>(data);
        WindowRun& run = *call.run;
        // Only this thread closes the window, so it is still open here if
        // the flag says so.
        if (run.window_open_)
            call.task();
        const std::lock_guard lock(run.mutex_);
        call.done = true;
        run.changed_.notify_all();
        return G_SOURCE_REMOVE;
    }
    static void delete_call(gpointer data) { delete static_cast<std::shared_ptr<WindowCall>*>(data); }

    static gboolean start_closing_pause(gpointer data)
    {
        g_timeout_add(closing_pause_ms, close_window, data);
        return G_SOURCE_REMOVE;
    }
    static gboolean close_unless_pausing(gpointer data)
    {
        auto& run = *static_cast<WindowRun*>(data);
        if (!run.action_ended_seen())
            close_window(data);
        return G_SOURCE_REMOVE;
    }
    static gboolean close_window(gpointer data)
    {
        auto& run = *static_cast<WindowRun*>(data);
        if (run.window_open_)
            gtk_widget_destroy(run.window_.widget());
        return G_SOURCE_REMOVE;
    }
    bool action_ended_seen() const
    {
        const std::lock_guard lock(mutex_);
        return action_status_.has_value();
    }

    LogWindow& window_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool window_open_ = true;
    bool stopped_ = false;
    bool parked_ = false;
    std::optional<int> action_status_;
    std::optional<int> worker_status_;
};

void on_window_destroy(GtkWidget*, gpointer run)
{
    static_cast<WindowRun*>(run)->window_destroyed();
}

} // namespace

bool log_window_wanted()
{
    return !isatty(STDOUT_FILENO) && (variable_set("DISPLAY") || variable_set("WAYLAND_DISPLAY"));
}

std::optional<int> run_in_log_window(const WindowWork& work)
{
    // The run formats and parses numbers the same way with a window as
    // without one: GTK may not switch the process to the user's locale.
    gtk_disable_setlocale();
    if (!gtk_init_check(nullptr, nullptr))
        return std::nullopt;
    LogWindow window;
    WindowRun run(window);
    g_signal_connect(window.widget(), "destroy", G_CALLBACK(on_window_destroy), &run);

    log_set_sink(&run);
    std::thread worker;
    try {
        worker = std::thread([&] {
            const int status = work([&](int action_status) { run.action_ended(action_status); });
            run.worker_returned(status);
        });
    } catch (const std::system_error&) {
        log_set_sink(nullptr); // the window was never shown
        return std::nullopt;
    }
    gtk_widget_show_all(window.widget());
    gtk_main();

    if (run.stopped())
        run.end_stopped_run();
    worker.join();
    log_set_sink(nullptr);
    return run.exit_status();
}
