#include "json/json_scan.h"

namespace {

void append_utf8(std::string& token, unsigned long code_point)
{
    if (code_point < 0x80) {
        token.push_back(static_cast<char>(code_point));
    } else if (code_point < 0x800) {
        token.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
        token.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else if (code_point < 0x10000) {
        token.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
        token.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        token.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else {
        token.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
        token.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
        token.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        token.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    }
}

int hex_digit_value(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The four hexadecimal digits after "\u".
bool read_code_unit(JsonReader& reader, unsigned long& unit)
{
    unit = 0;
    for (int i = 0; i < 4; ++i) {
        const int c = source_get(reader.source);
        if (c == end_of_text) {
            json_fail(reader, "unterminated string literal in Unicode");
            return false;
        }
        const int digit = hex_digit_value(c);
        if (digit < 0) {
            json_fail(reader, "invalid escape Unicode byte '%c'", c);
            return false;
        }
        unit = unit * 16 + static_cast<unsigned long>(digit);
    }
    return true;
}

// The "\" or "u" that must follow a high surrogate directly. The end of the
// text is reported as such rather than printed as a byte.
bool expect_surrogate_continuation(JsonReader& reader, int expected)
{
    const int c = source_get(reader.source);
    if (c == end_of_text) {
        json_fail(reader, "unterminated string literal in Unicode");
        return false;
    }
    if (c != expected) {
        if (expected == '\\')
            json_fail(reader, "invalid continuation for surrogate pair '%c', expected '\\'", c);
        else
            json_fail(reader, "invalid continuation for surrogate pair '%c', expected 'u'", c);
        return false;
    }
    return true;
}

bool read_unicode_escape(JsonReader& reader)
{
    unsigned long unit = 0;
    if (!read_code_unit(reader, unit))
        return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        json_fail(reader, "dangling surrogate \\u%04lx", unit);
        return false;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        unsigned long low = 0;
        if (!expect_surrogate_continuation(reader, '\\') || !expect_surrogate_continuation(reader, 'u')
            || !read_code_unit(reader, low))
            return false;
        if (low < 0xDC00 || low > 0xDFFF) {
            json_fail(reader, "surrogate pair continuation \\u%04lx out of range (dc00-dfff)", low);
            return false;
        }
        unit = (unit - 0xD800) * 0x400 + (low - 0xDC00) + 0x10000;
    }
    append_utf8(reader.token, unit);
    return true;
}

bool read_escape(JsonReader& reader)
{
    const int c = source_get(reader.source);
    char byte = 0;
    switch (c) {
    case end_of_text:
        json_fail(reader, "unterminated string literal in escape");
        return false;
    case '\\':
    case '/':
    case '"':
        byte = static_cast<char>(c);
        break;
    case 'b':
        byte = '\b';
        break;
    case 'f':
        byte = '\f';
        break;
    case 'n':
        byte = '\n';
        break;
    case 'r':
        byte = '\r';
        break;
    case 't':
        byte = '\t';
        break;
    case 'u':
        return read_unicode_escape(reader);
    default:
        json_fail(reader, "invalid escaped byte '%c'", c);
        return false;
    }
    reader.token.push_back(byte);
    return true;
}

// A multi-byte UTF-8 sequence starting with lead (80..FF). Overlong forms,
// surrogates and code points above 10FFFF are refused.
bool read_utf8(JsonReader& reader, int lead)
{
    int continuations = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        continuations = 1;
    else if (lead >= 0xE0 && lead <= 0xEF)
        continuations = 2;
    else if (lead >= 0xF0 && lead <= 0xF4)
        continuations = 3;
    else {
        json_fail(reader, "invalid UTF-8 character");
        return false;
    }
    int bytes[3] = {};
    for (int i = 0; i < continuations; ++i)
        bytes[i] = source_get(reader.source);

    int first_low = 0x80;
    int first_high = 0xBF;
    if (lead == 0xE0)
        first_low = 0xA0;
    else if (lead == 0xED)
        first_high = 0x9F;
    else if (lead == 0xF0)
        first_low = 0x90;
    else if (lead == 0xF4)
        first_high = 0x8F;
    for (int i = 0; i < continuations; ++i) {
        const int low = i == 0 ? first_low : 0x80;
        const int high = i == 0 ? first_high : 0xBF;
        if (bytes[i] < low || bytes[i] > high) {
            json_fail(reader, "invalid UTF-8 text");
            return false;
        }
    }
    reader.token.push_back(static_cast<char>(lead));
    for (int i = 0; i < continuations; ++i)
        reader.token.push_back(static_cast<char>(bytes[i]));
    return true;
}

} // namespace

JsonEvent read_string(JsonReader& reader)
{
    reader.token.clear();
    for (;;) {
        const int c = source_get(reader.source);
        if (c == end_of_text)
            return json_fail(reader, "unterminated string literal");
        if (c == '"') {
            reader.token.push_back('\0');
            return JE_STRING;
        }
        if (c < 0x20)
            return json_fail(reader, "unescaped control character in string");
        bool taken = true;
        if (c == '\\')
            taken = read_escape(reader);
        else if (c >= 0x80)
            taken = read_utf8(reader, c);
        else
            reader.token.push_back(static_cast<char>(c));
        if (!taken)
            return JE_ERROR;
    }
}
