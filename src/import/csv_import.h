#pragma once
// The machinery the three sheet importers share: the file is tokenised by
// libcsv in 1,024-byte chunks, comment rows and the version row are
// recognised, cells are collected per row and a row is applied at its end
// when it has exactly the importer's field count and the version is 1.

#include "backup/backup.h"
#include "channel/channel_layout.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Results of an import.
inline constexpr int importcsv_done = 1;          // read to its end, whatever its rows held
inline constexpr int importcsv_no_tokeniser = 2;  // libcsv could not be set up
inline constexpr int importcsv_cannot_open = 3;   // the file could not be opened; nothing imported
inline constexpr int importcsv_parse_error = 4;   // tokeniser error, reported on standard error
inline constexpr int importcsv_not_supported = 5; // the controller cannot take this sheet

// No cell of a sheet comes near this; a field that does (a quote never
// closed, a file that is no sheet) is a tokeniser error instead of a field
// that grows with the file.
inline constexpr std::size_t csv_field_limit = 65536;

struct CsvImportState {
    std::uint32_t field_index = 0; // fields seen in the current row
    std::uint32_t row_count = 0;   // rows ended, comment and ignored rows included
    bool comment_row = false;
};

class CsvSheetImport {
public:
    CsvSheetImport(std::string_view version_marker, std::uint32_t field_count, const BackupRecord& backup,
                   ChannelConfigImage& image)
        : backup(backup), image(image), version_marker_(version_marker), field_count_(field_count) {}
    virtual ~CsvSheetImport() = default;

    // libcsv's two callbacks; text is NUL-terminated.
    void on_field(const char* text, std::size_t length);
    void on_row_end();

    CsvImportState state;
    int version = 0;
    bool stopped = false; // an importer that can go no further sets this

protected:
    // A cell of a data row, column < field_count, while the version is 1.
    virtual void take_cell(std::uint32_t column, const char* text) = 0;
    // The collected row, complete and of version 1.
    virtual void apply_row() = 0;
    virtual void clear_row() = 0;

    const BackupRecord& backup;
    ChannelConfigImage& image;

private:
    std::string_view version_marker_;
    std::uint32_t field_count_;
};

// Runs import over the file at path; prints "%lu fields, %lu rows" at the
// end. One of the results above.
int csv_import_file(const std::string& path, CsvSheetImport& import);

// Copies text into a zero-padded field of field_size bytes whose last byte
// is always 0, as strncpy would with that last byte forced.
void store_text_field(std::uint8_t* field, std::size_t field_size, const std::string& text);
