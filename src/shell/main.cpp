// kelpkit: the kit's desktop shell. It starts the kit's web server, shows the
// web interface in a browser window and lets the page run the utility.

#include "shell/gobject_ptr.h"
#include "shell/kit_paths.h"
#include "shell/shell_options.h"
#include "shell/shell_windows.h"
#include "shell/web_server.h"

#include <glib-unix.h>
#include <webkit2/webkit2.h>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

struct MainLoopUnref {
    void operator()(GMainLoop* loop) const { g_main_loop_unref(loop); }
};

gboolean quit_loop(gpointer loop)
{
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_CONTINUE;
}

// Browser data lives below the user's cache and data folders; the web
// process runs without a sandbox, and every page gets the bridge.
GObjectPtr<WebKitWebContext> make_web_context(const KitPaths& kit)
{
    const std::string cache_dir = std::string(g_get_user_cache_dir()) + "/QUILMAR/ccache/";
    const std::string data_dir = std::string(g_get_user_data_dir()) + "/QUILMAR/cuserdata/";
    GObjectPtr<WebKitWebsiteDataManager> data_manager(webkit_website_data_manager_new(
        "base-cache-directory", cache_dir.c_str(), "base-data-directory", data_dir.c_str(), nullptr));
    GObjectPtr<WebKitWebContext> context(webkit_web_context_new_with_website_data_manager(data_manager.get()));
    webkit_web_context_set_sandbox_enabled(context.get(), FALSE);
    webkit_web_context_set_web_extensions_directory(context.get(), kit.extensions_dir.c_str());
    return context;
}

} // namespace

int main(int argc, char** argv)
{
    const std::optional<std::string> root = executable_dir();
    if (!root) {
        std::fprintf(stderr, "kelpkit: cannot find the kit's folder\n");
        return 1;
    }
    const KitPaths kit = kit_paths(*root);
    const WebServer server(kit.server_program, kit.server_dir, web_server_port);

    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "kelpkit: cannot open the display\n");
        return 1;
    }
    const ShellOptions options = parse_shell_options(std::vector<std::string>(argv + 1, argv + argc));

    const std::unique_ptr<GMainLoop, MainLoopUnref> loop(g_main_loop_new(nullptr, FALSE));
    g_unix_signal_add(SIGTERM, quit_loop, loop.get());
    g_unix_signal_add(SIGINT, quit_loop, loop.get());

    const GObjectPtr<WebKitWebContext> context = make_web_context(kit);
    {
        ShellWindows windows(options.use_views, kit.utility, loop.get());
        GtkWidget* view = webkit_web_view_new_with_context(context.get());
        // The kit's own pages may open windows from script, as any browser
        // window of the kit may; popups share these settings.
        webkit_settings_set_javascript_can_open_windows_automatically(
            webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view)), TRUE);
        windows.open(WEBKIT_WEB_VIEW(view));
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), options.start_url.c_str());
        g_main_loop_run(loop.get());
    }
    return 0;
}
