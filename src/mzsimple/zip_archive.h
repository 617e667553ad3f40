#pragma once
// What the reading and writing halves of the ZIP layer share.

#include "mzsimple/mzsimple.h"

#include <string>
#include <string_view>

// name with every "\" turned into "/".
std::string zip_entry_name(std::string_view name);

int read_entry_open(ZipArchive& archive, const std::string& name);
int write_entry_open(ZipArchive& archive, std::string name);
int write_entry_close(ZipArchive& archive);

// Starts the ZIP stream into the archive's temporary file.
bool zip_writer_start(ZipArchive& archive);
// Copies every entry of the archive that libzip has open for reading into
// the writer, decompressed and compressed again, in archive order.
bool zip_writer_copy_entries(ZipArchive& archive, zip* source);
// Writes the central directory; the file is then complete.
bool zip_writer_finish(ZipArchive& archive);
