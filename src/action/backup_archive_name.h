#pragma once

#include <ctime>
#include <string>
#include <string_view>

// ip with every character that a file name cannot hold on some platform
// ("<>:\"/\\|?*") replaced by an underscore, so "10.0.0.1:8080" names a file.
std::string backup_address_sanitise(std::string_view ip);

// "backup_<address>_ZANTOR_YYYYMMDD_HHMMSS.zip" for the sanitised ip and the
// local time when (all zero when the time could not be had).
std::string backup_archive_name(std::string_view ip, const std::tm& when);
