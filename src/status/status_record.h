#pragma once

#include <optional>
#include <string>

// The controller's description of itself, one text per member of its status
// object, stored as received; a member that did not arrive stays empty.
struct StatusRecord {
    std::optional<std::string> model_name;
    std::optional<std::string> firmware_version;
    std::optional<std::string> build_date;
    std::optional<std::string> hostname;
    std::optional<std::string> serial_number;
    std::optional<std::string> mac;
    std::optional<std::string> rtc_temperature;
    std::optional<std::string> ram_memory;
    std::optional<std::string> flash_memory;
    std::optional<std::string> boot_count;
    std::optional<std::string> time;
    std::optional<std::string> uptime;
    std::optional<std::string> dali_channel_1;
    std::optional<std::string> dali_channel_2;
    std::optional<std::string> dali_channel_3;
    std::optional<std::string> dali_channel_4;
    std::optional<std::string> ip;
    std::optional<std::string> bacnet_ip;
    std::optional<std::string> session_id;
    std::optional<std::string> username;
};
