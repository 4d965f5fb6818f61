// The platform's internet calls: one HTTP/1.1 request at a time over
// libcurl, connecting directly (proxy settings of the environment are
// ignored), with the request's own header lines sent as given and the body
// handed over piece by piece as it arrives.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmo {

// Sets up the library for the whole process. Call it once at program start
// before any thread exists; every request calls it too, and later calls do
// nothing.
void InternetStartup();

struct THttpRequest {
    std::string Method = "GET";  // "GET" or "POST"
    std::string Url;             // bytes a URL can hold (see EncodeUrlBytes)
    std::string UserAgent;
    // "Name:value" lines, sent in this order; empty lines are skipped.
    std::vector<std::string> HeaderLines;
    std::string Body;  // sent with POST
    // Redirects are followed (at most 10) when true; otherwise the redirect
    // answer itself is the response.
    bool FollowRedirects = false;
    // Milliseconds; 0 leaves the library's default. The send and receive
    // time-outs end a transfer that moves no byte for that long while the
    // request is sent or the answer awaited and read.
    uint32_t ConnectTimeoutMs = 0;
    uint32_t SendTimeoutMs = 0;
    uint32_t ReceiveTimeoutMs = 0;
    // "host:port:connect-host:connect-port" entries that send a connection
    // elsewhere (used by tests to reach a loopback server).
    std::vector<std::string> ConnectTo;
};

struct THttpResponse {
    // The transfer ended normally (whatever the HTTP status).
    bool Completed = false;
    // Status line and header lines of the last response, each ended by
    // CR LF; earlier answers (redirects, interim 1xx) are not kept.
    std::string RawHeaders;
    // The curl error text when not completed.
    std::string Error;
};

// Runs the request. Each body piece goes to OnData as it arrives; OnData
// returning false stops the transfer (not completed).
THttpResponse HttpSend(const THttpRequest& Request,
                       const std::function<bool(std::string_view Piece)>& OnData);

// Percent-encodes the bytes no URL can hold as they are (controls, blank,
// bytes from 0x7F on, and " < > \ ^ ` { | }); every other byte stays.
std::string EncodeUrlBytes(std::string_view Url);
// Percent-encodes controls, blank, bytes from 0x7F on and the bytes of Also.
std::string PercentEncode(std::string_view Bytes, std::string_view Also);

}  // namespace velmo
