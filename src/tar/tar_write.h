#pragma once
// Writing an archive: for each member a header and exactly its size in data
// (one call or several), then tar_finalize; then tar_close for a file, or
// take tar.buffer from a memory writer.

#include "tar/tar_header.h"
#include "tar/tar_stream.h"

#include <string_view>

// One header block; a type of 0 is written as '0'. TAR_FAILURE, with nothing
// written, while the previous member's data is incomplete, for a name or
// linkname over 99 bytes, or for a number too large for its field.
int tar_write_header(TarStream& tar, const TarHeader& header);

// A regular file: mode 0664, owner 0, mtime 0, type '0'.
int tar_write_file_header(TarStream& tar, std::string_view name, std::uint32_t size);

// A directory: mode 0775, size 0, type '5'.
int tar_write_dir_header(TarStream& tar, std::string_view name);

// Member data; the padding to the next block follows the member's last byte.
// A member of size 0 needs no call. More than the member has left is
// TAR_FAILURE and writes nothing.
int tar_write_data(TarStream& tar, const void* data, std::uint32_t n);

// The end-of-archive marker: two zero blocks.
int tar_finalize(TarStream& tar);
