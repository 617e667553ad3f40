#include "log/printable.h"

#include <cstdio>

namespace {

void append_escape(std::string& out, const char* format, unsigned value)
{
    char escape[8];
    std::snprintf(escape, sizeof escape, format, value);
    out += escape;
}

// Length of the UTF-8 sequence that starts text, or 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t utf8_sequence_length(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto continuation = [&](std::size_t i) { return i < text.size() && (byte(i) & 0xC0) == 0x80; };
    const unsigned lead = byte(0);
    if (lead >= 0xC2 && lead <= 0xDF)
        return continuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!continuation(1) || !continuation(2))
            return 0;
        if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) >= 0xA0))
            return 0;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3))
            return 0;
        if ((lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) >= 0x90))
            return 0;
        return 4;
    }
    return 0;
}

} // namespace

std::string printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text.front());
        std::size_t length = 1;
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            append_escape(out, "\\x%02x", c);
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((length = utf8_sequence_length(text)) == 0) {
            length = 1;
            append_escape(out, "\\x%02x", c);
        } else if (c == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0) {
            // U+0080 to U+009F: the C1 controls, CSI among them.
            append_escape(out, "\\u%04x", static_cast<unsigned char>(text[1]));
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}
