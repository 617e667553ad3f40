#pragma once
// Sheets written to a scratch folder, a controller identity for the format
// under test, and channel images pre-filled with a pattern so that a test
// can tell every byte an import wrote from the bytes it left alone.

#include "backup/backup.h"
#include "channel/channel_layout.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <filesystem>

#include <stdlib.h>

struct SheetFolder {
    std::string path = [] {
        std::string pattern = std::filesystem::temp_directory_path() / "kelpu-sheet-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        return pattern;
    }();
    ~SheetFolder() { std::filesystem::remove_all(path); }

    std::string write(const std::string& name, const std::string& content) const
    {
        const std::string file = path + "/" + name;
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }
};

// Firmware versions with channel formats 0, 1, 2 and 3.
inline const char* const firmware_of_format[] = {"1.2.9", "1.3.0", "1.4.7", "2.2.4"};

inline BackupRecord controller(const char* firmware_version)
{
    BackupRecord record;
    record.firmware_version = firmware_version;
    return record;
}

// Every byte i of both regions holds (i * 7 + 3) & 0xFF, never 0 or 255 in
// a run, so any byte written with 0 or 255 shows.
inline std::unique_ptr<ChannelConfigImage> patterned_image()
{
    auto image = std::make_unique<ChannelConfigImage>();
    for (std::size_t i = 0; i < image->channel.size(); ++i)
        image->channel[i] = static_cast<std::uint8_t>(i * 7 + 3);
    for (std::size_t i = 0; i < image->inputs.size(); ++i)
        image->inputs[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return image;
}

// Offsets where two regions differ.
inline std::set<std::size_t> changed_offsets(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after)
{
    std::set<std::size_t> offsets;
    for (std::size_t i = 0; i < before.size(); ++i)
        if (before[i] != after[i])
            offsets.insert(i);
    return offsets;
}

inline std::uint32_t u32_at(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 | std::uint32_t(bytes[offset + 3]) << 24;
}
