#include "restore/tool_check.h"

#include "log/log.h"

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint64_t largest_tool_record = 65535;
constexpr std::size_t longest_tool_name = 63;
constexpr std::chrono::seconds rejection_pause{5};

struct ToolVersion {
    std::int64_t major, minor, revision;
};
constexpr ToolVersion this_tool{1, 3, 0};

// Where the value of "name": begins in text, or npos.
std::size_t after_key(std::string_view text, std::string_view name)
{
    const std::string key = "\"" + std::string(name) + "\":";
    const std::size_t at = text.find(key);
    return at == std::string_view::npos ? at : at + key.size();
}

// The text between the first double quote after the key and the next one (or
// the end of the text), at most 63 characters.
std::optional<std::string_view> string_member(std::string_view text, std::string_view name)
{
    std::size_t at = after_key(text, name);
    if (at == std::string_view::npos)
        return std::nullopt;
    at = text.find('"', at);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::string_view rest = text.substr(at + 1);
    return rest.substr(0, std::min(rest.find('"'), longest_tool_name));
}

// The first decimal integer (with an optional minus sign) after the key;
// one too large to hold stays at the largest value, which no accepted
// version has.
std::optional<std::int64_t> number_member(std::string_view text, std::string_view name)
{
    std::size_t at = after_key(text, name);
    if (at == std::string_view::npos)
        return std::nullopt;
    at = text.find_first_of("-0123456789", at);
    if (at == std::string_view::npos)
        return std::nullopt;
    const bool negative = text[at] == '-';
    if (negative)
        ++at;
    std::int64_t value = 0;
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 10 - 9;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = value > limit ? std::numeric_limits<std::int64_t>::max() : value * 10 + (text[at] - '0');
    return negative ? -value : value;
}

bool not_newer_than_this_tool(const ToolVersion& v)
{
    if (v.major != this_tool.major)
        return v.major < this_tool.major;
    if (v.minor != this_tool.minor)
        return v.minor < this_tool.minor;
    return v.revision <= this_tool.revision;
}

} // namespace

bool tool_record_accepted(std::string_view text)
{
    // The record is read as a C text: whatever follows a zero byte is not part of it.
    text = text.substr(0, text.find('\0'));
    const std::optional<std::string_view> tool_name = string_member(text, "tool_name");
    const std::optional<std::int64_t> major = number_member(text, "version_major");
    const std::optional<std::int64_t> minor = number_member(text, "version_minor");
    const std::optional<std::int64_t> revision = number_member(text, "version_revision");
    if (tool_name != "kelpu-cli" || !major || !minor || !revision)
        return false;
    return not_newer_than_this_tool({*major, *minor, *revision});
}

bool tool_check(ZipArchive& archive)
{
    if (mzsimple_entry_open(archive, "tool.txt") != 0)
        return true;
    const std::uint64_t size = mzsimple_entry_size(archive);
    bool accepted = true;
    if (size > 0 && size <= largest_tool_record) {
        std::vector<std::uint8_t> record(size);
        // A record that cannot be read vouches for nothing.
        accepted = mzsimple_entry_read_into(archive, record) == static_cast<std::int64_t>(size) &&
                   tool_record_accepted({reinterpret_cast<const char*>(record.data()), record.size()});
    }
    mzsimple_entry_close(archive);
    if (!accepted) {
        log_color(colour_red,
                  "The backup is not supported by the installed tool version. Please upgrade the tool software.");
        std::this_thread::sleep_for(rejection_pause);
    }
    return accepted;
}
