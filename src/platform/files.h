#pragma once
// Whole-file output: a file handle that closes itself, and a write that
// reports any byte that did not reach the file.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileClose>;

// Writes every byte and closes the file; false when a write or the close
// (where buffered bytes are flushed) failed.
bool file_write_and_close(FileHandle file, std::span<const std::uint8_t> bytes);
