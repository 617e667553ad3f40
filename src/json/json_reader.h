#pragma once
// Streaming pull reader for JSON texts (RFC 8259): one event at a time,
// nothing built in memory, the first error stops it with a message.
//
// INTERFACE FIXED FOR THE REST OF THE PROGRAM; the JSON module fills in the
// reader's fields and the implementation.

#include <cstddef>

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

struct JsonReader;

void json_reader_open_text(JsonReader& reader, const char* text);
JsonEvent json_reader_next(JsonReader& reader);
// Text of the current string or number token; "" before the first one.
// length, when given, receives the buffer fill including the terminating NUL.
const char* json_reader_string(JsonReader& reader, std::size_t* length = nullptr);
double json_reader_number(JsonReader& reader);
// The first error's message while the reader is in the error state, else null.
const char* json_reader_error(JsonReader& reader);
void json_reader_close(JsonReader& reader);
