// The web process's half of the script bridge: every frame of every page gets
// native_appVersion and the three functions that run the utility. A call is
// forwarded to the main process, which owns the windows, and the function
// returns its answer, so the page's script receives the exit code as the
// call's result.

#include "shell/bridge_actions.h"

#include <webkit2/webkit-web-extension.h>

#include <memory>
#include <optional>
#include <string>

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using Owned = std::unique_ptr<T, GObjectUnref>;

struct MainLoopUnref {
    void operator()(GMainLoop* loop) const { g_main_loop_unref(loop); }
};

// What one function value needs when it is called: its name and its page,
// held weakly because the page may go while the function value lives on.
struct BridgeFunction {
    std::string name;
    GWeakRef page;

    BridgeFunction(std::string function_name, WebKitWebPage* web_page) : name(std::move(function_name))
    {
        g_weak_ref_init(&page, web_page);
    }
    ~BridgeFunction() { g_weak_ref_clear(&page); }
    BridgeFunction(const BridgeFunction&) = delete;
    BridgeFunction& operator=(const BridgeFunction&) = delete;
};

struct ReplyWait {
    GMainLoop* loop;
    int result = -1;
};

// A script cannot start a second run while one is waiting for its answer
// (a timer could fire while the nested loop runs).
bool call_in_progress = false;

void on_reply(GObject* page, GAsyncResult* result, gpointer data)
{
    auto* wait = static_cast<ReplyWait*>(data);
    const Owned<WebKitUserMessage> reply(
        webkit_web_page_send_message_to_view_finish(WEBKIT_WEB_PAGE(page), result, nullptr));
    if (reply) {
        GVariant* parameters = webkit_user_message_get_parameters(reply.get());
        if (parameters != nullptr && g_variant_is_of_type(parameters, G_VARIANT_TYPE_INT32))
            wait->result = g_variant_get_int32(parameters);
    }
    g_main_loop_quit(wait->loop);
}

// Sends the call to the main process and runs a nested main loop until the
// answer arrives; -1 when there is no answer.
int forward_call(WebKitWebPage* page, const std::string& name, const std::optional<std::string>& address)
{
    GVariant* argument = g_variant_new_maybe(G_VARIANT_TYPE_STRING,
                                             address ? g_variant_new_string(address->c_str()) : nullptr);
    WebKitUserMessage* message = webkit_user_message_new(name.c_str(), argument);

    GMainContext* context = g_main_context_ref_thread_default();
    const std::unique_ptr<GMainLoop, MainLoopUnref> loop(g_main_loop_new(context, FALSE));
    g_main_context_unref(context);
    ReplyWait wait{loop.get()};
    webkit_web_page_send_message_to_view(page, message, nullptr, on_reply, &wait);
    g_main_loop_run(loop.get());
    return wait.result;
}

// The first argument as the controller's address; nothing when it is missing
// or no string. A string holding a NUL is refused too: a program argument
// ends there, and the utility would get another address than the page gave.
std::optional<std::string> address_argument(GPtrArray* arguments)
{
    if (arguments->len == 0)
        return std::nullopt;
    auto* first = static_cast<JSCValue*>(g_ptr_array_index(arguments, 0));
    if (!jsc_value_is_string(first))
        return std::nullopt;
    GBytes* bytes = jsc_value_to_string_as_bytes(first);
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    const std::string text = size == 0 ? std::string() : std::string(data, size);
    g_bytes_unref(bytes);
    if (text.find('\0') != std::string::npos)
        return std::nullopt;
    return text;
}

gint call_bridge_function(GPtrArray* arguments, gpointer data)
{
    auto* function = static_cast<BridgeFunction*>(data);
    const Owned<WebKitWebPage> page(static_cast<WebKitWebPage*>(g_weak_ref_get(&function->page)));
    if (!page || call_in_progress)
        return -1;

    call_in_progress = true;
    const int result = forward_call(page.get(), function->name, address_argument(arguments));
    call_in_progress = false;
    return result;
}

void free_bridge_function(gpointer data)
{
    std::unique_ptr<BridgeFunction>{static_cast<BridgeFunction*>(data)};
}

// Like a plain assignment in script: writable, enumerable and deletable.
void set_global(JSCValue* global, const char* name, JSCValue* value)
{
    constexpr auto flags = static_cast<JSCValuePropertyFlags>(JSC_VALUE_PROPERTY_CONFIGURABLE |
                                                              JSC_VALUE_PROPERTY_ENUMERABLE |
                                                              JSC_VALUE_PROPERTY_WRITABLE);
    jsc_value_object_define_property_data(global, name, flags, value);
}

void on_window_object_cleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame, gpointer)
{
    const Owned<JSCContext> context(webkit_frame_get_js_context_for_script_world(frame, world));
    const Owned<JSCValue> global(jsc_context_get_global_object(context.get()));

    const Owned<JSCValue> version(jsc_value_new_string(context.get(), std::string(app_version).c_str()));
    set_global(global.get(), "native_appVersion", version.get());

    for (std::string_view name : bridge_function_names()) {
        const std::string function_name(name);
        auto function = std::make_unique<BridgeFunction>(function_name, page);
        const Owned<JSCValue> value(jsc_value_new_function_variadic(
            context.get(), function_name.c_str(), G_CALLBACK(call_bridge_function), function.release(),
            free_bridge_function, G_TYPE_INT));
        set_global(global.get(), function_name.c_str(), value.get());
    }
}

} // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize(WebKitWebExtension*)
{
    g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                     G_CALLBACK(on_window_object_cleared), nullptr);
}
