#include "app/HttpClient.h"

#include <cstdio>
#include <mutex>
#include <random>

#include "app/Utilities.h"
#include "core/Unicode.h"
#include "platform/files/FileStream.h"
#include "platform/net/Http.h"
#include "platform/text/AnsiCodePage.h"

namespace velmo {

namespace {

bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

void Merge(fdts& list, const std::u16string& name, const std::u16string& value) {
    for (auto& e : list)
        if (SameName(e.title, name)) {
            e.text = value;
            return;
        }
    list.push_back({name, value});
}

// Leading and trailing blanks and control characters go.
std::u16string Trim(std::u16string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && s[a] <= u' ') ++a;
    while (b > a && s[b - 1] <= u' ') --b;
    return std::u16string(s.substr(a, b - a));
}

// The process-wide generator of made-up addresses.
int RandomBelow(int n) {
    static std::mutex m;
    static std::mt19937 gen{std::random_device{}()};
    std::lock_guard<std::mutex> lock(m);
    return std::uniform_int_distribution<int>(0, n - 1)(gen);
}

}  // namespace

std::u16string FormatForwardedAddress(int A, int B, int C, int D) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3d.%.3d.%.3d.%.3d", A, B, C, D);
    std::u16string r;
    for (const char* p = buf; *p; ++p) r += char16_t(*p);
    return r;
}

TPostTarget SplitPostUrl(const std::u16string& Url) {
    TPostTarget t;
    std::u16string_view rest = Url;
    const size_t scheme = rest.find(u"://");
    if (scheme != std::u16string_view::npos) {
        t.Protocol = std::u16string(rest.substr(0, scheme));
        rest.remove_prefix(scheme + 3);
    }
    const size_t q = rest.find(u'?');
    const std::u16string_view beforeQuery = rest.substr(0, q);
    if (q != std::u16string_view::npos) t.Parameters = std::u16string(rest.substr(q + 1));
    const size_t slash = beforeQuery.find(u'/');
    std::u16string_view hostPort = beforeQuery.substr(0, slash);
    const size_t colon = hostPort.find(u':');
    t.Host = std::u16string(hostPort.substr(0, colon));
    if (colon != std::u16string_view::npos) t.Port = std::u16string(hostPort.substr(colon + 1));
    if (slash != std::u16string_view::npos) {
        const std::u16string_view pathDoc = beforeQuery.substr(slash);
        const size_t last = pathDoc.rfind(u'/');
        t.Path = std::u16string(pathDoc.substr(0, last + 1));
        t.Document = std::u16string(pathDoc.substr(last + 1));
    }
    t.Secure = SameName(t.Protocol, u"https");
    t.ConnectPort = t.Secure ? 443 : 80;
    t.Object = t.Path + t.Document;
    if (Url.find(u'?') != std::u16string::npos) t.Object += u"?";
    return t;
}

Tqenhttp::Tqenhttp() { InternetStartup(); }

bool Tqenhttp::setconnectouttime(uint32_t tm) {
    fconnect = tm;
    return true;
}
bool Tqenhttp::setsendouttime(uint32_t tm) {
    fsend = tm;
    return true;
}
bool Tqenhttp::setaccectouttime(uint32_t tm) {
    freceive = tm;
    return true;
}

void Tqenhttp::addheads(const std::u16string& hds) {
    for (const auto& piece : SplitByChar(hds, u'\r')) {
        const std::u16string line = Trim(piece);
        const size_t p = line.find(u':');
        if (p == std::u16string::npos) continue;
        Merge(fhead, line.substr(0, p), line.substr(p + 1));
    }
}

void Tqenhttp::mergecookies(const std::u16string& cks) {
    for (const auto& piece : SplitByChar(cks, u';')) {
        const size_t p = piece.find(u'=');
        if (p == std::u16string::npos)
            Merge(fcookie, std::u16string(), piece);
        else
            Merge(fcookie, piece.substr(0, p), piece.substr(p + 1));
    }
}

std::u16string Tqenhttp::getcookies() const {
    std::u16string r;
    for (size_t i = 0; i < fcookie.size(); ++i) {
        if (i) r += u';';
        r += fcookie[i].title + u"=" + fcookie[i].text;
    }
    return r;
}

std::u16string Tqenhttp::getheads() const {
    std::u16string r;
    for (size_t i = 0; i < fhead.size(); ++i) {
        if (i) r += u"\r\n";
        r += fhead[i].title + u":" + fhead[i].text;
    }
    return r;
}

