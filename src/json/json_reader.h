#pragma once
// Streaming pull reader for JSON texts (RFC 8259): one event at a time,
// nothing built in memory, the first error stops it with a message.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum JsonEvent {
    JE_ERROR = 1,
    JE_DONE = 2,
    JE_OBJECT = 3,
    JE_OBJECT_END = 4,
    JE_ARRAY = 5,
    JE_ARRAY_END = 6,
    JE_STRING = 7,
    JE_NUMBER = 8,
    JE_TRUE = 9,
    JE_FALSE = 10,
    JE_NULL = 11,
};

// One open container: JE_OBJECT or JE_ARRAY, and the items seen in it
// (in an object, member names and values each count).
struct JsonStackEntry {
    std::uint32_t type;
    std::uint32_t count;
};

struct JsonSource {
    const char* text;
    std::size_t length;
    std::size_t position;
};

inline constexpr unsigned json_flag_error = 1u << 0;
inline constexpr unsigned json_flag_streaming = 1u << 1;

struct JsonReader {
    std::size_t lineno = 1;
    std::vector<JsonStackEntry> stack; // innermost container last
    unsigned flags = 0;
    // The current string or number with its terminating NUL; the string's
    // size is the fill and its capacity the buffer size.
    std::string token;
    std::size_t ntokens = 0;
    JsonSource source{};
    char errmsg[128] = {};
};

void json_reader_open_text(JsonReader& reader, const char* text);
JsonEvent json_reader_next(JsonReader& reader);
// Text of the current string or number token; "" before the first one.
// length, when given, receives the buffer fill including the terminating NUL.
const char* json_reader_string(JsonReader& reader, std::size_t* length = nullptr);
double json_reader_number(JsonReader& reader);
// The first error's message while the reader is in the error state, else null.
const char* json_reader_error(JsonReader& reader);
void json_reader_close(JsonReader& reader);
