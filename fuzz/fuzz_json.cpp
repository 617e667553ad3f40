// The JSON reader and every reader built on it: the option lists, the
// controller's status record and the identity in a backup's "status.txt".
#include "backup/status_identity.h"
#include "cli/options.h"
#include "json/json_reader.h"
#include "status/status.h"

#include "quiet_stdout.h"

#include <cstddef>
#include <cstdint>
#include <string>

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
        json_reader_string(reader, &length);
        if (event == JE_NUMBER)
            json_reader_number(reader);
    }
    json_reader_error(reader);
    json_reader_close(reader);

    json_text_list(text.c_str());
    json_channel_list(text.c_str());
    json_config_name_list(text.c_str());

    StatusRecord status;
    status_parse(text, status);
    BackupRecord identity;
    status_identity_read(text.c_str(), identity);
    return 0;
}
