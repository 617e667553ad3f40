#include "transport/http_get.h"

#include "transport/curl_handle.h"
#include "transport/http_limits.h"
#include "transport/verbose.h"

#include <new>

namespace {

// Where a body goes and how much of it may come.
struct BodySink {
    ReceiveBuffer* buffer; // null: the body is dropped
    std::uint64_t limit;
    CURL* handle = nullptr;
    std::uint64_t received = 0;
    bool over_limit = false;
    bool out_of_memory = false;
};

// Reporting fewer bytes consumed than offered makes libcurl abort with a
// write error; the sink says why.
std::size_t take_chunk(char* chunk, std::size_t size, std::size_t count, void* user)
{
    auto& sink = *static_cast<BodySink*>(user);
    const std::size_t n = size * count;
    if (n > sink.limit - sink.received) {
        sink.over_limit = true;
        return 0;
    }
    sink.received += n;
    if (sink.buffer == nullptr)
        return n;
    try {
        // Room for an announced body at once, so that a large one is not
        // copied from buffer to ever larger buffer (which briefly holds it
        // three times over). The announcement is within the limit: libcurl
        // refuses a larger one before the body comes.
        curl_off_t announced = -1;
        if (sink.buffer->data.empty() &&
            curl_easy_getinfo(sink.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
            announced > 0 && static_cast<std::uint64_t>(announced) <= sink.limit)
            sink.buffer->data.reserve(static_cast<std::size_t>(announced));
        sink.buffer->data.insert(sink.buffer->data.end(), chunk, chunk + n);
    } catch (const std::bad_alloc&) {
        sink.buffer->data = {};
        sink.buffer->size = 0;
        sink.out_of_memory = true;
        return 0;
    }
    sink.buffer->size = sink.buffer->data.size();
    return n;
}

// A command (restore, firmware upgrade) shows libcurl's progress meter, and
// an HTTP error status is its refusal; a body's status is judged by the
// caller's parser.
HttpFailure perform(const std::string& url, BodySink& sink, long min_speed, long stall_time_s, bool command)
{
    const CurlHandle handle = curl_handle_new();
    if (!handle)
        return curl_easy_strerror(CURLE_FAILED_INIT);
    CURL* curl = handle.get();
    sink.handle = curl;
    char detail[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // A bare address means HTTP whatever the host is called, and nothing but
    // HTTP is ever spoken: not for an address like file:///x#, not after a
    // redirect to ftp:// or file://.
    curl_easy_setopt(curl, CURLOPT_DEFAULT_PROTOCOL, "http");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, http_max_redirects);
    // Time-outs without signals: the log window's thread shares the process.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, http_connect_timeout_s);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, min_speed);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stall_time_s);
    // An announced length past the limit is refused before the body comes.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(sink.limit));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, take_chunk);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, command ? 0L : 1L);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, optVerbose != 0 ? 1L : 0L);

    const CURLcode result = curl_easy_perform(curl);
    if (result == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        if (command && status >= 400)
            return "the controller refused the request (HTTP status " + std::to_string(status) + ")";
        return std::nullopt;
    }
    if (sink.over_limit)
        return "the answer is larger than " + std::to_string(sink.limit) + " bytes";
    if (sink.out_of_memory)
        return "out of memory for the answer";
    if (result == CURLE_FILESIZE_EXCEEDED)
        return "the answer announces more than " + std::to_string(sink.limit) + " bytes";
    return detail[0] != '\0' ? detail : curl_easy_strerror(result);
}

} // namespace

HttpFailure http_get_body(const std::string& url, HttpBody kind, ReceiveBuffer& body)
{
    BodySink sink{&body, kind == HttpBody::status ? http_status_limit : http_backup_limit};
    return perform(url, sink, http_fetch_min_speed, http_fetch_stall_time_s, false);
}

HttpFailure http_get_discard(const std::string& url)
{
    BodySink sink{nullptr, http_command_limit};
    return perform(url, sink, http_command_min_speed, http_command_stall_time_s, true);
}
