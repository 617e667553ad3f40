#pragma once
// Byte transfer for the archive operations: one stream operation at pos,
// then pos moves past the n bytes whether or not the transfer succeeded.
// A kind without the operation (TAR_FAILURE) or a transfer past the 32-bit
// limit (TAR_READ_FAIL, TAR_WRITE_FAIL) leaves pos alone.

#include "tar/tar_stream.h"

int tar_read_bytes(TarStream& tar, void* buffer, std::uint32_t n);
int tar_write_bytes(TarStream& tar, const void* data, std::uint32_t n);
