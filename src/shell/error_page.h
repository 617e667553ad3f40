#pragma once
// The page shown in place of one that could not be loaded.

#include <string>
#include <string_view>

// The error page's HTML; the URL and the error text are HTML-escaped, so a
// failed address cannot put markup or script into the page.
std::string error_page_html(std::string_view failed_url, std::string_view error_text, int error_code);

// "data:" + mime_type + ";base64," + the URI-escaped Base64 of text.
std::string make_data_uri(std::string_view text, std::string_view mime_type);
