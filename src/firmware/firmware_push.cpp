#include "firmware/firmware_push.h"

#include "firmware/hex.h"
#include "log/log.h"
#include "transport/curl_handle.h"
#include "transport/http_get.h"
#include "transport/verbose.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Where the upload stands in the image; the image itself is not copied.
struct UploadSource {
    const FileImage* image;
    std::uint64_t sent;
};

std::size_t read_image(char* buffer, std::size_t size, std::size_t count, void* user)
{
    auto& source = *static_cast<UploadSource*>(user);
    const std::uint64_t left = source.image->size - source.sent;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size * count, left));
    if (n == 0)
        return 0;
    std::memcpy(buffer, source.image->data.data() + source.sent, n);
    source.sent += n;
    return n;
}

int report_upload_progress(void*, curl_off_t, curl_off_t, curl_off_t upload_total, curl_off_t upload_now)
{
    if (upload_total >= 1 && upload_total >= upload_now && upload_now >= 0)
        progress_set(static_cast<int>(upload_now * 100 / upload_total));
    return 0;
}

void report_failure(CURLcode result)
{
    std::fprintf(stderr, "curl_easy_perform() failed: %s\n", curl_easy_strerror(result));
    log_color(colour_red, "Firmware push failed, %s.", curl_easy_strerror(result));
}

} // namespace

int firmware_push_tftp(std::string_view ip, const FileImage& image, bool show_progress)
{
    // size counts only bytes that are there, so the read never runs past data.
    if (ip.empty() || image.size == 0 || image.size > image.data.size())
        return 1;
    const std::string url = "tftp://" + std::string(ip) + "/flashraw.bin";
    std::printf("%s\tpushing URL '%s'.\n", "firmware_push_tftp", url.c_str());
    log_info("Transferring... PLEASE WAIT...");

    const CurlHandle handle = curl_handle_new();
    if (!handle)
        return 1;
    UploadSource source{&image, 0};
    CURL* curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_VERBOSE, optVerbose != 0 ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    if (show_progress)
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, report_upload_progress);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 1800L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 60L);
    // A controller that takes fewer than 30 bytes a second for a minute is gone.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 30L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(curl, CURLOPT_TFTP_BLKSIZE, 128L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, read_image);
    curl_easy_setopt(curl, CURLOPT_READDATA, &source);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(image.size));

    const CURLcode result = curl_easy_perform(curl);
    if (result != CURLE_OK) {
        report_failure(result);
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
    const CURLcode result = http_get_discard(url);
    if (result != CURLE_OK)
        report_failure(result);
    log_info("Verifying firmware upgrade... PLEASE WAIT...");
    return result == CURLE_OK ? 0 : 1;
}
