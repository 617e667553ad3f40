#pragma once
// Pieces shared by the reader's event loop and its token scanners.

#include "json/json_reader.h"

// Bytes come back as 0..255, so that byte FF stays a byte and never reads
// as the end of the text.
inline constexpr int end_of_text = -1;

inline int source_get(JsonSource& source)
{
    if (source.position == source.length)
        return end_of_text;
    return static_cast<unsigned char>(source.text[source.position++]);
}

inline int source_peek(const JsonSource& source)
{
    if (source.position == source.length)
        return end_of_text;
    return static_cast<unsigned char>(source.text[source.position]);
}

inline bool is_digit(int c)
{
    return c >= '0' && c <= '9';
}

// Puts the reader in the error state with the formatted message (cut to
// the message buffer) and returns JE_ERROR.
JsonEvent json_fail(JsonReader& reader, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Reads a string after its opening quote into the token.
JsonEvent read_string(JsonReader& reader);

// Reads a number whose first byte c ("-" or a digit) was taken.
JsonEvent read_number(JsonReader& reader, int c);
