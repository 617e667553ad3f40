#include "firmware/firmware_push.h"

#include "firmware/hex.h"
#include "log/log.h"
#include "transport/http_get.h"
#include "transport/tftp_client.h"
#include "transport/verbose.h"

#include <cstdio>
#include <string>

namespace {

using namespace std::chrono_literals;

void report_failure(const char* reason)
{
    std::fprintf(stderr, "curl_easy_perform() failed: %s\n", reason);
    log_color(colour_red, "Firmware push failed, %s.", reason);
}

// 60 s for a first answer, 30 minutes in all, and a controller that takes
// fewer than 30 bytes a second for a minute is gone.
TftpSettings upload_settings()
{
    TftpSettings settings;
    settings.block_size = 128;
    settings.first_answer = 60s;
    settings.whole_transfer = 1800s;
    settings.stall = {30 * 60, 60s};
    settings.trace = optVerbose != 0;
    return settings;
}

} // namespace

int firmware_push_tftp(std::string_view ip, const FileImage& image, bool show_progress)
{
    // size counts only bytes that are there, so the upload never runs past data.
    if (ip.empty() || image.size == 0 || image.size > image.data.size())
        return 1;
    const std::string url = "tftp://" + std::string(ip) + "/flashraw.bin";
    std::printf("%s\tpushing URL '%s'.\n", "firmware_push_tftp", url.c_str());
    log_info("Transferring... PLEASE WAIT...");

    int shown = -1;
    const TftpProgress progress = [&shown](std::uint64_t done, std::uint64_t total) {
        const auto percent = static_cast<int>(done * 100 / total);
        if (percent != shown)
            progress_set(percent);
        shown = percent;
    };
    const TftpFailure failure =
        tftp_write(ip, "flashraw.bin", upload_settings(),
                   std::span(image.data.data(), static_cast<std::size_t>(image.size)),
                   show_progress ? progress : TftpProgress{});
    if (failure) {
        report_failure(failure->c_str());
        return 1;
    }
    return 0;
}

int firmware_request_upgrade(std::string_view ip, const Sha256Digest& digest, std::uint64_t size)
{
    if (ip.empty())
        return 1;
    const std::string url = std::string(ip) + "/api/v100/status.ssi?action=firmwareupgrade&hash=" +
                            hex_encode(digest) + "&size=" + std::to_string(size);
    std::printf("%s\tpushing URL '%s'.\n", "firmware", url.c_str());
    log_info("Applying firmware upgrade... PLEASE WAIT...");
    const HttpFailure failure = http_get_discard(url);
    if (failure)
        report_failure(failure->c_str());
    log_info("Verifying firmware upgrade... PLEASE WAIT...");
    return failure ? 1 : 0;
}
