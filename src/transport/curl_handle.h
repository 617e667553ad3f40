#pragma once

#include <curl/curl.h>

#include <memory>

struct CurlEasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// One easy handle per exchange: handles are never reused, so no connection
// outlives the exchange that opened it.
using CurlHandle = std::unique_ptr<CURL, CurlEasyCleanup>;

inline CurlHandle curl_handle_new()
{
    return CurlHandle(curl_easy_init());
}
