#include "window/log_window.h"

#include <cstdio>
#include <memory>

namespace {

constexpr int window_width = 800;
constexpr int window_height = 600;
constexpr int progress_height = 20;
constexpr int log_character_limit = 8192;

// A flat bar of fixed height: the theme's bar is a few pixels high.
constexpr const char* progress_style = R"(
#log-progress, #log-progress trough, #log-progress progress {
    min-height: 20px; padding: 0; margin: 0; border: none; border-radius: 0;
    box-shadow: none; background-image: none;
}
#log-progress trough { background-color: #e6e6e6; }
#log-progress progress { background-color: #06b025; }
)";

struct GFreeDeleter {
    void operator()(gchar* text) const { g_free(text); }
};
using GText = std::unique_ptr<gchar, GFreeDeleter>;

void style_progress_bar(GtkWidget* progress)
{
    gtk_widget_set_name(progress, "log-progress");
    gtk_widget_set_size_request(progress, -1, progress_height);
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, progress_style, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(progress), GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

void on_copy_activate(GtkMenuItem*, gpointer window)
{
    static_cast<LogWindow*>(window)->copy_log_to_clipboard();
}

bool over_item(GtkWidget* item, const GdkEventButton* event)
{
    GtkAllocation area;
    gtk_widget_get_allocation(item, &area);
    return event->x >= area.x && event->x < area.x + area.width && event->y >= area.y &&
           event->y < area.y + area.height;
}

// A menu bar item without a menu ignores a quick click (it waits for a menu
// to open); the item is a command, so a click runs it. The keyboard
// (F10, Enter) goes the menu bar's own way.
gboolean on_menu_bar_press(GtkWidget*, GdkEventButton* event, gpointer item)
{
    return event->button == GDK_BUTTON_PRIMARY && over_item(GTK_WIDGET(item), event);
}

gboolean on_menu_bar_release(GtkWidget*, GdkEventButton* event, gpointer item)
{
    if (event->button != GDK_BUTTON_PRIMARY || !over_item(GTK_WIDGET(item), event))
        return FALSE;
    gtk_menu_item_activate(GTK_MENU_ITEM(item));
    return TRUE;
}

} // namespace

LogWindow::LogWindow()
{
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), "Please wait...");
    gtk_window_set_default_size(GTK_WINDOW(window_), window_width, window_height);

    GtkWidget* menu_bar = gtk_menu_bar_new();
    GtkWidget* copy_item = gtk_menu_item_new_with_label("Copy log to clipboard");
    g_signal_connect(copy_item, "activate", G_CALLBACK(on_copy_activate), this);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu_bar), copy_item);
    g_signal_connect(menu_bar, "button-press-event", G_CALLBACK(on_menu_bar_press), copy_item);
    g_signal_connect(menu_bar, "button-release-event", G_CALLBACK(on_menu_bar_release), copy_item);

    GtkWidget* text_view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(text_view), FALSE);
    gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(text_view), FALSE);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(text_view), GTK_WRAP_WORD_CHAR);
    buffer_ = gtk_text_view_get_buffer(GTK_TEXT_VIEW(text_view));
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_ALWAYS);
    gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(scrolled), FALSE);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(scrolled), text_view);

    progress_ = gtk_progress_bar_new();
    style_progress_bar(progress_);

    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(column), menu_bar, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), scrolled, TRUE, TRUE, 0);
    gtk_box_pack_end(GTK_BOX(column), progress_, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window_), column);
}

void LogWindow::insert_line_at_top(LogColour colour, std::string_view line)
{
    // The text view takes UTF-8 only; bytes that are not are shown as U+FFFD.
    const GText text(g_utf8_make_valid(line.data(), static_cast<gssize>(line.size())));
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer_, &start);
    gtk_text_buffer_insert_with_tags(buffer_, &start, text.get(), -1, colour_tag(colour), nullptr);
    drop_oldest_lines_beyond_limit();
}

void LogWindow::set_progress(int percent)
{
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress_), percent / 100.0);
}

void LogWindow::copy_log_to_clipboard()
{
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer_, &start, &end);
    const GText text(gtk_text_buffer_get_text(buffer_, &start, &end, FALSE));
    if (text == nullptr || *text == '\0')
        return;
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text.get(), -1);
}

GtkTextTag* LogWindow::colour_tag(LogColour colour)
{
    char name[32];
    std::snprintf(name, sizeof name, "colour-%06x", static_cast<unsigned>(colour));
    GtkTextTag* tag = gtk_text_tag_table_lookup(gtk_text_buffer_get_tag_table(buffer_), name);
    if (tag != nullptr)
        return tag;
    // Colours are kept as 0x00BBGGRR.
    const GdkRGBA rgba{(colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0, ((colour >> 16) & 0xFF) / 255.0, 1.0};
    return gtk_text_buffer_create_tag(buffer_, name, "foreground-rgba", &rgba, nullptr);
}

// The log keeps its newest 8,192 characters. Whole lines go from the bottom,
// so the newest line is always shown and no line is shown cut.
void LogWindow::drop_oldest_lines_beyond_limit()
{
    if (gtk_text_buffer_get_char_count(buffer_) <= log_character_limit)
        return;
    GtkTextIter cut, end;
    gtk_text_buffer_get_iter_at_offset(buffer_, &cut, log_character_limit);
    gtk_text_iter_set_line_offset(&cut, 0);
    gtk_text_buffer_get_end_iter(buffer_, &end);
    gtk_text_buffer_delete(buffer_, &cut, &end);
}
