#include "platform/net/Http.h"

#include <curl/curl.h>

#include <chrono>
#include <mutex>

namespace velmo {

void InternetStartup() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string PercentEncode(std::string_view Bytes, std::string_view Also) {
    static const char* hex = "0123456789ABCDEF";
    std::string R;
    R.reserve(Bytes.size());
    for (unsigned char c : Bytes) {
        if (c <= 0x20 || c >= 0x7F || Also.find(char(c)) != std::string_view::npos) {
            R += '%';
            R += hex[c >> 4];
            R += hex[c & 15];
        } else {
            R += char(c);
        }
    }
    return R;
}

std::string EncodeUrlBytes(std::string_view Url) { return PercentEncode(Url, "\"<>\\^`{|}"); }

namespace {

using Clock = std::chrono::steady_clock;

struct TTransfer {
    const std::function<bool(std::string_view)>* OnData = nullptr;
    std::string Headers;
    Clock::time_point LastActivity;
    bool HeadersOut = false;
    uint64_t BodyOut = 0;
};

size_t OnHeader(char* Buffer, size_t Size, size_t Count, void* User) {
    auto* t = static_cast<TTransfer*>(User);
    const size_t n = Size * Count;
    t->LastActivity = Clock::now();
    std::string_view line(Buffer, n);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    // A new status line begins another response: only the last one is kept.
    if (line.substr(0, 5) == "HTTP/") t->Headers.clear();
    if (!line.empty()) {
        t->Headers.append(line);
        t->Headers += "\r\n";
    }
    return n;
}

size_t OnBody(char* Buffer, size_t Size, size_t Count, void* User) {
    auto* t = static_cast<TTransfer*>(User);
    const size_t n = Size * Count;
    t->LastActivity = Clock::now();
    if (t->OnData && *t->OnData && !(*t->OnData)(std::string_view(Buffer, n)))
        return 0;  // stops the transfer
    return n;
}

int OnDebug(CURL*, curl_infotype Type, char*, size_t Size, void* User) {
    auto* t = static_cast<TTransfer*>(User);
    switch (Type) {
        case CURLINFO_HEADER_OUT:
            t->HeadersOut = true;
            t->LastActivity = Clock::now();
            break;
        case CURLINFO_DATA_OUT:
            t->BodyOut += Size;
            t->LastActivity = Clock::now();
            break;
        case CURLINFO_HEADER_IN:
        case CURLINFO_DATA_IN:
        case CURLINFO_SSL_DATA_IN:
        case CURLINFO_SSL_DATA_OUT:
            t->LastActivity = Clock::now();
            break;
        default:
            break;
    }
    return 0;
}

struct TSlist {
    curl_slist* List = nullptr;
    ~TSlist() { curl_slist_free_all(List); }
    void Add(const std::string& S) {
        if (curl_slist* n = curl_slist_append(List, S.c_str())) List = n;
    }
};

}  // namespace

THttpResponse HttpSend(const THttpRequest& Request,
                       const std::function<bool(std::string_view Piece)>& OnData) {
    InternetStartup();
    THttpResponse result;
    CURL* e = curl_easy_init();
    if (!e) {
        result.Error = "no handle";
        return result;
    }
    TTransfer t;
    t.OnData = &OnData;

    TSlist headers;
    // Nothing is asked for beyond what the caller's lines say.
    headers.Add("Accept:");
    headers.Add("Expect:");
    for (const auto& given : Request.HeaderLines) {
        // Lines end at CR or LF, so no value can start a header of its own.
        size_t start = 0;
        while (start <= given.size()) {
            size_t end = given.find_first_of("\r\n", start);
            if (end == std::string::npos) end = given.size();
            std::string line = given.substr(start, end - start);
            start = end + 1;
            if (line.empty()) continue;
            // libcurl reads "Name:" with nothing after it as "remove Name";
            // "Name;" sends the header with an empty value.
            const size_t colon = line.find(':');
            if (colon != std::string::npos &&
                line.find_first_not_of(" \t", colon + 1) == std::string::npos)
                line = line.substr(0, colon) + ";";
            headers.Add(line);
        }
    }
    TSlist connectTo;
    for (const auto& c : Request.ConnectTo) connectTo.Add(c);

    curl_easy_setopt(e, CURLOPT_URL, Request.Url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROXY, "");
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_USERAGENT, Request.UserAgent.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.List);
    if (connectTo.List) curl_easy_setopt(e, CURLOPT_CONNECT_TO, connectTo.List);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, Request.FollowRedirects ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
    if (Request.ConnectTimeoutMs)
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(Request.ConnectTimeoutMs));
    if (Request.Method == "POST") {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, Request.Body.data());
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(Request.Body.size()));
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    // The debug feed tells when bytes move in either direction.
    curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, OnDebug);
    curl_easy_setopt(e, CURLOPT_DEBUGDATA, &t);
    curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);

    CURLM* m = curl_multi_init();
    if (!m) {
        curl_easy_cleanup(e);
        result.Error = "no handle";
        return result;
    }
    curl_multi_add_handle(m, e);
    t.LastActivity = Clock::now();
    bool idle = false;
    int running = 1;
    while (running) {
        if (curl_multi_perform(m, &running) != CURLM_OK) break;
        if (!running) break;
        const auto now = Clock::now();
        curl_off_t connected = 0;
        curl_easy_getinfo(e, CURLINFO_CONNECT_TIME_T, &connected);
        if (connected == 0) {
            // Connecting is bounded by the connect time-out alone.
            t.LastActivity = now;
        } else {
            const bool sending = !t.HeadersOut || t.BodyOut < Request.Body.size();
            const uint32_t limit = sending ? Request.SendTimeoutMs : Request.ReceiveTimeoutMs;
            if (limit && now - t.LastActivity > std::chrono::milliseconds(limit)) {
                idle = true;
                break;
            }
        }
        curl_multi_poll(m, nullptr, 0, 20, nullptr);
    }
    CURLcode code = CURLE_OK;
    bool done = false;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m, &left)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == e) {
            code = msg->data.result;
            done = true;
        }
    }
    curl_multi_remove_handle(m, e);
    curl_multi_cleanup(m);
    curl_easy_cleanup(e);

    if (idle) {
        result.Error = "time-out: no data moved";
    } else if (!done) {
        result.Error = "transfer did not end";
    } else if (code != CURLE_OK) {
        result.Error = curl_easy_strerror(code);
    } else {
        result.Completed = true;
    }
    result.RawHeaders = std::move(t.Headers);
    return result;
}

}  // namespace velmo
