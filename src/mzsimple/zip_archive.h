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
