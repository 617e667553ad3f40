#include "transport/tftp_read.h"

#include "log/log.h"
#include "transport/curl_handle.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>

namespace {

struct TftpReadState {
    std::vector<std::uint8_t> data;
    std::uint64_t expected_size = 0;
};

std::size_t append_to_state(char* chunk, std::size_t size, std::size_t count, void* user)
{
    if (chunk == nullptr || user == nullptr)
        return 0;
    auto& state = *static_cast<TftpReadState*>(user);
    const std::size_t n = size * count;
    try {
        state.data.insert(state.data.end(), chunk, chunk + n);
    } catch (const std::bad_alloc&) {
        state.data = {};
        return 0;
    }
    return n;
}

// Without a size from the server the bar runs against the caller's
// estimate; a larger file leaves it at 100 and still completes.
int report_progress(void* user, curl_off_t download_total, curl_off_t download_now, curl_off_t, curl_off_t)
{
    const auto& state = *static_cast<const TftpReadState*>(user);
    const std::int64_t announced = download_total != 0 ? download_total
                                                       : static_cast<std::int64_t>(state.expected_size);
    const std::int64_t total = static_cast<std::int32_t>(announced);
    if (total <= 0 || download_now < 0 || download_now > total)
        return 0;
    progress_set(static_cast<int>(std::min<std::int64_t>(download_now * 100 / total, 100)));
    return 0;
}

void set_read_options(CURL* handle, const std::string& url, TftpReadState& state)
{
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    // The trace stays off here even with --verbose.
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 0L);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, append_to_state);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, 300L);
    curl_easy_setopt(handle, CURLOPT_TFTP_BLKSIZE, 128L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, report_progress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &state);
}

} // namespace

int action_read_file_memory(std::string_view ip, std::string_view remote_name, std::uint64_t expected_size,
                            std::vector<std::uint8_t>& out_data)
{
    progress_set(0);
    if (ip.empty() || remote_name.empty()) {
        log_color(colour_red, "[ERROR] Invalid arguments to action_read_file_memory\n");
        return 1;
    }
    const std::string name(remote_name);
    const std::string url = "tftp://" + std::string(ip) + "/" + name;
    std::printf("[INFO] TFTP URL: %s", url.c_str());

    const CurlHandle handle = curl_handle_new();
    if (!handle) {
        log_color(colour_red, "[ERROR] curl_easy_init failed\n");
        return 1;
    }
    std::printf("[INFO] curl_easy_init succeeded");

    TftpReadState state;
    state.expected_size = expected_size;
    set_read_options(handle.get(), url, state);
    log_color(colour_green, "Downloading %s...", name.c_str());

    const CURLcode result = curl_easy_perform(handle.get());
    int status = 0;
    if (result != CURLE_OK) {
        log_color(colour_red, "[ERROR] curl_easy_perform() failed: %s", curl_easy_strerror(result));
        status = 1;
    } else {
        log_color(colour_green, "Download of %s completed (%lu bytes).", name.c_str(),
                  static_cast<unsigned long>(static_cast<std::uint32_t>(state.data.size())));
        if (expected_size == 0)
            progress_set(100);
    }
    out_data = std::move(state.data);
    return status;
}
