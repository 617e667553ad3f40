#include "json/json_reader.h"

#include "json/json_scan.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

JsonEvent json_fail(JsonReader& reader, const char* format, ...)
{
    reader.flags |= json_flag_error;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(reader.errmsg, sizeof reader.errmsg, format, arguments);
    va_end(arguments);
    return JE_ERROR;
}

namespace {

bool is_blank(int c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

int next_non_blank(JsonReader& reader)
{
    for (;;) {
        const int c = source_get(reader.source);
        if (c == '\n')
            ++reader.lineno;
        if (!is_blank(c))
            return c;
    }
}

JsonEvent read_literal(JsonReader& reader, const char* rest, JsonEvent event)
{
    for (const char* expected = rest; *expected != '\0'; ++expected) {
        const int c = source_get(reader.source);
        if (c == end_of_text)
            return json_fail(reader, "expected '%c' instead of end of text", *expected);
        if (c != *expected)
            return json_fail(reader, "expected '%c' instead of byte '%c'", *expected, c);
    }
    return event;
}

JsonEvent open_container(JsonReader& reader, JsonEvent type)
{
    reader.stack.push_back({static_cast<std::uint32_t>(type), 0});
    return type;
}

JsonEvent close_container(JsonReader& reader)
{
    const auto type = reader.stack.back().type;
    reader.stack.pop_back();
    return type == JE_ARRAY ? JE_ARRAY_END : JE_OBJECT_END;
}

JsonEvent read_value(JsonReader& reader, int c)
{
    ++reader.ntokens;
    switch (c) {
    case '"':
        return read_string(reader);
    case '[':
        return open_container(reader, JE_ARRAY);
    case '{':
        return open_container(reader, JE_OBJECT);
    case 't':
        return read_literal(reader, "rue", JE_TRUE);
    case 'f':
        return read_literal(reader, "alse", JE_FALSE);
    case 'n':
        return read_literal(reader, "ull", JE_NULL);
    case end_of_text:
        return json_fail(reader, "unexpected end of text");
    default:
        if (c == '-' || is_digit(c))
            return read_number(reader, c);
        return json_fail(reader, "unexpected byte '%c' in value", c);
    }
}

// A value that must be a string: a member name. A value that failed keeps
// its own message.
JsonEvent read_member_name(JsonReader& reader, int c, const char* message)
{
    const JsonEvent event = read_value(reader, c);
    if (event == JE_ERROR)
        return event;
    if (event != JE_STRING)
        return json_fail(reader, "%s", message);
    ++reader.stack.back().count;
    return event;
}

JsonEvent next_in_array(JsonReader& reader, int c)
{
    JsonStackEntry& array = reader.stack.back();
    if (c == ']')
        return close_container(reader);
    if (array.count == 0) {
        array.count = 1;
        return read_value(reader, c);
    }
    if (c == ',') {
        ++array.count;
        return read_value(reader, next_non_blank(reader));
    }
    if (c == end_of_text)
        return json_fail(reader, "unexpected end of text");
    return json_fail(reader, "unexpected byte '%c'", c);
}

JsonEvent next_in_object(JsonReader& reader, int c)
{
    JsonStackEntry& object = reader.stack.back();
    if (object.count == 0) {
        if (c == '}')
            return close_container(reader);
        return read_member_name(reader, c, "expected member name or '}'");
    }
    if (object.count % 2 == 1) {
        if (c != ':')
            return json_fail(reader, "expected ':' after member name");
        ++object.count;
        return read_value(reader, next_non_blank(reader));
    }
    if (c == ',')
        return read_member_name(reader, next_non_blank(reader), "expected member name");
    if (c == '}')
        return close_container(reader);
    return json_fail(reader, "expected ',' or '}' after member value");
}

JsonEvent next_event(JsonReader& reader)
{
    if (reader.flags & json_flag_error)
        return JE_ERROR;
    // Streaming: the first complete top-level value ends the text; what
    // follows it is left unread.
    if (reader.ntokens > 0 && reader.stack.empty())
        return JE_DONE;
    const int c = next_non_blank(reader);
    if (reader.stack.empty()) {
        if (c == end_of_text)
            return JE_DONE;
        return read_value(reader, c);
    }
    if (reader.stack.back().type == JE_ARRAY)
        return next_in_array(reader, c);
    return next_in_object(reader, c);
}

} // namespace

void json_reader_open_text(JsonReader& reader, const char* text)
{
    json_reader_close(reader);
    reader.lineno = 1;
    reader.flags = json_flag_streaming;
    reader.ntokens = 0;
    reader.source = {text, std::strlen(text), 0};
    reader.errmsg[0] = '\0';
}

JsonEvent json_reader_next(JsonReader& reader)
{
    try {
        return next_event(reader);
    } catch (const std::bad_alloc&) {
        return json_fail(reader, "out of memory");
    }
}

const char* json_reader_string(JsonReader& reader, std::size_t* length)
{
    if (length)
        *length = reader.token.size();
    return reader.token.c_str();
}

const char* json_reader_error(JsonReader& reader)
{
    return (reader.flags & json_flag_error) ? reader.errmsg : nullptr;
}

void json_reader_close(JsonReader& reader)
{
    reader.stack = {};
    reader.token = {};
}
