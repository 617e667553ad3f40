#pragma once
// An open TAR archive over one of three stream kinds: a file on disk, the
// caller's bytes in memory (reader), or a growing memory buffer (writer).
// The archive operations see only the four stream operations below; one that
// a kind cannot do is null, and asking for it gives TAR_FAILURE.
//
// Positions are 32-bit: an archive holds at most 4 GiB less one byte. A read
// or write that would pass that limit fails and leaves pos where it was.

#include "tar/tar_result.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct TarFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct TarStream {
    // Each acts at pos and leaves it alone; the archive operations move it.
    int (*read)(TarStream& tar, void* buffer, std::uint32_t n) = nullptr;
    int (*write)(TarStream& tar, const void* data, std::uint32_t n) = nullptr;
    int (*seek)(TarStream& tar, std::uint32_t position) = nullptr;
    int (*close)(TarStream& tar) = nullptr;

    std::unique_ptr<std::FILE, TarFileCloser> file; // file kind
    std::span<const std::uint8_t> memory;           // memory reader: the caller keeps these bytes alive
    std::vector<std::uint8_t> buffer;               // memory writer: the archive so far; move it out when finished

    std::uint32_t pos = 0;
    std::uint32_t remaining_data = 0; // bytes of the current member still to read or write
    std::uint32_t last_header = 0;    // position of the header read last
};

// Mode "r..." opens "rb" and reads the first header at once (so a zero first
// block gives TAR_NULL_RECORD and a damaged one TAR_BAD_CHECKSUM, with the
// file closed again); "w..." opens "wb", "a..." "ab"; other texts are passed
// to fopen as they stand. A failed open is TAR_OPEN_FAIL.
int tar_open_file(TarStream& tar, const std::string& path, std::string_view mode);

// Reads only within bytes. A read that would pass their end is
// TAR_READ_FAIL, as a short read from a file is. Bytes longer than the 32-bit
// limit are refused with TAR_FAILURE.
int tar_open_memory_reader(TarStream& tar, std::span<const std::uint8_t> bytes);

// The finished archive is tar.buffer (its length is tar.pos). Growing it
// past memory ends the run (std::bad_alloc).
int tar_open_memory_writer(TarStream& tar);

// A file that cannot be flushed and closed gives TAR_WRITE_FAIL: the archive
// on disk is then incomplete.
int tar_close(TarStream& tar);

// Sets pos to position even when the stream's seek fails.
int tar_seek(TarStream& tar, std::uint32_t position);
int tar_rewind(TarStream& tar);
