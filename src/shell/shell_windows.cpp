#include "shell/shell_windows.h"

#include "shell/bridge_host.h"
#include "shell/error_page.h"

#include <algorithm>

namespace {

constexpr const char* initial_title = "kelpkit";
constexpr int window_width = 790;
constexpr int views_window_width = 600;
constexpr int window_height = 700;

GtkWindow* window_of(WebKitWebView* view)
{
    GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view));
    return GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr;
}

// Loads that stopped because something else took over (the user stopped
// them, another navigation replaced them, a download took them) are no
// failures to show.
bool load_was_abandoned(const GError* error)
{
    return g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
           g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE);
}

} // namespace

ShellWindows::ShellWindows(bool use_views, std::string utility, GMainLoop* loop)
    : use_views_(use_views), utility_(std::move(utility)), loop_(loop)
{
}

ShellWindows::~ShellWindows()
{
    // Destroying a window removes it from the list through its handler.
    while (!windows_.empty())
        gtk_widget_destroy(windows_.back());
}

void ShellWindows::open(WebKitWebView* view)
{
    watch(view);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), initial_title);
    if (use_views_) {
        GtkWidget* header = gtk_header_bar_new();
        gtk_header_bar_set_title(GTK_HEADER_BAR(header), initial_title);
        gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header), TRUE);
        gtk_window_set_titlebar(GTK_WINDOW(window), header);
        gtk_window_set_default_size(GTK_WINDOW(window), views_window_width, window_height);
    } else {
        gtk_window_set_default_size(GTK_WINDOW(window), window_width, window_height);
    }
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
    g_signal_connect(window, "destroy", G_CALLBACK(on_window_destroyed), this);
    windows_.push_back(window);
    gtk_widget_show_all(window);
    gtk_widget_grab_focus(GTK_WIDGET(view));
}

void ShellWindows::watch(WebKitWebView* view)
{
    g_signal_connect(view, "notify::title", G_CALLBACK(on_title_changed), nullptr);
    g_signal_connect(view, "load-failed", G_CALLBACK(on_load_failed), nullptr);
    g_signal_connect(view, "create", G_CALLBACK(on_create), this);
    g_signal_connect(view, "close", G_CALLBACK(on_close), nullptr);
    g_signal_connect(view, "user-message-received", G_CALLBACK(on_user_message), this);
}

void ShellWindows::forget(GtkWidget* window)
{
    windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
    if (windows_.empty())
        g_main_loop_quit(loop_);
}

void ShellWindows::on_title_changed(WebKitWebView* view, GParamSpec*, gpointer)
{
    GtkWindow* window = window_of(view);
    if (window == nullptr)
        return;
    const gchar* page_title = webkit_web_view_get_title(view);
    const gchar* title = page_title != nullptr && *page_title != '\0' ? page_title : initial_title;
    gtk_window_set_title(window, title);
    if (GtkWidget* header = gtk_window_get_titlebar(window); header != nullptr && GTK_IS_HEADER_BAR(header))
        gtk_header_bar_set_title(GTK_HEADER_BAR(header), title);
}

gboolean ShellWindows::on_load_failed(WebKitWebView* view, WebKitLoadEvent, gchar* failing_uri, GError* error,
                                      gpointer)
{
    if (load_was_abandoned(error))
        return TRUE;
    // Should the error page itself fail, WebKit's own page is shown instead
    // of trying again forever.
    if (g_str_has_prefix(failing_uri, "data:"))
        return FALSE;
    const std::string page = error_page_html(failing_uri, error->message, error->code);
    webkit_web_view_load_uri(view, make_data_uri(page, "text/html").c_str());
    return TRUE;
}

GtkWidget* ShellWindows::on_create(WebKitWebView* view, WebKitNavigationAction*, gpointer self)
{
    GtkWidget* popup = webkit_web_view_new_with_related_view(view);
    g_signal_connect(popup, "ready-to-show", G_CALLBACK(on_ready_to_show), self);
    return popup;
}

void ShellWindows::on_ready_to_show(WebKitWebView* view, gpointer self)
{
    static_cast<ShellWindows*>(self)->open(view);
}

void ShellWindows::on_close(WebKitWebView* view, gpointer)
{
    if (GtkWindow* window = window_of(view))
        gtk_widget_destroy(GTK_WIDGET(window));
}

gboolean ShellWindows::on_user_message(WebKitWebView* view, WebKitUserMessage* message, gpointer self)
{
    return handle_bridge_message(view, message, static_cast<ShellWindows*>(self)->utility_);
}

void ShellWindows::on_window_destroyed(GtkWidget* window, gpointer self)
{
    static_cast<ShellWindows*>(self)->forget(window);
}
