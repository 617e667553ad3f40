#pragma once
// The controller's HTTP GET exchanges. Success is libcurl's result alone:
// an HTTP error status with a page is a received body like any other, and
// the caller's parser judges it. CURLE_FAILED_INIT when no handle could be
// made. Each caller reports a failure in its own words.

#include "transport/receive_buffer.h"

#include <curl/curl.h>

#include <string>

// GET of a body: redirects followed, libcurl's trace on standard error with
// --verbose. body receives exactly what arrived, also after a failure.
CURLcode http_get_body(const std::string& url, ReceiveBuffer& body);

// GET of a request whose answer is not needed: as above, plus libcurl's own
// progress meter on standard error; the body is read and dropped.
CURLcode http_get_discard(const std::string& url);
