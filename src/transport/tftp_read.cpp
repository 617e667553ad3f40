#include "transport/tftp_read.h"

#include "log/log.h"
#include "transport/tftp_client.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

using namespace std::chrono_literals;

// The controller's flash reads: 30 s for a first answer, 300 s in all, and
// fewer than 30 bytes a second over a minute counts as a stall.
TftpSettings read_settings()
{
    TftpSettings settings;
    settings.block_size = 128;
    settings.first_answer = 30s;
    settings.whole_transfer = 300s;
    settings.stall = {30 * 60, 60s};
    return settings;
}

// Without a size from the server the bar runs against the caller's
// estimate. Only changes reach the window.
class ReadProgress {
public:
    explicit ReadProgress(std::uint64_t expected_size) : expected_size_(expected_size) {}

    void operator()(std::uint64_t done, std::uint64_t announced)
    {
        const std::int64_t total =
            static_cast<std::int32_t>(announced != 0 ? announced : expected_size_);
        const auto now = static_cast<std::int64_t>(done);
        if (total <= 0 || now > total)
            return;
        const int percent = static_cast<int>(std::min<std::int64_t>(now * 100 / total, 100));
        if (percent != shown_)
            progress_set(percent);
        shown_ = percent;
    }

private:
    std::uint64_t expected_size_;
    int shown_ = 0;
};

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
    std::printf("[INFO] TFTP URL: %s", ("tftp://" + std::string(ip) + "/" + name).c_str());
    std::printf("[INFO] curl_easy_init succeeded");
    log_color(colour_green, "Downloading %s...", name.c_str());

    ReadProgress progress(expected_size);
    const TftpFailure failure = tftp_read(ip, name, read_settings(), expected_size, out_data,
                                          [&](std::uint64_t done, std::uint64_t total) { progress(done, total); });
    if (failure) {
        log_color(colour_red, "[ERROR] curl_easy_perform() failed: %s", failure->c_str());
        return 1;
    }
    log_color(colour_green, "Download of %s completed (%lu bytes).", name.c_str(),
              static_cast<unsigned long>(static_cast<std::uint32_t>(out_data.size())));
    if (expected_size == 0)
        progress_set(100);
    return 0;
}
