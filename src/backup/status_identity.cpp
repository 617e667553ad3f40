#include "backup/status_identity.h"

#include "json/json_reader.h"

#include <vector>

namespace {

std::optional<std::string>* identity_field(BackupRecord& record, std::string_view key)
{
    if (key == "model_name")
        return &record.model_name;
    if (key == "firmware_version")
        return &record.firmware_version;
    if (key == "serial_number")
        return &record.serial_number;
    if (key == "mac")
        return &record.mac;
    return nullptr;
}

struct OpenContainer {
    bool object = false;
    bool expect_name = false; // objects alternate member name and value
};

} // namespace

void status_identity_read(const char* text, BackupRecord& record)
{
    JsonReader reader;
    json_reader_open_text(reader, text);
    std::vector<OpenContainer> open;
    // The field that the member whose name was just read fills, if any.
    std::optional<std::string>* field = nullptr;

    // A value, of whatever kind, completes the member it belongs to: only a
    // string right after a wanted name is taken, so a number there never
    // lets the next member's name pass for the value.
    auto value_started = [&]() {
        field = nullptr;
        if (!open.empty() && open.back().object)
            open.back().expect_name = true;
    };

    for (JsonEvent event = json_reader_next(reader); event != JE_DONE && event != JE_ERROR;
         event = json_reader_next(reader)) {
        switch (event) {
        case JE_OBJECT:
        case JE_ARRAY:
            value_started();
            open.push_back({event == JE_OBJECT, event == JE_OBJECT});
            break;
        case JE_OBJECT_END:
        case JE_ARRAY_END:
            if (!open.empty())
                open.pop_back();
            break;
        case JE_STRING:
            if (!open.empty() && open.back().object && open.back().expect_name) {
                field = identity_field(record, json_reader_string(reader));
                open.back().expect_name = false;
            } else {
                if (field != nullptr)
                    *field = json_reader_string(reader);
                value_started();
            }
            break;
        default:
            value_started();
            break;
        }
    }
    json_reader_close(reader);
}
