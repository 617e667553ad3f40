#include "action/backup_archive_name.h"

#include <cstdio>

std::string backup_address_sanitise(std::string_view ip)
{
    std::string name(ip);
    for (char& c : name) {
        if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
            c = '_';
    }
    return name;
}

std::string backup_archive_name(std::string_view ip, const std::tm& when)
{
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u_%02u%02u%02u", static_cast<unsigned>(when.tm_year + 1900),
                  static_cast<unsigned>(when.tm_mon + 1), static_cast<unsigned>(when.tm_mday),
                  static_cast<unsigned>(when.tm_hour), static_cast<unsigned>(when.tm_min),
                  static_cast<unsigned>(when.tm_sec));
    return "backup_" + backup_address_sanitise(ip) + "_ZANTOR_" + stamp + ".zip";
}
