#include "window/window_run.h"

#include "log/log.h"
#include "window/log_window.h"
#include "window/window_handoff.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <thread>

namespace {

bool variable_set(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

void on_window_destroy(GtkWidget*, gpointer handoff)
{
    static_cast<WindowHandoff*>(handoff)->window_destroyed();
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
    WindowHandoff handoff(window);
    g_signal_connect(window.widget(), "destroy", G_CALLBACK(on_window_destroy), &handoff);

    log_set_sink(&handoff);
    std::thread worker;
    try {
        worker = std::thread([&] {
            const int status = work([&](int action_status) { handoff.action_ended(action_status); });
            handoff.worker_returned(status);
        });
    } catch (const std::system_error&) {
        log_set_sink(nullptr); // the window was never shown
        return std::nullopt;
    }
    gtk_widget_show_all(window.widget());
    gtk_main();

    if (handoff.stopped())
        handoff.end_stopped_run();
    worker.join();
    log_set_sink(nullptr);
    return handoff.exit_status();
}
