#include "transport/backup_put.h"

#include "log/log.h"
#include "transport/http_get.h"

#include <cstdio>
#include <string>

int backup_put(std::string_view ip)
{
    if (ip.empty())
        return 1;
    const std::string url = std::string(ip) + "/api/v100/status.ssi?action=restoreconfig";
    std::printf("%s\tpushing URL '%s'.\n", "backup_put", url.c_str());
    if (const HttpFailure failure = http_get_discard(url)) {
        std::fprintf(stderr, "curl_easy_perform() failed: %s\n", failure->c_str());
        log_color(colour_red, "Restore request failed, %s.", failure->c_str());
        return 1;
    }
    return 0;
}
