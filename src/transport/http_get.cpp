#include "transport/http_get.h"

#include "transport/curl_handle.h"
#include "transport/verbose.h"

#include <new>

namespace {

// Room taken at once for an announced body, so that a large one is not
// copied from buffer to ever larger buffer (which briefly holds it three
// times over). Larger announcements grow as the bytes arrive.
constexpr curl_off_t largest_reservation = curl_off_t{64} << 20;

struct BodyTarget {
    CURL* handle;
    ReceiveBuffer* buffer;
};

std::size_t append_to_buffer(char* chunk, std::size_t size, std::size_t count, void* user)
{
    auto& target = *static_cast<BodyTarget*>(user);
    ReceiveBuffer& buffer = *target.buffer;
    const std::size_t n = size * count;
    try {
        curl_off_t announced = -1;
        if (buffer.data.empty() &&
            curl_easy_getinfo(target.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
            announced > 0 && announced <= largest_reservation)
            buffer.data.reserve(static_cast<std::size_t>(announced));
        buffer.data.insert(buffer.data.end(), chunk, chunk + n);
    } catch (const std::bad_alloc&) {
        // Reporting nothing consumed makes libcurl abort with a write error.
        buffer.data = {};
        buffer.size = 0;
        return 0;
    }
    buffer.size = buffer.data.size();
    return n;
}

std::size_t discard(char*, std::size_t size, std::size_t count, void*)
{
    return size * count;
}

void set_common_options(CURL* handle, const std::string& url)
{
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    // A bare address means HTTP whatever the host is called: left to guess,
    // libcurl would speak FTP to a host named "ftp.*", IMAP to "imap.*"...
    curl_easy_setopt(handle, CURLOPT_DEFAULT_PROTOCOL, "http");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_VERBOSE, optVerbose != 0 ? 1L : 0L);
}

} // namespace

CURLcode http_get_body(const std::string& url, ReceiveBuffer& body)
{
    const CurlHandle handle = curl_handle_new();
    if (!handle)
        return CURLE_FAILED_INIT;
    set_common_options(handle.get(), url);
    BodyTarget target{handle.get(), &body};
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, append_to_buffer);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &target);
    return curl_easy_perform(handle.get());
}

CURLcode http_get_discard(const std::string& url)
{
    const CurlHandle handle = curl_handle_new();
    if (!handle)
        return CURLE_FAILED_INIT;
    set_common_options(handle.get(), url);
    curl_easy_setopt(handle.get(), CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, discard);
    return curl_easy_perform(handle.get());
}
