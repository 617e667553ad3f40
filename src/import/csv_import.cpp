#include "import/csv_import.h"

#include "import/csv_cells.h"
#include "platform/files.h"

#include <csv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t chunk_size = 1024;

// libcsv grows its field buffer through this; refusing past the limit makes
// libcsv report an error instead of holding a whole malformed file.
void* limited_realloc(void* block, std::size_t size)
{
    if (size > csv_field_limit + 1)
        return nullptr;
    return std::realloc(block, size);
}

// A libcsv parser that releases its field buffer when it goes.
struct CsvTokeniser {
    csv_parser parser{};
    CsvTokeniser() = default;
    CsvTokeniser(const CsvTokeniser&) = delete;
    CsvTokeniser& operator=(const CsvTokeniser&) = delete;
    ~CsvTokeniser() { csv_free(&parser); }
};

void field_callback(void* text, std::size_t length, void* import)
{
    static_cast<CsvSheetImport*>(import)->on_field(static_cast<const char*>(text), length);
}

void row_callback(int, void* import)
{
    static_cast<CsvSheetImport*>(import)->on_row_end();
}

int report_parse_error(csv_parser& parser)
{
    std::fprintf(stderr, "Error while parsing file: %s\n", csv_strerror(csv_error(&parser)));
    return importcsv_parse_error;
}

} // namespace

void CsvSheetImport::on_field(const char* text, std::size_t length)
{
    const std::string_view field(text, length);
    if (field.starts_with('#')) {
        state.comment_row = true;
        if (field.find(version_marker_) != std::string_view::npos)
            version = static_cast<int>(cell_number(text + version_marker_.size()));
    } else if (!state.comment_row && version == 1 && state.field_index < field_count_ && !stopped) {
        take_cell(state.field_index, text);
    }
    ++state.field_index;
}

void CsvSheetImport::on_row_end()
{
    if (!state.comment_row && version == 1 && state.field_index == field_count_ && !stopped)
        apply_row();
    clear_row();
    ++state.row_count;
    state.comment_row = false;
    state.field_index = 0;
}

int csv_import_file(const std::string& path, CsvSheetImport& import)
{
    import.state = CsvImportState{};
    import.version = 0;
    CsvTokeniser tokeniser;
    csv_parser* parser = &tokeniser.parser;
    if (csv_init(parser, CSV_APPEND_NULL) != 0)
        return importcsv_no_tokeniser;
    csv_set_realloc_func(parser, limited_realloc);

    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return importcsv_cannot_open;

    char chunk[chunk_size];
    while (!import.stopped) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file.get());
        if (n == 0)
            break;
        if (csv_parse(parser, chunk, n, field_callback, row_callback, &import) < n)
            return report_parse_error(*parser);
    }
    if (import.stopped)
        return importcsv_not_supported;
    if (csv_fini(parser, field_callback, row_callback, &import) != 0)
        return report_parse_error(*parser);
    std::printf("%lu fields, %lu rows\n", static_cast<unsigned long>(import.state.field_index),
                static_cast<unsigned long>(import.state.row_count));
    return import.stopped ? importcsv_not_supported : importcsv_done;
}

void store_text_field(std::uint8_t* field, std::size_t field_size, const std::string& text)
{
    const std::size_t length = std::min(std::strlen(text.c_str()), field_size);
    std::memcpy(field, text.data(), length);
    std::memset(field + length, 0, field_size - length);
    field[field_size - 1] = 0;
}
