// The JSON reader and every reader built on it: the option lists, the
// controller's status record and the identity in a backup's "status.txt".
#include "backup/status_identity.h"
#include "cli/options.h"
#include "catalogue/backup_catalogue.h"
#include "json/json_reader.h"
#include "log/printable.h"
#include "status/status.h"

#include "quiet_stdout.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// What printable promises: no control character survives, C1 included.
void check_printable(std::string_view text)
{
    const std::string shown = printable(text);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const auto c = static_cast<unsigned char>(shown[i]);
        const bool c1 = c == 0xC2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) < 0xA0;
        if (c < 0x20 || c == 0x7F || c1)
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return quiet_stdout();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    JsonReader reader;
    json_reader_open_text(reader, text.c_str());
    for (JsonEvent event = json_reader_next(reader); event != JE_DONE && event != JE_ERROR;
         event = json_reader_next(reader)) {
        std::size_t length = 0;
        const char* token = json_reader_string(reader, &length);
        if (event == JE_STRING)
            check_printable(token);
        if (event == JE_NUMBER)
            json_reader_number(reader);
    }
    json_reader_error(reader);
    json_reader_close(reader);

    json_text_list(text.c_str());
    json_channel_list(text.c_str());
    // Names that reach URLs and file names are identifiers, whatever the text.
    if (const auto names = json_config_name_list(text.c_str())) {
        for (const std::string& name : *names) {
            if (!backup_config_name_valid(name))
                __builtin_trap();
        }
    }
    check_printable(text);

    StatusRecord status;
    status_parse(text, status);
    BackupRecord identity;
    status_identity_read(text.c_str(), identity);
    return 0;
}
