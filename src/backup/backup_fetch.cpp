#include "backup/backup.h"

#include "log/log.h"
#include "transport/http_get.h"

#include <cstdio>
#include <string>

int backup_fetch(std::string_view base_address, std::string_view config_name, BackupRecord& record)
{
    if (base_address.empty() || config_name.empty())
        return 1;
    record = BackupRecord{};
    std::string url(base_address);
    url += "/api/v100/backup.ssi?config=";
    url += config_name;
    std::printf("%s\tfetching URL '%s'.\n", "backup", url.c_str());

    if (const HttpFailure failure = http_get_body(url, HttpBody::backup, record)) {
        std::fprintf(stderr, "curl_easy_perform() failed: %s\n", failure->c_str());
        log_color(colour_red, "%s\tcurl_easy_perform() failed: %s", "backup", failure->c_str());
        return backup_fetch_failed;
    }
    std::printf("%s\treceived %llu bytes.\n", "backup", static_cast<unsigned long long>(record.size));
    return backup_check(record);
}
