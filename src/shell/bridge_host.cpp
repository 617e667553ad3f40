#include "shell/bridge_host.h"

#include "shell/bridge_actions.h"
#include "shell/child_process.h"
#include "shell/gobject_ptr.h"

#include <functional>
#include <memory>
#include <optional>

namespace {

// One call from the page, answered exactly once: a call dropped on the way
// (its window closed under an open dialog) still answers -1.
class BridgeCall {
public:
    BridgeCall(WebKitWebView* view, WebKitUserMessage* message, const BridgeAction& action, std::string utility)
        : view_(add_ref(view)), message_(add_ref(message)), action_(action), utility_(std::move(utility))
    {
        // The page waits for the answer; it takes no input until then.
        gtk_widget_set_sensitive(GTK_WIDGET(view_.get()), FALSE);
    }
    ~BridgeCall() { reply(-1); }
    BridgeCall(const BridgeCall&) = delete;
    BridgeCall& operator=(const BridgeCall&) = delete;

    void reply(int result)
    {
        if (replied_)
            return;
        replied_ = true;
        gtk_widget_set_sensitive(GTK_WIDGET(view_.get()), TRUE);
        const std::string name(action_.function_name);
        webkit_user_message_send_reply(message_.get(),
                                       webkit_user_message_new(name.c_str(), g_variant_new_int32(result)));
    }

    // The window of the page, as the owner of dialogs; nullptr once it has gone.
    GtkWindow* window() const
    {
        GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view_.get()));
        return GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr;
    }

    const BridgeAction& action() const { return action_; }
    const std::string& utility() const { return utility_; }

private:
    GObjectPtr<WebKitWebView> view_;
    GObjectPtr<WebKitUserMessage> message_;
    const BridgeAction& action_;
    std::string utility_;
    bool replied_ = false;
};

using Call = std::shared_ptr<BridgeCall>;
using ResponseHandler = std::function<void(GtkDialog*, int)>;

void when_answered(GtkWidget* dialog, ResponseHandler handler)
{
    // The handler destroys the dialog, and with it the stored handler: it
    // runs from a copy.
    g_signal_connect_data(dialog, "response", G_CALLBACK(+[](GtkDialog* d, gint response, gpointer data) {
                              const ResponseHandler handler = *static_cast<ResponseHandler*>(data);
                              handler(d, response);
                          }),
                          callback_data(std::move(handler)), free_closure_data<ResponseHandler>, GConnectFlags{});
}

void show_message(const Call& call, MessageBoxText message)
{
    const std::string text(message.text);
    const std::string title(message.title);
    const auto flags = static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT);
    GtkWidget* dialog =
        gtk_message_dialog_new(call->window(), flags, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
    when_answered(dialog, [call](GtkDialog* d, int) {
        gtk_widget_destroy(GTK_WIDGET(d));
        call->reply(-1);
    });
    gtk_widget_show(dialog);
}

void run_utility(const Call& call, const std::string& address, const std::string& path)
{
    // Its own process group: a Ctrl+C meant for the shell in a terminal must
    // not cut a restore or a firmware upgrade short.
    const std::optional<pid_t> pid =
        spawn_program({call->utility(), utility_arguments(call->action(), address, path), std::nullopt, true});
    if (!pid) {
        call->reply(-1);
        return;
    }
    g_child_watch_add_full(G_PRIORITY_DEFAULT, *pid, +[](GPid, gint status, gpointer data) {
        (*static_cast<Call*>(data))->reply(exit_code_of(status));
    }, callback_data(call), free_callback_data<Call>);
}

void pick_path(const Call& call, const std::string& address)
{
    const bool folder = call->action().picker == PickerKind::folder;
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        folder ? "Select Folder" : "Open", call->window(),
        folder ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER : GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
        GTK_RESPONSE_CANCEL, folder ? "_Select" : "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    // Without a folder GTK opens on the list of recent files, which offers no
    // folders at all; the home folder is where the user's folders start.
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), g_get_home_dir());
    when_answered(dialog, [call, address](GtkDialog* d, int response) {
        std::string path;
        if (response == GTK_RESPONSE_ACCEPT) {
            if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d))) {
                path = name;
                g_free(name);
            }
        }
        gtk_widget_destroy(GTK_WIDGET(d));
        if (path.empty())
            show_message(call, nothing_picked(call->action()));
        else
            run_utility(call, address, path);
    });
    gtk_widget_show(dialog);
}

// The call's first argument: absent when the page passed none or no string.
std::optional<std::string> address_of(WebKitUserMessage* message)
{
    GVariant* parameters = webkit_user_message_get_parameters(message);
    if (parameters == nullptr || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("ms")))
        return std::nullopt;
    const gchar* text = nullptr;
    g_variant_get(parameters, "m&s", &text);
    if (text == nullptr)
        return std::nullopt;
    return std::string(text);
}

} // namespace

bool handle_bridge_message(WebKitWebView* view, WebKitUserMessage* message, const std::string& utility)
{
    const BridgeAction* action = find_bridge_action(webkit_user_message_get_name(message));
    if (action == nullptr)
        return false;
    const auto call = std::make_shared<BridgeCall>(view, message, *action, utility);
    const std::optional<std::string> address = address_of(message);
    if (const auto refusal = refuse_call(*action, address))
        show_message(call, *refusal);
    else
        pick_path(call, *address);
    return true;
}
