#include "json/json_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> seeds = {
    "{\"model_name\":\"ZANTOR-2\",\"firmware_version\":\"2.4.1\",\"channels\":[1,2,3,4]}",
    "[1,-0.5e+3,true,false,null,\"\\ud83d\\ude00\\u00e9\\n\",{\"a\":{\"b\":[[]]}}]",
    "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \\\" \\\\ \\/ \\b\\f\\r\\t\\u0000\"",
    " [ 0 , 1E9 , 12.000001 , -7 ]\r\n",
    "{\"k\" : [ \"v\" , { } , [ 3.25e-2 ] ] }",
};

// The token text ends within its fill, or at it when a scan stopped early.
void expect_terminated_token(JsonReader& reader)
{
    std::size_t length = 0;
    const char* token = json_reader_string(reader, &length);
    EXPECT_LE(std::strlen(token), length);
}

// Drives a reader over text to its end and checks what must hold for any
// input: it stops, only DONE balances its containers, the final event
// repeats, and the texts it hands out are terminated.
void drive(const std::string& input)
{
    const char* text = input.c_str();
    JsonReader reader;
    json_reader_open_text(reader, text);
    long depth = 0;
    JsonEvent event = JE_ERROR;
    std::size_t steps = 0;
    const std::size_t limit = std::strlen(text) + 2;
    for (; steps < limit; ++steps) {
        event = json_reader_next(reader);
        if (event == JE_DONE || event == JE_ERROR)
            break;
        ASSERT_GE(event, JE_OBJECT);
        ASSERT_LE(event, JE_NULL);
        if (event == JE_OBJECT || event == JE_ARRAY)
            ++depth;
        if (event == JE_OBJECT_END || event == JE_ARRAY_END)
            --depth;
        ASSERT_GE(depth, 0);
        expect_terminated_token(reader);
        if (event == JE_NUMBER) {
            EXPECT_FALSE(std::isnan(json_reader_number(reader)));
        }
    }
    ASSERT_LT(steps, limit) << "reader did not stop";
    if (event == JE_DONE) {
        EXPECT_EQ(depth, 0);
        EXPECT_EQ(json_reader_error(reader), nullptr);
    } else {
        ASSERT_NE(json_reader_error(reader), nullptr);
        EXPECT_GT(std::strlen(json_reader_error(reader)), 0u);
        EXPECT_LT(std::strlen(json_reader_error(reader)), sizeof reader.errmsg);
        expect_terminated_token(reader);
    }
    EXPECT_EQ(json_reader_next(reader), event);
    json_reader_close(reader);
}

TEST(JsonFuzz, SeedsAreValid)
{
    for (const auto& seed : seeds) {
        JsonReader reader;
        json_reader_open_text(reader, seed.c_str());
        JsonEvent event;
        while ((event = json_reader_next(reader)) != JE_DONE && event != JE_ERROR) {
        }
        EXPECT_EQ(event, JE_DONE) << seed << ": " << json_reader_error(reader);
        json_reader_close(reader);
    }
}

TEST(JsonFuzz, MutatedDocuments)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(1, 255);
    const std::string interesting = "{}[],:\"\\-+.0123456789eEtrufalsn \n\x80\xBF\xC3\xE0\xED\xF0\xF4\xFF";
    for (int iteration = 0; iteration < 4000; ++iteration) {
        std::string text = seeds[random() % seeds.size()];
        const int mutations = 1 + static_cast<int>(random() % 4);
        for (int m = 0; m < mutations && !text.empty(); ++m) {
            const std::size_t at = random() % text.size();
            const char replacement =
                random() % 2 ? interesting[random() % interesting.size()] : static_cast<char>(byte(random));
            switch (random() % 4) {
            case 0: text[at] = replacement; break;
            case 1: text.insert(text.begin() + static_cast<long>(at), replacement); break;
            case 2: text.erase(at, 1); break;
            case 3: text.resize(at); break;
            }
        }
        drive(text);
        if (testing::Test::HasFatalFailure())
            FAIL() << "input: " << text;
    }
}

TEST(JsonFuzz, RandomBytes)
{
    std::mt19937 random(7);
    const std::string alphabet = "{}[],:\"\\-.0123456789eEtrufalsn u\t\r\n\x01\x7F\x80\xC2\xE2\xF0\xFF";
    for (int iteration = 0; iteration < 4000; ++iteration) {
        std::string text(random() % 64, ' ');
        for (char& c : text)
            c = alphabet[random() % alphabet.size()];
        drive(text);
        if (testing::Test::HasFatalFailure())
            FAIL() << "input: " << text;
    }
}

} // namespace
