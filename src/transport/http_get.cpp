#include "transport/http_get.h"

#include "transport/curl_handle.h"
#include "transport/verbose.h"

#include <new>

namespace {

std::size_t append_to_buffer(char* chunk, std::size_t size, std::size_t count, void* user)
{
    auto& buffer = *static_cast<ReceiveBuffer*>(user);
    const std::size_t n = size * count;
    try {
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
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, append_to_buffer);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &body);
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
