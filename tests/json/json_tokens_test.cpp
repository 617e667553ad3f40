#include "json/json_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

// The token of a document that is one string, with its full fill.
std::string string_token(const char* text)
{
    JsonReader reader;
    json_reader_open_text(reader, text);
    std::string token = "<no string>";
    if (json_reader_next(reader) == JE_STRING) {
        std::size_t length = 0;
        const char* data = json_reader_string(reader, &length);
        EXPECT_GE(length, 1u);
        EXPECT_EQ(data[length - 1], '\0') << "the fill counts the terminating NUL";
        token.assign(data, length - 1);
    }
    json_reader_close(reader);
    return token;
}

TEST(JsonTokens, StringEscapes)
{
    using namespace std::string_literals;
    const struct {
        const char* text;
        std::string token;
    } cases[] = {
        {"\"\"", ""},
        {"\"plain text\"", "plain text"},
        {"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", "\"\\/\b\f\n\r\t"},
        {"\"\\u0041\\u007f\"", "A\x7F"},
        {"\"\\u0080\\u00e9\\u07FF\"", "\xC2\x80\xC3\xA9\xDF\xBF"},
        {"\"\\u0800\\u20AC\\uFFFF\\uE000\\uD7FF\"", "\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBF\xEE\x80\x80\xED\x9F\xBF"},
        {"\"\\ud83d\\ude00\"", "\xF0\x9F\x98\x80"},
        {"\"\\uD800\\uDC00\\uDBFF\\uDFFF\"", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
        {"\"\\u0000\"", "\0"s},
        {"\"a\\u0000b\"", "a\0b"s},
        {"\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"\"x\\u00e9\xC3\xA9y\"", "x\xC3\xA9\xC3\xA9y"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(string_token(c.text), c.token) << c.text;
}

TEST(JsonTokens, TokenTextAndLengthAcrossEvents)
{
    JsonReader reader;
    json_reader_open_text(reader, "[\"ab\",[-12.5e+3,true],\"\\u0000\"]");
    std::size_t length = 99;
    EXPECT_STREQ(json_reader_string(reader, &length), "") << "no token read yet";
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(json_reader_number(reader), 0.0);

    ASSERT_EQ(json_reader_next(reader), JE_ARRAY);
    ASSERT_EQ(json_reader_next(reader), JE_STRING);
    EXPECT_STREQ(json_reader_string(reader, &length), "ab");
    EXPECT_EQ(length, 3u);
    ASSERT_EQ(json_reader_next(reader), JE_ARRAY);
    EXPECT_STREQ(json_reader_string(reader), "ab") << "events without a token keep the last one";
    ASSERT_EQ(json_reader_next(reader), JE_NUMBER);
    EXPECT_STREQ(json_reader_string(reader, &length), "-12.5e+3");
    EXPECT_EQ(length, 9u);
    EXPECT_EQ(json_reader_number(reader), -12500.0);
    ASSERT_EQ(json_reader_next(reader), JE_TRUE);
    EXPECT_STREQ(json_reader_string(reader), "-12.5e+3");
    ASSERT_EQ(json_reader_next(reader), JE_ARRAY_END);
    ASSERT_EQ(json_reader_next(reader), JE_STRING);
    const char* nul = json_reader_string(reader, &length);
    EXPECT_EQ(length, 2u) << "an escaped NUL is inside the token";
    EXPECT_EQ(nul[0], '\0');
    ASSERT_EQ(json_reader_next(reader), JE_ARRAY_END);
    EXPECT_EQ(json_reader_next(reader), JE_DONE);
    json_reader_close(reader);
}

// A string cut short by an error still reads as a terminated text.
TEST(JsonTokens, TokenStaysTerminatedAfterAnError)
{
    JsonReader reader;
    json_reader_open_text(reader, "[\"abc\\q\"]");
    ASSERT_EQ(json_reader_next(reader), JE_ARRAY);
    ASSERT_EQ(json_reader_next(reader), JE_ERROR);
    std::size_t length = 0;
    const char* text = json_reader_string(reader, &length);
    EXPECT_EQ(std::string(text), "abc");
    EXPECT_EQ(length, 3u);
    json_reader_close(reader);
}

TEST(JsonTokens, NumberValues)
{
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"0", 0.0},
        {"7", 7.0},
        {"-12", -12.0},
        {"12.5", 12.5},
        {"1E-2", 0.01},
        {"0.5e+1", 5.0},
        {"2e0", 2.0},
        {"123456789012345678901234567890", 1.2345678901234568e29},
        {"1000e305", 1e308},
        {"0.000001e-300", 1e-306},
        // Beyond what a double holds: what strtod gives.
        {"1e400", HUGE_VAL},
        {"-1e400", -HUGE_VAL},
        {"10000e305", HUGE_VAL},
        {"1e99999999999999999999999", HUGE_VAL},
        {"1e-400", 0.0},
        {"0.01e-322", 0.0},
        {"0.0000000000000000000000000001e-300", 0.0},
        {"123456789.5e-99999999999999999999", 0.0},
    };
    for (const auto& c : cases) {
        JsonReader reader;
        json_reader_open_text(reader, c.text);
        ASSERT_EQ(json_reader_next(reader), JE_NUMBER) << c.text;
        EXPECT_DOUBLE_EQ(json_reader_number(reader), c.value) << c.text;
        json_reader_close(reader);
    }

    for (const char* negative_zero : {"-0", "-0.0e5", "-1e-400"}) {
        JsonReader reader;
        json_reader_open_text(reader, negative_zero);
        ASSERT_EQ(json_reader_next(reader), JE_NUMBER);
        EXPECT_EQ(json_reader_number(reader), 0.0);
        EXPECT_TRUE(std::signbit(json_reader_number(reader))) << negative_zero;
        json_reader_close(reader);
    }
}

TEST(JsonTokens, LongStringsAndNumbersComeBackWhole)
{
    for (std::size_t size : {1023u, 1024u, 5000u, 100000u}) {
        const std::string body(size, 'x');
        EXPECT_EQ(string_token(("\"" + body + "\"").c_str()), body) << size;
    }
    const std::string digits = "9" + std::string(20000, '0');
    JsonReader reader;
    json_reader_open_text(reader, digits.c_str());
    ASSERT_EQ(json_reader_next(reader), JE_NUMBER);
    EXPECT_EQ(json_reader_string(reader), digits);
    EXPECT_EQ(json_reader_number(reader), HUGE_VAL);
    json_reader_close(reader);
}

TEST(JsonTokens, DeepNesting)
{
    for (std::size_t depth : {100u, 100000u}) {
        const std::string text = std::string(depth, '[') + std::string(depth, ']');
        JsonReader reader;
        json_reader_open_text(reader, text.c_str());
        std::size_t opened = 0;
        std::size_t closed = 0;
        JsonEvent event;
        while ((event = json_reader_next(reader)) == JE_ARRAY || event == JE_ARRAY_END)
            ++(event == JE_ARRAY ? opened : closed);
        EXPECT_EQ(event, JE_DONE);
        EXPECT_EQ(opened, depth);
        EXPECT_EQ(closed, depth);
        json_reader_close(reader);
    }

    std::string objects;
    for (int i = 0; i < 1000; ++i)
        objects += "{\"k\":[";
    objects += "null";
    for (int i = 0; i < 1000; ++i)
        objects += "]}";
    JsonReader reader;
    json_reader_open_text(reader, objects.c_str());
    int events = 0;
    JsonEvent event;
    while ((event = json_reader_next(reader)) != JE_DONE && event != JE_ERROR)
        ++events;
    EXPECT_EQ(event, JE_DONE);
    EXPECT_EQ(events, 1000 * 5 + 1);
    json_reader_close(reader);
}

TEST(JsonTokens, ReaderCanBeReopenedAfterClose)
{
    JsonReader reader;
    json_reader_open_text(reader, "[\"first\"");
    ASSERT_EQ(json_reader_next(reader), JE_ARRAY);
    ASSERT_EQ(json_reader_next(reader), JE_STRING);
    ASSERT_EQ(json_reader_next(reader), JE_ERROR);
    json_reader_close(reader);

    json_reader_open_text(reader, "\n{\"second\":2}");
    EXPECT_EQ(json_reader_error(reader), nullptr);
    EXPECT_STREQ(json_reader_string(reader), "");
    EXPECT_EQ(json_reader_next(reader), JE_OBJECT);
    EXPECT_EQ(reader.lineno, 2u);
    EXPECT_EQ(json_reader_next(reader), JE_STRING);
    EXPECT_STREQ(json_reader_string(reader), "second");
    EXPECT_EQ(json_reader_next(reader), JE_NUMBER);
    EXPECT_EQ(json_reader_next(reader), JE_OBJECT_END);
    EXPECT_EQ(json_reader_next(reader), JE_DONE);
    json_reader_close(reader);
}

} // namespace
