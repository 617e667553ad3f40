#include "json/json_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Bytes outside printable ASCII as \xHH, so traces stay readable.
std::string shown(const char* text)
{
    std::string out;
    for (; *text != '\0'; ++text) {
        const auto byte = static_cast<unsigned char>(*text);
        if (byte < 0x20 || byte >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

// Every event of a text as one line: { } [ ] "string" number true false
// null DONE, or "ERROR: message" as the last entry. Also checks that the
// final event repeats and an error message stays put.
std::string trace(const char* text)
{
    JsonReader reader;
    json_reader_open_text(reader, text);
    std::string out;
    JsonEvent event = JE_ERROR;
    // Each event but the last consumes at least one byte.
    for (std::size_t steps = 0; steps <= std::strlen(text) + 1; ++steps) {
        event = json_reader_next(reader);
        if (!out.empty())
            out += ' ';
        switch (event) {
        case JE_OBJECT: out += '{'; break;
        case JE_OBJECT_END: out += '}'; break;
        case JE_ARRAY: out += '['; break;
        case JE_ARRAY_END: out += ']'; break;
        case JE_STRING: out += '"' + shown(json_reader_string(reader)) + '"'; break;
        case JE_NUMBER: out += json_reader_string(reader); break;
        case JE_TRUE: out += "true"; break;
        case JE_FALSE: out += "false"; break;
        case JE_NULL: out += "null"; break;
        case JE_DONE: out += "DONE"; break;
        case JE_ERROR: out += "ERROR: " + shown(json_reader_error(reader)); break;
        }
        if (event == JE_DONE || event == JE_ERROR)
            break;
    }
    const std::string message = json_reader_error(reader) ? json_reader_error(reader) : "";
    EXPECT_EQ(event == JE_ERROR, json_reader_error(reader) != nullptr) << text;
    for (int again = 0; again < 2; ++again) {
        EXPECT_EQ(json_reader_next(reader), event) << shown(text);
        EXPECT_EQ(json_reader_error(reader) ? json_reader_error(reader) : "", message);
    }
    json_reader_close(reader);
    return out;
}

struct TraceCase {
    const char* text;
    const char* events;
};

void expect_traces(std::initializer_list<TraceCase> cases)
{
    for (const auto& c : cases)
        EXPECT_EQ(trace(c.text), c.events) << "text: " << shown(c.text);
}

TEST(JsonEvents, ValidDocuments)
{
    expect_traces({
        {"[1,\"a\",{\"k\":null}]", "[ 1 \"a\" { \"k\" null } ] DONE"},
        {"", "DONE"},
        {" \t\r\n \n", "DONE"},
        {"true", "true DONE"},
        {"false", "false DONE"},
        {"null", "null DONE"},
        {"\"\"", "\"\" DONE"},
        {"{}", "{ } DONE"},
        {"[]", "[ ] DONE"},
        {"[[],{},[[]]]", "[ [ ] { } [ [ ] ] ] DONE"},
        {" [ 1 ,\n2\t, 3 ]\r\n", "[ 1 2 3 ] DONE"},
        {"{\"a\":[1,{\"b\":false}],\"c\":\"d\",\"e\":{}}",
         "{ \"a\" [ 1 { \"b\" false } ] \"c\" \"d\" \"e\" { } } DONE"},
        {"{ \"a\" : true , \"b\" : [ ] }", "{ \"a\" true \"b\" [ ] } DONE"},
        {"[0,-0,12,-12.5e+3,1E-2,0.0,1e5,0e0,2E+00]", "[ 0 -0 12 -12.5e+3 1E-2 0.0 1e5 0e0 2E+00 ] DONE"},
        {"123456789012345678901234567890.000000000000000001e-999999",
         "123456789012345678901234567890.000000000000000001e-999999 DONE"},
        {"[\"\xC3\xA9\",\"\xE2\x82\xAC\",\"\xF0\x9F\x98\x80\",\"\xC2\x80\",\"\xE0\xA0\x80\"]",
         "[ \"\\xC3\\xA9\" \"\\xE2\\x82\\xAC\" \"\\xF0\\x9F\\x98\\x80\" \"\\xC2\\x80\" \"\\xE0\\xA0\\x80\" ] DONE"},
        {"[\"\xED\x9F\xBF\",\"\xEE\x80\x80\",\"\xF4\x8F\xBF\xBF\",\"\x7F\"]",
         "[ \"\\xED\\x9F\\xBF\" \"\\xEE\\x80\\x80\" \"\\xF4\\x8F\\xBF\\xBF\" \"\\x7F\" ] DONE"},
    });
}

// Only the first complete top-level value is read; the rest of the text,
// valid or not, is never looked at.
TEST(JsonEvents, TextAfterTheTopLevelValueIsNotExamined)
{
    expect_traces({
        {"5 7", "5 DONE"},
        {"1 x", "1 DONE"},
        {"012", "0 DONE"},
        {"-01", "-0 DONE"},
        {"truex", "true DONE"},
        {"nullnull", "null DONE"},
        {"\"a\"\"b\"", "\"a\" DONE"},
        {"[1]]]", "[ 1 ] DONE"},
        {"{} \xFF\"", "{ } DONE"},
        {"1.5e3.2", "1.5e3 DONE"},
    });

    JsonReader reader;
    json_reader_open_text(reader, "12 x\n\n");
    ASSERT_EQ(json_reader_next(reader), JE_NUMBER);
    EXPECT_EQ(reader.source.position, 2u) << "the byte after a number is only peeked";
    EXPECT_EQ(json_reader_next(reader), JE_DONE);
    EXPECT_EQ(json_reader_next(reader), JE_DONE);
    EXPECT_EQ(reader.source.position, 2u);
    EXPECT_EQ(reader.lineno, 1u);
    json_reader_close(reader);
}

TEST(JsonEvents, StructureErrors)
{
    expect_traces({
        {"[1,]", "[ 1 ERROR: unexpected byte ']' in value"},
        {"{\"a\" 1}", "{ \"a\" ERROR: expected ':' after member name"},
        {"{\"a\"", "{ \"a\" ERROR: expected ':' after member name"},
        {"[", "[ ERROR: unexpected end of text"},
        {"[1", "[ 1 ERROR: unexpected end of text"},
        {"[1 2]", "[ 1 ERROR: unexpected byte '2'"},
        {"[1}", "[ 1 ERROR: unexpected byte '}'"},
        {"[}", "[ ERROR: unexpected byte '}' in value"},
        {"[012]", "[ 0 ERROR: unexpected byte '1'"},
        {"{1:2}", "{ ERROR: expected member name or '}'"},
        {"{[]}", "{ ERROR: expected member name or '}'"},
        {"{null:1}", "{ ERROR: expected member name or '}'"},
        {"{]", "{ ERROR: unexpected byte ']' in value"},
        {"{tru}", "{ ERROR: expected 'e' instead of byte '}'"},
        {"{", "{ ERROR: unexpected end of text"},
        {"{\"a\":", "{ \"a\" ERROR: unexpected end of text"},
        {"{\"a\":}", "{ \"a\" ERROR: unexpected byte '}' in value"},
        {"{\"a\":1,}", "{ \"a\" 1 ERROR: unexpected byte '}' in value"},
        {"{\"a\":1,2:3}", "{ \"a\" 1 ERROR: expected member name"},
        {"{\"a\":1,{}}", "{ \"a\" 1 ERROR: expected member name"},
        {"{\"a\":1]", "{ \"a\" 1 ERROR: expected ',' or '}' after member value"},
        {"{\"a\":1", "{ \"a\" 1 ERROR: expected ',' or '}' after member value"},
        {"{\"a\":1 \"b\":2}", "{ \"a\" 1 ERROR: expected ',' or '}' after member value"},
        {"]", "ERROR: unexpected byte ']' in value"},
        {"x", "ERROR: unexpected byte 'x' in value"},
        {"+1", "ERROR: unexpected byte '+' in value"},
        {".5", "ERROR: unexpected byte '.' in value"},
        {"'a'", "ERROR: unexpected byte ''' in value"},
        {"\xFF", "ERROR: unexpected byte '\\xFF' in value"},
        {"[1,\xFF]", "[ 1 ERROR: unexpected byte '\\xFF' in value"},
        {"[1\xFF]", "[ 1 ERROR: unexpected byte '\\xFF'"},
    });
}

TEST(JsonEvents, LiteralErrors)
{
    expect_traces({
        {"tru", "ERROR: expected 'e' instead of end of text"},
        {"t", "ERROR: expected 'r' instead of end of text"},
        {"nul!", "ERROR: expected 'l' instead of byte '!'"},
        {"fals", "ERROR: expected 'e' instead of end of text"},
        {"[fAlse]", "[ ERROR: expected 'a' instead of byte 'A'"},
        {"True", "ERROR: unexpected byte 'T' in value"},
    });
}

TEST(JsonEvents, NumberErrors)
{
    expect_traces({
        {"-x", "ERROR: unexpected byte 'x' in number"},
        {"-", "ERROR: unexpected end of text in number"},
        {"--1", "ERROR: unexpected byte '-' in number"},
        {"[-]", "[ ERROR: unexpected byte ']' in number"},
        {"1.e5", "ERROR: expected digit instead of byte 'e'"},
        {"1.", "ERROR: expected digit instead of end of text"},
        {"[1.]", "[ ERROR: expected digit instead of byte ']'"},
        {"1e", "ERROR: unexpected end of text in number"},
        {"1E+", "ERROR: unexpected end of text in number"},
        {"1ex", "ERROR: unexpected byte 'x' in number"},
        {"1e+-2", "ERROR: unexpected byte '-' in number"},
        {"[1e]", "[ ERROR: unexpected byte ']' in number"},
    });
}

TEST(JsonEvents, StringErrors)
{
    expect_traces({
        {"\"abc", "ERROR: unterminated string literal"},
        {"[\"a\\", "[ ERROR: unterminated string literal in escape"},
        {"\"\\x\"", "ERROR: invalid escaped byte 'x'"},
        {"\"\\U0041\"", "ERROR: invalid escaped byte 'U'"},
        {"\"\\u12\"", "ERROR: invalid escape Unicode byte '\"'"},
        {"\"\\u00g0\"", "ERROR: invalid escape Unicode byte 'g'"},
        {"\"\\u12", "ERROR: unterminated string literal in Unicode"},
        {"\"\\ude00\"", "ERROR: dangling surrogate \\ude00"},
        {"\"\\uDFFF\"", "ERROR: dangling surrogate \\udfff"},
        {"\"\\ud83dx\"", "ERROR: invalid continuation for surrogate pair 'x', expected '\\'"},
        {"\"\\ud83d\"", "ERROR: invalid continuation for surrogate pair '\"', expected '\\'"},
        {"\"\\ud83d\\x\"", "ERROR: invalid continuation for surrogate pair 'x', expected 'u'"},
        {"\"\\ud83d\\u0041\"", "ERROR: surrogate pair continuation \\u0041 out of range (dc00-dfff)"},
        {"\"\\uDBFF\\uD800\"", "ERROR: surrogate pair continuation \\ud800 out of range (dc00-dfff)"},
        {"\"\\ud83d\\ude0", "ERROR: unterminated string literal in Unicode"},
        {"\"\\ud83d\\ude0x\"", "ERROR: invalid escape Unicode byte 'x'"},
        // The end after a high surrogate is reported as the end.
        {"\"\\ud83d", "ERROR: unterminated string literal in Unicode"},
        {"\"\\ud83d\\", "ERROR: unterminated string literal in Unicode"},
        {"\"a\nb\"", "ERROR: unescaped control character in string"},
        {"\"\t\"", "ERROR: unescaped control character in string"},
        {"\"\x1F\"", "ERROR: unescaped control character in string"},
    });
}

TEST(JsonEvents, Utf8Errors)
{
    expect_traces({
        {"\"\xC3\x28\"", "ERROR: invalid UTF-8 text"},
        {"\"\xC0\x80\"", "ERROR: invalid UTF-8 character"},
        {"\"\xC1\xBF\"", "ERROR: invalid UTF-8 character"},
        {"\"\x80\"", "ERROR: invalid UTF-8 character"},
        {"\"\xBF\"", "ERROR: invalid UTF-8 character"},
        {"\"\xF5\x80\x80\x80\"", "ERROR: invalid UTF-8 character"},
        {"\"\xFE\"", "ERROR: invalid UTF-8 character"},
        // FF is a byte like any other, not the end of the text.
        {"\"\xFF\"", "ERROR: invalid UTF-8 character"},
        {"\"\xE0\x80\x80\"", "ERROR: invalid UTF-8 text"},          // overlong U+0000
        {"\"\xE0\x9F\xBF\"", "ERROR: invalid UTF-8 text"},          // overlong U+07FF
        {"\"\xED\xA0\x80\"", "ERROR: invalid UTF-8 text"},          // surrogate D800
        {"\"\xED\xBF\xBF\"", "ERROR: invalid UTF-8 text"},          // surrogate DFFF
        {"\"\xF0\x80\x80\x80\"", "ERROR: invalid UTF-8 text"},      // overlong
        {"\"\xF0\x8F\xBF\xBF\"", "ERROR: invalid UTF-8 text"},      // overlong U+FFFF
        {"\"\xF4\x90\x80\x80\"", "ERROR: invalid UTF-8 text"},      // U+110000
        {"\"\xE2\x82\"", "ERROR: invalid UTF-8 text"},              // truncated by the quote
        {"\"\xE2\x82", "ERROR: invalid UTF-8 text"},                // truncated by the end
        {"\"\xF0\x9F\x98\"", "ERROR: invalid UTF-8 text"},
        {"\"\xE2\x82\xC0\"", "ERROR: invalid UTF-8 text"},          // bad second continuation
        {"\"\xF0\x9F\x98\x7F\"", "ERROR: invalid UTF-8 text"},      // bad third continuation
    });
}

TEST(JsonEvents, LinesCountedBetweenTokens)
{
    JsonReader reader;
    json_reader_open_text(reader, "\n\n[\n1,\r\n\n2\n]\n\n");
    EXPECT_EQ(reader.lineno, 1u);
    EXPECT_EQ(json_reader_next(reader), JE_ARRAY);
    EXPECT_EQ(reader.lineno, 3u);
    EXPECT_EQ(json_reader_next(reader), JE_NUMBER);
    EXPECT_EQ(reader.lineno, 4u);
    EXPECT_EQ(json_reader_next(reader), JE_NUMBER) << "the blanks after a comma count too";
    EXPECT_EQ(reader.lineno, 6u);
    EXPECT_EQ(json_reader_next(reader), JE_ARRAY_END);
    EXPECT_EQ(reader.lineno, 7u);
    EXPECT_EQ(json_reader_next(reader), JE_DONE);
    EXPECT_EQ(reader.lineno, 7u) << "lines after the top-level value are not read";
    json_reader_close(reader);
}

} // namespace
