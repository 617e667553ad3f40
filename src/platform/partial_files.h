#pragma once
// Output files that are not whole yet. A run that is stopped part-way
// removes them, so that no half-written file is taken for a result.

#include <string>

// Marks path as being written for as long as the guard lives. The guard
// never deletes the file itself: a finished or failed write keeps what the
// writer left.
class PartialFile {
public:
    explicit PartialFile(std::string path);
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

private:
    std::string path_;
};

// Deletes every file still being written. Any thread may call it.
void partial_files_remove_all();
