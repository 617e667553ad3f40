#include "json/json_scan.h"

#include <locale.h>
#include <stdlib.h>

namespace {

JsonEvent fail_in_number(JsonReader& reader, int c)
{
    if (c == end_of_text)
        return json_fail(reader, "unexpected end of text in number");
    return json_fail(reader, "unexpected byte '%c' in number", c);
}

void append_digits(JsonReader& reader)
{
    while (is_digit(source_peek(reader.source)))
        reader.token.push_back(static_cast<char>(source_get(reader.source)));
}

} // namespace

JsonEvent read_number(JsonReader& reader, int c)
{
    reader.token.clear();
    reader.token.push_back(static_cast<char>(c));
    if (c == '-') {
        c = source_get(reader.source);
        if (!is_digit(c))
            return fail_in_number(reader, c);
        reader.token.push_back(static_cast<char>(c));
    }
    // A leading zero stands alone: "012" is the number 0 followed by "12".
    if (c != '0')
        append_digits(reader);

    if (source_peek(reader.source) == '.') {
        reader.token.push_back(static_cast<char>(source_get(reader.source)));
        const int digit = source_peek(reader.source);
        if (digit == end_of_text)
            return json_fail(reader, "expected digit instead of end of text");
        if (!is_digit(digit))
            return json_fail(reader, "expected digit instead of byte '%c'", digit);
        append_digits(reader);
    }

    c = source_peek(reader.source);
    if (c == 'e' || c == 'E') {
        reader.token.push_back(static_cast<char>(source_get(reader.source)));
        c = source_peek(reader.source);
        if (c == '+' || c == '-') {
            reader.token.push_back(static_cast<char>(source_get(reader.source)));
            c = source_peek(reader.source);
        }
        if (!is_digit(c))
            return fail_in_number(reader, c);
        append_digits(reader);
    }
    reader.token.push_back('\0');
    return JE_NUMBER;
}

// Converted as the C locale reads numbers, whatever locale the program runs
// in: a desktop toolkit may switch LC_NUMERIC to one with a decimal comma.
double json_reader_number(JsonReader& reader)
{
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return strtod_l(reader.token.c_str(), nullptr, c_locale);
}
