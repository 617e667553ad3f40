#pragma once
// Between the worker that runs the action and the window thread. Every log
// line and progress step is handed to the window thread, and the worker
// waits until it is shown. Those hand-overs are also where a worker whose
// window the user has closed stops for good.

#include "log/log.h"
#include "window/log_window.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

class WindowHandoff final : public LogSink {
public:
    explicit WindowHandoff(LogWindow& window) : window_(window) {}

    // Worker thread.
    void insert_line_at_top(LogColour colour, std::string_view line) override;
    void set_progress(int percent) override;
    // The action is over: the window closes after its pause.
    void action_ended(int status);
    // The work has returned; without an action (--help) the window closes now.
    void worker_returned(int status);

    // Window thread: the window is being destroyed, by the pause's end or by
    // the user.
    void window_destroyed();
    // The user closed the window before the action was over.
    bool stopped() const;
    int exit_status() const;
    // Ends a stopped run: removes the files not yet written whole and ends
    // the process with status 1.
    [[noreturn]] void end_stopped_run();

private:
    struct WindowCall;

    void run_on_window_thread(const std::function<void()>& task);
    [[noreturn]] void park(std::unique_lock<std::mutex>& lock);
    bool action_ended_seen() const;

    static gboolean run_call(gpointer data);
    static void delete_call(gpointer data);
    static gboolean start_closing_pause(gpointer data);
    static gboolean close_unless_pausing(gpointer data);
    static gboolean close_window(gpointer data);

    LogWindow& window_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool window_open_ = true;
    bool stopped_ = false;
    bool parked_ = false;
    std::optional<int> action_status_;
    std::optional<int> worker_status_;
};
