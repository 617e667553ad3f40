#pragma once
// The controller's HTTP GET exchanges. For a body, success is the
// transfer's alone: an HTTP error status with a page is a received body like
// any other, and the caller's parser judges it. Each caller reports a failure in its own words
// around the failure text given here.
//
// No exchange waits without a limit or takes unbounded memory: a connection
// must stand within 30 s, an answer that slows below a floor for a period
// is abandoned, at most 5 redirects are followed, only to http addresses,
// and a body is refused as soon as it grows past the limit of its kind.

#include "transport/receive_buffer.h"

#include <cstdint>
#include <optional>
#include <string>

// What a body is, which bounds its size.
enum class HttpBody {
    status, // the status record: a JSON object of a few hundred bytes
    backup, // one configuration file packed as TAR
};

// Null on success, else what went wrong, in words for the user.
using HttpFailure = std::optional<std::string>;

// GET of a body: redirects followed, libcurl's trace on standard error with
// --verbose. body receives what arrived, also after a failure.
HttpFailure http_get_body(const std::string& url, HttpBody kind, ReceiveBuffer& body);

// GET of a command whose answer's body is not needed (the controller may
// work on it before it answers, so it has longer to answer): as above, plus
// libcurl's own progress meter on standard error; the body is read and
// dropped. An HTTP error status (400 and above) is the controller's refusal
// and a failure.
HttpFailure http_get_discard(const std::string& url);