void Tqenhttp::weizhaoIP(std::u16string ip) {
    if (ip.empty())
        ip = FormatForwardedAddress(1 + RandomBelow(165), RandomBelow(254), RandomBelow(254),
                                    RandomBelow(254));
    addheads(u"X-Forwarded-For:" + ip);
}

std::vector<std::string> Tqenhttp::headerblock() const {
    std::u16string block = getheads();
    const std::u16string cookies = getcookies();
    if (!cookies.empty()) block += u"\r\nCookie:" + cookies;
    // Header text travels in the ANSI code page, as the platform sends it.
    return {WideToAnsi(block)};
}

void Tqenhttp::takeheaders(const std::string& raw) {
    turnhead = AnsiToWide(raw);
    std::u16string result, value, rest = turnhead;
    while (rest.find(u"Set-Cookie:") != std::u16string::npos) {
        std::u16string next;
        TextBetween(rest, u"Set-Cookie:", u"\r", value, next);
        rest = std::move(next);
        if (!result.empty()) result += u';';
        result += value;
    }
    if (!result.empty()) mergecookies(result);
}

bool Tqenhttp::run(const std::string& method, const std::string& url, const std::string& body,
                   const std::function<bool(std::string_view)>& sink) {
    THttpRequest r;
    r.Method = method;
    r.Url = url;
    r.UserAgent = "qennethttp";
    r.HeaderLines = headerblock();
    r.Body = body;
    r.FollowRedirects = cantiaozhuan;
    r.ConnectTimeoutMs = fconnect;
    r.SendTimeoutMs = fsend;
    r.ReceiveTimeoutMs = freceive;
    r.ConnectTo = fconnectto;
    const THttpResponse res = HttpSend(r, sink);
    if (!res.Completed) return false;
    takeheaders(res.RawHeaders);
    return true;
}

std::u16string Tqenhttp::decode(const std::string& bytes) const {
    return htmlutf8 ? UTF8ToWide(bytes) : AnsiToWide(bytes);
}

namespace {

std::string GetUrl(const std::u16string& url) { return EncodeUrlBytes(WideToUTF8(url)); }

std::function<bool(std::string_view)> MemorySink(std::string& out) {
    return [&out](std::string_view piece) {
        if (out.size() + piece.size() > Tqenhttp::MaxMemoryBody) return false;
        out.append(piece);
        return true;
    };
}

}  // namespace

std::u16string Tqenhttp::get(const std::u16string& url) {
    std::string body;
    if (!run("GET", GetUrl(url), std::string(), MemorySink(body))) return std::u16string();
    return decode(body);
}

void Tqenhttp::get(const std::u16string& url, TStream& stm) {
    std::string body;
    if (run("GET", GetUrl(url), std::string(), MemorySink(body))) stm.WriteBuffer(body);
}

void Tqenhttp::getfile(const std::u16string& url, const std::u16string& svfilename) {
    WriteFileReplacing(svfilename, [&](TStream& file) {
        bool writeFailed = false;
        const bool ok = run("GET", GetUrl(url), std::string(), [&](std::string_view piece) {
            if (file.Write(piece.data(), int64_t(piece.size())) != int64_t(piece.size())) {
                writeFailed = true;
                return false;
            }
            return true;
        });
        if (writeFailed) throw EWriteError("Stream write error");
        if (!ok) file.SetSize(0);
    });
}

namespace {

std::string PostUrl(const TPostTarget& t) {
    std::u16string u = (t.Secure ? u"https://" : u"http://") + t.Host + u":" +
                       (t.Secure ? u"443" : u"80") + t.Object + t.Parameters;
    return EncodeUrlBytes(WideToUTF8(u));
}

}  // namespace

std::u16string Tqenhttp::post(const std::u16string& url, const std::u16string& postdata) {
    std::string body;
    const std::string data = postdatautf8 ? WideToUTF8(postdata) : WideToAnsi(postdata);
    if (!run("POST", PostUrl(SplitPostUrl(url)), data, MemorySink(body))) return std::u16string();
    return decode(body);
}

void Tqenhttp::post(const std::u16string& url, const std::u16string& postdata, TStream& stm) {
    std::string body;
    const std::string data = postdatautf8 ? WideToUTF8(postdata) : WideToAnsi(postdata);
    if (run("POST", PostUrl(SplitPostUrl(url)), data, MemorySink(body))) stm.WriteBuffer(body);
}

}  // namespace velmo
