// The application's HTTP client: extra request header lines and a cookie
// jar, GET and POST with the body returned as text, appended to a stream or
// saved as a file, the raw headers of the last response, and the cookies
// the server sets merged into the jar. Network failures never raise: they
// give an empty body and leave the last headers and the jar as they were.
// One thread at a time uses an instance.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/Stream.h"

namespace velmo {

struct fdt {
    std::u16string title;  // header or cookie name
    std::u16string text;   // its value
};
using fdts = std::vector<fdt>;

// The pieces of a POST address. The port written in it is kept for
// completeness but never used: the request goes to 443 for https, else 80.
struct TPostTarget {
    std::u16string Protocol, Host, Port, Path, Document, Parameters;
    bool Secure = false;
    int ConnectPort = 80;
    std::u16string Object;  // path + document (+ "?" when the address has one)
};
TPostTarget SplitPostUrl(const std::u16string& Url);

// "%.3d.%.3d.%.3d.%.3d" of the four numbers.
std::u16string FormatForwardedAddress(int A, int B, int C, int D);

class Tqenhttp {
public:
    Tqenhttp();

    // Milliseconds; true when accepted.
    bool setconnectouttime(uint32_t tm);
    bool setsendouttime(uint32_t tm);
    bool setaccectouttime(uint32_t tm);

    // Merges "Name:value" lines (split at CR) into the header list.
    void addheads(const std::u16string& hds);
    void clearheads() { fhead.clear(); }
    // Merges "name=value" pairs (split at ';') into the jar.
    void addcookies(const std::u16string& cks) { mergecookies(cks); }
    void clearcookies() { fcookie.clear(); }
    // The jar as name=value pairs joined by ';'.
    std::u16string getcookies() const;
    const std::u16string& getturnhead() const { return turnhead; }
    // Adds "X-Forwarded-For:" + ip; an empty ip becomes a made-up address.
    void weizhaoIP(std::u16string ip);

    std::u16string get(const std::u16string& url);
    // Appends the body at stm's position (nothing on failure).
    void get(const std::u16string& url, TStream& stm);
    // Saves the body as svfilename, an empty file on failure. Raises
    // EFCreateError when the file cannot be created.
    void getfile(const std::u16string& url, const std::u16string& svfilename);
    std::u16string post(const std::u16string& url, const std::u16string& postdata);
    void post(const std::u16string& url, const std::u16string& postdata, TStream& stm);

    const fdts& heads() const { return fhead; }
    const fdts& cookies() const { return fcookie; }
    // "host:port:connect-host:connect-port" entries that send connections
    // elsewhere; tests point a real address at a loopback server.
    void setconnectto(std::vector<std::string> entries) { fconnectto = std::move(entries); }

    // Decode string results as UTF-8 (else Windows-1252).
    bool htmlutf8 = false;
    // Let redirects be followed.
    bool cantiaozhuan = false;
    // Send POST bodies as UTF-8 (else Windows-1252).
    bool postdatautf8 = false;

    // Bodies kept in memory stop at this size (the transfer fails beyond).
    static constexpr uint64_t MaxMemoryBody = uint64_t(256) << 20;

private:
    std::u16string getheads() const;
    std::vector<std::string> headerblock() const;
    void mergecookies(const std::u16string& cks);
    // Takes the headers of a finished request: turnhead and Set-Cookie.
    void takeheaders(const std::string& raw);
    // Runs a request; the body goes to sink. False when it failed.
    bool run(const std::string& method, const std::string& url, const std::string& body,
             const std::function<bool(std::string_view)>& sink);
    std::u16string decode(const std::string& bytes) const;

    fdts fhead;
    fdts fcookie;
    std::u16string turnhead;
    uint32_t fconnect = 0, fsend = 0, freceive = 0;
    std::vector<std::string> fconnectto;
};

}  // namespace velmo
