#pragma once
// Reading an archive. pos rests on a member's header between operations.
// Walk: tar_read_header until TAR_NULL_RECORD, tar_next after each member.
// Or: tar_find, then tar_read_data for exactly the member's size.

#include "tar/tar_header.h"
#include "tar/tar_stream.h"

#include <string_view>

// Decodes the header at pos and leaves pos on it.
int tar_read_header(TarStream& tar, TarHeader& header);

// From the header at pos to the next one. TAR_SEEK_FAIL when the member
// claims to run past the 32-bit limit.
int tar_next(TarStream& tar);

// Searches from the archive's start for the member named exactly name and
// leaves pos on its header; fills header when one is given. The end of the
// archive is TAR_NOT_FOUND; a damaged header on the way is returned as is.
int tar_find(TarStream& tar, std::string_view name, TarHeader* header);

// The next n bytes of the member at pos, in one call or several whose lengths
// add up to its size; after the last, pos is on its header again. Asking for
// more than the member has left is TAR_FAILURE and reads nothing.
int tar_read_data(TarStream& tar, void* buffer, std::uint32_t n);
