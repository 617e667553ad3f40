#pragma once
// Where a backup goes: one ZIP archive, or loose files in a folder. Every
// file appears whole or not at all: the archive only when it is closed, each
// loose file when it has been written.

#include "mzsimple/mzsimple.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

// An output dropped before backup_output_close leaves no file behind.
struct BackupOutput {
    std::unique_ptr<ZipArchive> archive; // set for ZIP output
    std::string location;                // the archive file, or the folder
};

// Starts the archive (level 6) in a temporary file beside path; false, with
// a red line naming the file and the system's reason, when it cannot.
bool backup_output_open_zip(BackupOutput& output, const std::string& path);

// Adds the bytes as an archive entry, or writes them to the folder under
// that name, replacing a file that is there. false, with a red line, when
// they could not be stored: the output is then not to be used further.
bool backup_output_store(BackupOutput& output, std::string_view name, std::span<const std::uint8_t> bytes);

// Finishes the archive and puts it in place; false, with a red line, when
// that fails (an earlier file of that name is then left as it was). Nothing
// to do for a folder.
bool backup_output_close(BackupOutput& output);
