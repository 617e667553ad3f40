#include "status/status.h"

#include "log/log.h"
#include "log/printable.h"
#include "transport/http_get.h"

#include <cstdio>

int status_fetch(std::string_view ip, StatusRecord& record)
{
    if (ip.empty())
        return 1;
    record = StatusRecord{};
    const std::string url = std::string(ip) + "/api/v100/status.ssi";
    std::printf("%s\tfetching URL '%s'.\n", "status", url.c_str());
    ReceiveBuffer body;
    if (const HttpFailure failure = http_get_body(url, HttpBody::status, body)) {
        std::fprintf(stderr, "curl_easy_perform() failed: %s\n", failure->c_str());
        log_color(colour_red, "%s\tcurl_easy_perform() failed: %s", "status", failure->c_str());
        return 1;
    }
    std::printf("%s\treceived %llu bytes.\n", "status", static_cast<unsigned long long>(body.size));
    return status_parse(std::string_view(reinterpret_cast<const char*>(body.data.data()), body.data.size()),
                        record);
}

int action_get_status(const std::optional<std::string>& ip)
{
    if (!ip || ip->empty()) {
        std::printf("Missing arguments for action get_status.");
        return 2;
    }
    StatusRecord record;
    const int result = status_fetch(*ip, record);
    if (result == 0)
        std::printf("model_name=%s\r\n", printable(*record.model_name).c_str());
    return result;
}
