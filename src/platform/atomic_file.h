#pragma once
// Files written whole or not at all. The bytes go to a temporary file beside
// the target; only a commit (flush to disk, close, rename) puts them in
// place, so a failure at any point leaves an earlier file of that name as it
// was. Results are 0 or the system's error number (errno), for the caller to
// report with strerror.

#include "platform/partial_files.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

class AtomicFile {
public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    // A file neither committed nor abandoned is abandoned here.
    ~AtomicFile();

    std::string path;      // the target
    std::string temp_path; // the temporary file, empty when there is none
    int fd = -1;           // open on temp_path between begin and commit
    // A run stopped part-way removes the temporary file, never the target.
    std::optional<PartialFile> unfinished;
};

// Creates the temporary file beside path (same folder, hidden name).
int atomic_file_begin(AtomicFile& file, const std::string& path);

// Appends every byte (retrying short writes).
int atomic_file_write(AtomicFile& file, std::span<const std::uint8_t> bytes);

// Flushes the temporary file to disk, closes it and renames it to the
// target. On failure the temporary file is removed.
int atomic_file_commit(AtomicFile& file);

// Closes and removes the temporary file; the target is not touched.
void atomic_file_abandon(AtomicFile& file);

// begin, write, commit in one.
int atomic_file_write_whole(const std::string& path, std::span<const std::uint8_t> bytes);

// Creates folder and its missing parents; 0 when it exists afterwards.
int folder_create(const std::string& folder);
