#include "tar/tar_block.h"

#include "tar/tar_result.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

namespace {

struct Field {
    std::size_t offset;
    std::size_t width;
};

constexpr Field name_field{0, 100};
constexpr Field mode_field{100, 8};
constexpr Field owner_field{108, 8};
constexpr Field size_field{124, 12};
constexpr Field mtime_field{136, 12};
constexpr Field checksum_field{148, 8};
constexpr std::size_t type_offset = 156;
constexpr Field linkname_field{157, 100};

// Octal digits without leading zeros; the last byte of the field stays NUL.
bool put_octal(TarBlock& block, Field field, std::uint32_t value)
{
    char* first = reinterpret_cast<char*>(block.data() + field.offset);
    return std::to_chars(first, first + field.width - 1, value, 8).ec == std::errc{};
}

bool put_text(TarBlock& block, Field field, const std::string& text)
{
    if (text.size() >= field.width)
        return false;
    std::memcpy(block.data() + field.offset, text.data(), text.size());
    return true;
}

// Blanks, then octal digits up to the first other byte, never past the field.
// False when there is no digit. Too large a number saturates, so sizes and
// positions computed from it cannot wrap round.
bool get_octal(const TarBlock& block, Field field, std::uint32_t& value)
{
    const std::uint8_t* at = block.data() + field.offset;
    const std::uint8_t* end = at + field.width;
    while (at != end && (*at == ' ' || (*at >= '\t' && *at <= '\r')))
        ++at;
    std::uint64_t number = 0;
    bool any = false;
    for (; at != end && *at >= '0' && *at <= '7'; ++at, any = true)
        number = std::min<std::uint64_t>(number * 8 + (*at - '0'), std::numeric_limits<std::uint32_t>::max());
    value = static_cast<std::uint32_t>(number);
    return any;
}

std::uint32_t octal_or_zero(const TarBlock& block, Field field)
{
    std::uint32_t value = 0;
    return get_octal(block, field, value) ? value : 0;
}

std::string get_text(const TarBlock& block, Field field)
{
    const char* first = reinterpret_cast<const char*>(block.data() + field.offset);
    return std::string(first, ::strnlen(first, field.width));
}

} // namespace

std::uint32_t tar_block_checksum(const TarBlock& block)
{
    std::uint32_t sum = 8 * ' ';
    for (std::size_t i = 0; i < block.size(); ++i)
        if (i < checksum_field.offset || i >= checksum_field.offset + checksum_field.width)
            sum += block[i];
    return sum;
}

int tar_block_encode(const TarHeader& header, TarBlock& block)
{
    TarBlock out{};
    if (!put_text(out, name_field, header.name) || !put_text(out, linkname_field, header.linkname)
        || !put_octal(out, mode_field, header.mode) || !put_octal(out, owner_field, header.owner)
        || !put_octal(out, size_field, header.size) || !put_octal(out, mtime_field, header.mtime))
        return TAR_FAILURE;
    out[type_offset] = static_cast<std::uint8_t>(header.type == 0 ? '0' : header.type);

    // Six digits with leading zeros, a NUL, a blank. The largest possible
    // sum, 256 + 504 * 255, has six octal digits.
    std::uint32_t sum = tar_block_checksum(out);
    for (std::size_t i = 6; i-- > 0; sum /= 8)
        out[checksum_field.offset + i] = static_cast<std::uint8_t>('0' + sum % 8);
    out[checksum_field.offset + 7] = ' ';
    block = out;
    return TAR_SUCCESS;
}

int tar_block_decode(const TarBlock& block, TarHeader& header)
{
    if (block[checksum_field.offset] == 0)
        return TAR_NULL_RECORD;
    std::uint32_t stored = 0;
    if (!get_octal(block, checksum_field, stored) || stored != tar_block_checksum(block))
        return TAR_BAD_CHECKSUM;
    header.mode = octal_or_zero(block, mode_field);
    header.owner = octal_or_zero(block, owner_field);
    header.size = octal_or_zero(block, size_field);
    header.mtime = octal_or_zero(block, mtime_field);
    header.type = static_cast<char>(block[type_offset]);
    header.name = get_text(block, name_field);
    header.linkname = get_text(block, linkname_field);
    return TAR_SUCCESS;
}
