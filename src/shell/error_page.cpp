#include "shell/error_page.h"

#include <glib.h>

#include <memory>

namespace {

struct GFreeDeleter {
    void operator()(gchar* text) const { g_free(text); }
};
using GText = std::unique_ptr<gchar, GFreeDeleter>;

std::string html_escaped(std::string_view text)
{
    const GText escaped(g_markup_escape_text(text.data(), static_cast<gssize>(text.size())));
    return escaped.get();
}

} // namespace

std::string error_page_html(std::string_view failed_url, std::string_view error_text, int error_code)
{
    return "<html><body bgcolor=\"white\"><h2>Failed to load URL " + html_escaped(failed_url) + " with error " +
           html_escaped(error_text) + " (" + std::to_string(error_code) + ").</h2></body></html>";
}

std::string make_data_uri(std::string_view text, std::string_view mime_type)
{
    const GText base64(g_base64_encode(reinterpret_cast<const guchar*>(text.data()), text.size()));
    const GText escaped(g_uri_escape_string(base64.get(), nullptr, FALSE));
    return "data:" + std::string(mime_type) + ";base64," + escaped.get();
}
