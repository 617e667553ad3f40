#pragma once
// Where a backup goes: one ZIP archive, or loose files in a folder.

#include "mzsimple/mzsimple.h"
#include "platform/partial_files.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct BackupOutput {
    std::unique_ptr<ZipArchive> archive; // set for ZIP output
    std::string location;                // the archive file, or the folder
    std::optional<PartialFile> unfinished; // the archive until it is written out
};

// Creates the archive file (level 6); false, with a red line, when it cannot.
bool backup_output_open_zip(BackupOutput& output, const std::string& path);

// Adds the bytes as an archive entry, or writes them to the folder under
// that name, replacing a file that is there. false, with a red line, when
// they are not stored whole.
bool backup_output_store(BackupOutput& output, std::string_view name, std::span<const std::uint8_t> bytes);

// Writes the archive out; false, with a red line, when that fails. Nothing
// to do for a folder.
bool backup_output_close(BackupOutput& output);
