#include "window/window_handoff.h"

#include "platform/partial_files.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// Long enough to read the last lines before the window goes.
constexpr guint closing_pause_ms = 4000;
// A worker inside a network exchange reaches no log call for a while; after
// this long the run is ended without waiting for it.
constexpr auto worker_stop_wait = std::chrono::seconds(2);
constexpr int stopped_by_user_status = 1;

} // namespace

struct WindowHandoff::WindowCall {
    std::function<void()> task;
    WindowHandoff* handoff;
    bool done = false;
};

void WindowHandoff::insert_line_at_top(LogColour colour, std::string_view line)
{
    run_on_window_thread([&] { window_.insert_line_at_top(colour, line); });
}

void WindowHandoff::set_progress(int percent)
{
    run_on_window_thread([&] { window_.set_progress(percent); });
}

void WindowHandoff::action_ended(int status)
{
    std::unique_lock lock(mutex_);
    if (stopped_)
        park(lock);
    action_status_ = status;
    g_idle_add(start_closing_pause, this);
}

void WindowHandoff::worker_returned(int status)
{
    const std::lock_guard lock(mutex_);
    worker_status_ = status;
    changed_.notify_all();
    g_idle_add(close_unless_pausing, this);
}

void WindowHandoff::window_destroyed()
{
    const std::lock_guard lock(mutex_);
    window_open_ = false;
    stopped_ = !action_status_ && !worker_status_;
    changed_.notify_all();
    gtk_main_quit();
}

bool WindowHandoff::stopped() const
{
    const std::lock_guard lock(mutex_);
    return stopped_;
}

int WindowHandoff::exit_status() const
{
    const std::lock_guard lock(mutex_);
    return worker_status_.value_or(action_status_.value_or(stopped_by_user_status));
}

// A worker that has stopped (or returned) is no longer writing any file.
void WindowHandoff::end_stopped_run()
{
    std::unique_lock lock(mutex_);
    const bool worker_waits =
        changed_.wait_for(lock, worker_stop_wait, [&] { return parked_ || worker_status_.has_value(); });
    partial_files_remove_all();
    // A worker that did not stop may hold standard output; its lines so far
    // are kept only when that cannot block.
    if (worker_waits || ftrylockfile(stdout) == 0)
        std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(stopped_by_user_status);
}

void WindowHandoff::run_on_window_thread(const std::function<void()>& task)
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
void WindowHandoff::park(std::unique_lock<std::mutex>& lock)
{
    parked_ = true;
    changed_.notify_all();
    for (;;)
        changed_.wait(lock);
}

bool WindowHandoff::action_ended_seen() const
{
    const std::lock_guard lock(mutex_);
    return action_status_.has_value();
}

gboolean WindowHandoff::run_call(gpointer data)
{
    WindowCall& call = **static_cast<std::shared_ptr<WindowCall>*>(data);
    WindowHandoff& handoff = *call.handoff;
    // Only this thread closes the window, so it is still open here if the
    // flag says so.
    if (handoff.window_open_)
        call.task();
    const std::lock_guard lock(handoff.mutex_);
    call.done = true;
    handoff.changed_.notify_all();
    return G_SOURCE_REMOVE;
}

void WindowHandoff::delete_call(gpointer data)
{
    delete static_cast<std::shared_ptr<WindowCall>*>(data);
}

gboolean WindowHandoff::start_closing_pause(gpointer data)
{
    g_timeout_add(closing_pause_ms, close_window, data);
    return G_SOURCE_REMOVE;
}

gboolean WindowHandoff::close_unless_pausing(gpointer data)
{
    if (!static_cast<WindowHandoff*>(data)->action_ended_seen())
        close_window(data);
    return G_SOURCE_REMOVE;
}

gboolean WindowHandoff::close_window(gpointer data)
{
    auto& handoff = *static_cast<WindowHandoff*>(data);
    if (handoff.window_open_)
        gtk_widget_destroy(handoff.window_.widget());
    return G_SOURCE_REMOVE;
}
