#include "json/json_scan.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

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

// from_chars leaves the value alone when the magnitude cannot be held; give
// what strtod gives then: infinity when too large, zero when too small.
// text is a number token, so its leading digit decides which of the two.
double beyond_range(std::string_view text)
{
    const bool negative = !text.empty() && text.front() == '-';
    if (negative)
        text.remove_prefix(1);
    std::size_t i = 0;
    while (i < text.size() && text[i] == '0')
        ++i;
    long long magnitude = 0; // power of ten of the first significant digit
    std::size_t integer_digits = 0;
    while (i < text.size() && is_digit(text[i])) {
        ++integer_digits;
        ++i;
    }
    if (integer_digits > 0) {
        magnitude = static_cast<long long>(integer_digits) - 1;
    } else if (i < text.size() && text[i] == '.') {
        const std::size_t fraction = ++i;
        while (i < text.size() && text[i] == '0')
            ++i;
        magnitude = -static_cast<long long>(i - fraction) - 1;
    }
    while (i < text.size() && (is_digit(text[i]) || text[i] == '.'))
        ++i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool negative_exponent = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            ++i;
        long long exponent = 0;
        constexpr long long saturated = 1'000'000'000'000LL;
        for (; i < text.size() && is_digit(text[i]); ++i)
            if (exponent < saturated)
                exponent = exponent * 10 + (text[i] - '0');
        magnitude += negative_exponent ? -exponent : exponent;
    }
    const double result = magnitude >= 0 ? HUGE_VAL : 0.0;
    return negative ? -result : result;
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
    const std::string_view text(reader.token.c_str());
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        return beyond_range(text);
    return value;
}
