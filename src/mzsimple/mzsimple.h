#pragma once
// ZIP archives for backups: one archive and one current entry per handle.
// Entry names always use "/" as separator; a "\" given by a caller becomes
// "/". Integer results are 0 (or a count or size) on success and -1 on
// failure; nothing is printed.

#include "platform/atomic_file.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct zip;     // libzip's archive, for reading
struct archive; // libarchive's writer

struct ZipDiscard {
    void operator()(zip* handle) const;
};
struct ZipWriterFree {
    void operator()(archive* handle) const;
};

struct ZipPendingEntry {
    std::string name;
    std::int64_t mtime = 0; // seconds since 1970, taken when the entry is opened
    std::vector<std::uint8_t> data;
};

// One open archive, owned by the caller from mzsimple_open to mzsimple_close;
// dropping it without mzsimple_close abandons what was written to it, and a
// file of that name stays as it was.
struct ZipArchive {
    std::string path;
    bool writing = false;

    // Reading: libzip over the file. Entry names with "/" separators, in
    // archive order (also kept while writing, to refuse a name twice).
    std::unique_ptr<zip, ZipDiscard> handle;
    std::vector<std::string> names;
    std::optional<std::uint64_t> current;

    // Writing: entries are streamed into a temporary file beside path as
    // they are added; closing the archive renames it into place.
    AtomicFile file;
    std::unique_ptr<archive, ZipWriterFree> writer;
    int level = 0; // 0 stores every entry, 1 to 9 deflate at that level
    // The most bytes the finished archive can take, kept below 4 GiB because
    // the archive carries no ZIP64 records.
    std::uint64_t size_bound = 0;
    int system_error = 0; // errno of the first failed write, 0 if none
    std::optional<ZipPendingEntry> pending;
};

// level: negative means 6; otherwise its low four bits count (bits above
// them are ignored): 0 stores entries, 1 to 9 deflate at that level, 10
// deflates as hard as possible, 11 to 15 are refused.
// mode: 'r' reads an existing archive, 'w' writes a new one that replaces
// the file when it is closed, 'a' does the same starting with the entries
// of an existing archive (recompressed). Null on any failure; a file that is
// not a ZIP archive (an empty one included) cannot be opened 'r' or 'a'.
// system_error, when given, receives the errno of a failure to create the
// temporary file (0 for other failures).
std::unique_ptr<ZipArchive> mzsimple_open(const std::string& path, int level, char mode,
                                          int* system_error = nullptr);

// Writing: finishes the archive and renames it into place; only then does
// the file hold it, so the result must be checked. An entry still open is
// finished first. On failure the temporary file is removed and an earlier
// file of that name is left as it was; system_error, when given, receives
// the errno of the first failed write (0 when none caused it). Reading:
// only releases the handle.
int mzsimple_close(std::unique_ptr<ZipArchive> archive, int* system_error = nullptr);

// Number of entries, written ones included.
std::int64_t mzsimple_entries_total(const ZipArchive& archive);

// Reading: makes current the entry whose full name matches, ignoring the case
// of ASCII letters. Writing: starts a new entry at the end of the archive,
// dated now; refused while another entry is open, for a name the archive
// already holds, and past 65,535 entries.
int mzsimple_entry_open(ZipArchive& archive, std::string_view name);
// Reading only: makes the entry at that position (archive order) current.
int mzsimple_entry_open_index(ZipArchive& archive, std::int64_t index);

std::optional<std::string> mzsimple_entry_name(const ZipArchive& archive);
// 1 for a directory entry (name ending in "/" or DOS directory attribute),
// 0 for a file, -1 without a current entry.
int mzsimple_entry_isdir(const ZipArchive& archive);
// Uncompressed size of the current entry; 0 without one.
std::uint64_t mzsimple_entry_size(const ZipArchive& archive);

// Writing: appends to the current entry, which is collected in memory until
// it is closed; may be called several times. An entry cannot grow past
// 4 GiB - 1.
int mzsimple_entry_write(ZipArchive& archive, std::span<const std::uint8_t> data);

// Writing: adds a whole entry at once, dated now, streaming data to the file
// without a copy. Entries that deflate does not make smaller are stored.
// Refused like mzsimple_entry_open, and while another entry is open; a
// failed write (system_error is then set) makes the archive unusable.
int mzsimple_entry_add(ZipArchive& archive, std::string_view name, std::span<const std::uint8_t> data);

// Reading: the whole current entry, checked against its CRC-32. None for a
// directory, without a current entry, or when the data is damaged.
std::optional<std::vector<std::uint8_t>> mzsimple_entry_read(ZipArchive& archive);
// Reading: the current entry into buffer, which must hold its size; gives
// that size.
std::int64_t mzsimple_entry_read_into(ZipArchive& archive, std::span<std::uint8_t> buffer);

// Reading: forgets the current entry. Writing: writes it out (stored when
// deflate does not make it smaller); it is part of the archive once this
// returns 0. Refused when the archive would pass 4 GiB.
int mzsimple_entry_close(ZipArchive& archive);
