#pragma once
// The shell's browser windows: the main window and the popups its pages open.
// A window's title follows its page, a failed load shows an error page, and
// the main loop ends when the last window has closed.

#include <webkit2/webkit2.h>

#include <string>
#include <vector>

class ShellWindows {
public:
    ShellWindows(bool use_views, std::string utility, GMainLoop* loop);
    ~ShellWindows(); // closes the windows still open
    ShellWindows(const ShellWindows&) = delete;
    ShellWindows& operator=(const ShellWindows&) = delete;

    // Puts view in a new top-level window and shows it.
    void open(WebKitWebView* view);

private:
    void watch(WebKitWebView* view);
    void forget(GtkWidget* window);

    static void on_title_changed(WebKitWebView* view, GParamSpec*, gpointer);
    static gboolean on_load_failed(WebKitWebView* view, WebKitLoadEvent, gchar* failing_uri, GError* error,
                                   gpointer);
    static GtkWidget* on_create(WebKitWebView* view, WebKitNavigationAction*, gpointer self);
    static void on_ready_to_show(WebKitWebView* view, gpointer self);
    static void on_close(WebKitWebView* view, gpointer);
    static gboolean on_user_message(WebKitWebView* view, WebKitUserMessage* message, gpointer self);
    static void on_window_destroyed(GtkWidget* window, gpointer self);

    bool use_views_;
    std::string utility_;
    GMainLoop* loop_;
    std::vector<GtkWidget*> windows_; // in order of opening
};
