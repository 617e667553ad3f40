#include "status/status.h"

#include "json/json_reader.h"

#include <cstring>
#include <utility>

namespace {

using StatusField = std::optional<std::string> StatusRecord::*;

constexpr std::pair<const char*, StatusField> status_fields[] = {
    {"model_name", &StatusRecord::model_name},
    {"firmware_version", &StatusRecord::firmware_version},
    {"build_date", &StatusRecord::build_date},
    {"hostname", &StatusRecord::hostname},
    {"serial_number", &StatusRecord::serial_number},
    {"mac", &StatusRecord::mac},
    {"rtc_temperature", &StatusRecord::rtc_temperature},
    {"ram_memory", &StatusRecord::ram_memory},
    {"flash_memory", &StatusRecord::flash_memory},
    {"boot_count", &StatusRecord::boot_count},
    {"time", &StatusRecord::time},
    {"uptime", &StatusRecord::uptime},
    {"dali_channel_1", &StatusRecord::dali_channel_1},
    {"dali_channel_2", &StatusRecord::dali_channel_2},
    {"dali_channel_3", &StatusRecord::dali_channel_3},
    {"dali_channel_4", &StatusRecord::dali_channel_4},
    {"ip", &StatusRecord::ip},
    {"bacnet_ip", &StatusRecord::bacnet_ip},
    {"session_id", &StatusRecord::session_id},
    {"username", &StatusRecord::username},
};

void store_member(StatusRecord& record, const std::string& name, const char* value)
{
    for (const auto& [field_name, field] : status_fields) {
        if (name == field_name) {
            record.*field = value;
            return;
        }
    }
}

// Reads past the rest of an object or array whose start was just read.
// False when the text ends or breaks first.
bool skip_nested_value(JsonReader& reader)
{
    for (int depth = 1; depth > 0;) {
        switch (json_reader_next(reader)) {
        case JE_OBJECT:
        case JE_ARRAY:
            ++depth;
            break;
        case JE_OBJECT_END:
        case JE_ARRAY_END:
            --depth;
            break;
        case JE_ERROR:
        case JE_DONE:
            return false;
        default:
            break;
        }
    }
    return true;
}

// Members are read from objects that are not themselves a member value: the
// status object, or objects listed in an array. A member value that is not a
// string is passed over whole, so the members after it still pair up.
bool read_members(JsonReader& reader, StatusRecord& record)
{
    std::optional<std::string> pending_name;
    bool in_object = false;
    for (;;) {
        const JsonEvent event = json_reader_next(reader);
        switch (event) {
        case JE_ERROR:
            return false;
        case JE_DONE:
            return true;
        case JE_OBJECT:
        case JE_ARRAY:
            if (in_object) {
                pending_name.reset();
                if (!skip_nested_value(reader))
                    return false;
            } else if (event == JE_OBJECT) {
                in_object = true;
            }
            break;
        case JE_OBJECT_END:
            pending_name.reset();
            in_object = false;
            break;
        case JE_STRING:
            if (!in_object)
                break;
            if (!pending_name) {
                pending_name = json_reader_string(reader);
            } else {
                store_member(record, *pending_name, json_reader_string(reader));
                pending_name.reset();
            }
            break;
        default: // numbers, true, false, null; ends of arrays outside objects
            pending_name.reset();
            break;
        }
    }
}

} // namespace

int status_parse(std::string_view body, StatusRecord& record)
{
    record = StatusRecord{};
    // The received bytes carry no terminator; the reader wants a text.
    const std::string text(body);
    JsonReader reader;
    json_reader_open_text(reader, text.c_str());
    const bool well_formed = read_members(reader, record);
    json_reader_close(reader);
    if (!well_formed) {
        record = StatusRecord{};
        return 1;
    }
    return record.model_name ? 0 : 1;
}

int status_record_free(StatusRecord& record)
{
    record = StatusRecord{};
    return 0;
}
