#include "app/HttpClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "core/Unicode.h"
#include "platform/files/Stream.h"
#include "platform/text/AnsiCodePage.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using namespace velmo;
using vpltest::LoopbackServer;
using vpltest::SeenRequest;

namespace {

std::u16string W(const std::string& s) { return UTF8ToWide(s); }

std::u16string Url(const LoopbackServer& s, const std::string& path) {
    return W("http://" + s.hostPort() + path);
}

// Custom header lines of a request: what the server saw beyond the ones
// every request carries.
std::vector<std::pair<std::string, std::string>> Custom(const SeenRequest& r) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& h : r.headers)
        if (h.first != "Host" && h.first != "User-Agent" && h.first != "Content-Length" &&
            h.first != "Content-Type")
            out.push_back(h);
    return out;
}

TEST(HttpClient, LoopbackServer) {
    const std::string cafe = "caf\xC3\xA9";  // UTF-8 of "café"
    LoopbackServer server([&](const SeenRequest& r) {
        if (r.target == "/cookies")
            return LoopbackServer::response(200, {"Set-Cookie: a=1; path=/", "Set-Cookie: b=2"},
                                            "ok");
        if (r.target == "/moved")
            return LoopbackServer::response(302, {"Location: /target"}, "moved");
        if (r.target == "/target")
            return LoopbackServer::response(200, {"X-Final: yes"}, "arrived");
        if (r.target == "/utf8") return LoopbackServer::response(200, {}, cafe);
        if (r.target == "/ansi") return LoopbackServer::response(200, {}, "caf\xE9");
        if (r.target == "/empty") return LoopbackServer::response(200, {}, "");
        if (r.method == "POST") return LoopbackServer::response(200, {}, "got:" + r.body);
        return LoopbackServer::response(200, {}, "plain");
    });

    Tqenhttp http;
    // Header lines merge by name ignoring case; the first spelling stays.
    http.addheads(u"A: 1\r\nb:2");
    ASSERT_EQ(http.heads().size(), 2u);
    EXPECT_EQ(http.heads()[0].text, u" 1");
    http.addheads(u"a:3");
    http.addheads(u"no colon here");
    ASSERT_EQ(http.heads().size(), 2u);
    EXPECT_EQ(http.heads()[0].title, u"A");
    EXPECT_EQ(http.heads()[0].text, u"3");

    http.addcookies(u"x=1;y=2");
    http.addcookies(u"X=3");
    EXPECT_EQ(http.getcookies(), u"x=3;y=2");

    EXPECT_EQ(http.get(Url(server, "/plain")), u"plain");
    auto seen = server.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].header("User-Agent"), "qennethttp");
    using H = std::pair<std::string, std::string>;
    EXPECT_EQ(Custom(seen[0]), (std::vector<H>{{"A", "3"}, {"b", "2"}, {"Cookie", "x=3;y=2"}}));
    EXPECT_NE(http.getturnhead().find(u"HTTP/1.1 200"), std::u16string::npos);

    // With cookies alone the block starts with an empty line, which is not
    // sent; a header with an empty value is sent as it is.
    http.clearheads();
    http.addheads(u"X-Empty:");
    EXPECT_EQ(http.get(Url(server, "/plain")), u"plain");
    EXPECT_EQ(Custom(server.requests().back()), (std::vector<H>{{"X-Empty", ""}, {"Cookie", "x=3;y=2"}}));
    http.clearheads();
    EXPECT_EQ(http.get(Url(server, "/plain")), u"plain");
    EXPECT_EQ(Custom(server.requests().back()), (std::vector<H>{{"Cookie", "x=3;y=2"}}));

    // Two Set-Cookie lines: every piece, attributes included, joins the jar.
    http.clearheads();
    http.clearcookies();
    EXPECT_EQ(http.get(Url(server, "/cookies")), u"ok");
    EXPECT_EQ(http.getcookies(), u" a=1; path=/; b=2");
    const std::u16string head = http.getturnhead();
    EXPECT_EQ(head.substr(0, 15), u"HTTP/1.1 200 St");
    EXPECT_NE(head.find(u"Set-Cookie: b=2\r\n"), std::u16string::npos);
    EXPECT_TRUE(head.ends_with(u"\r\n"));
    EXPECT_FALSE(head.ends_with(u"\r\n\r\n"));

    // Redirects come back as they are unless following is allowed; the
    // headers are those of the last answer only.
    http.clearcookies();
    EXPECT_EQ(http.get(Url(server, "/moved")), u"moved");
    EXPECT_NE(http.getturnhead().find(u"302"), std::u16string::npos);
    http.cantiaozhuan = true;
    EXPECT_EQ(http.get(Url(server, "/moved")), u"arrived");
    EXPECT_EQ(http.getturnhead().find(u"302"), std::u16string::npos);
    EXPECT_NE(http.getturnhead().find(u"X-Final: yes"), std::u16string::npos);
    http.cantiaozhuan = false;

    // Bodies decode per flag.
    EXPECT_EQ(http.get(Url(server, "/ansi")), u"caf\u00E9");
    EXPECT_EQ(http.get(Url(server, "/utf8")), u"caf\u00C3\u00A9");
    http.htmlutf8 = true;
    EXPECT_EQ(http.get(Url(server, "/utf8")), u"caf\u00E9");
    TMemoryStream stm;
    stm.WriteBuffer(std::string_view("pre"));
    http.get(Url(server, "/utf8"), stm);
    EXPECT_EQ(stm.Bytes(), "pre" + cafe);

    // POST goes to port 80 (or 443) whatever the address says; the test
    // sends that port to the loopback server.
    http.setconnectto({"post.test:80:127.0.0.1:" + std::to_string(server.port())});
    http.postdatautf8 = true;
    EXPECT_EQ(http.post(u"http://post.test:8080/a/b.asp?k=v", u"v=caf\u00E9"), u"got:v=caf\u00E9");
    seen = server.requests();
    EXPECT_EQ(seen.back().method, "POST");
    EXPECT_EQ(seen.back().target, "/a/b.asp?k=v");
    EXPECT_EQ(seen.back().body, "v=" + cafe);
    http.postdatautf8 = false;
    http.htmlutf8 = false;
    EXPECT_EQ(http.post(u"http://post.test/form", u"v=caf\u00E9"), u"got:v=caf\u00E9");
    EXPECT_EQ(server.requests().back().body, "v=caf\xE9");
    EXPECT_EQ(server.requests().back().target, "/form");
    TMemoryStream posted;
    http.post(u"http://post.test/form", u"z", posted);
    EXPECT_EQ(posted.Bytes(), "got:z");

    // getfile: an empty body gives an empty file; a missing folder raises.
    vpltest::TempDir dir;
    const fs::path saved = dir / "saved.bin";
    vpltest::WriteFile(saved, "old content");
    http.getfile(Url(server, "/empty"), W(saved.string()));
    EXPECT_TRUE(fs::exists(saved));
    EXPECT_EQ(fs::file_size(saved), 0u);
    http.getfile(Url(server, "/plain"), W(saved.string()));
    EXPECT_EQ(vpltest::ReadFile(saved), "plain");
    EXPECT_THROW(http.getfile(Url(server, "/plain"), W((dir / "no/such/file").string())),
                 EStreamError);

    // The made-up address.
    http.clearheads();
    http.weizhaoIP(FormatForwardedAddress(7, 0, 253, 101));
    ASSERT_EQ(http.heads().size(), 1u);
    EXPECT_EQ(http.heads()[0].title + u":" + http.heads()[0].text,
              u"X-Forwarded-For:007.000.253.101");
    http.clearheads();
    http.weizhaoIP(u"");
    const std::string made(http.heads()[0].text.begin(), http.heads()[0].text.end());
    std::smatch m;
    ASSERT_TRUE(std::regex_match(made, m, std::regex(R"((\d{3})\.(\d{3})\.(\d{3})\.(\d{3}))")))
        << made;
    EXPECT_GE(std::stoi(m[1]), 1);
    EXPECT_LE(std::stoi(m[1]), 165);
    for (int i = 2; i <= 4; ++i) EXPECT_LE(std::stoi(m[i]), 253);
}

TEST(HttpClient, PostAddressSplit) {
    struct Case {
        const char16_t* url;
        bool secure;
        int port;
        const char16_t* host;
        const char16_t* path;
        const char16_t* document;
        const char16_t* params;
        const char16_t* object;
    };
    const Case cases[] = {
        {u"https://h.example:8443/a/b.asp?k=v", true, 443, u"h.example", u"/a/", u"b.asp", u"k=v",
         u"/a/b.asp?"},
        {u"HTTPS://h/x", true, 443, u"h", u"/", u"x", u"", u"/x"},
        {u"http://h:81/dir/", false, 80, u"h", u"/dir/", u"", u"", u"/dir/"},
        {u"http://h", false, 80, u"h", u"", u"", u"", u""},
        {u"http://h/p?a=/b", false, 80, u"h", u"/", u"p", u"a=/b", u"/p?"},
    };
    for (const auto& c : cases) {
        const TPostTarget t = SplitPostUrl(c.url);
        EXPECT_EQ(t.Secure, c.secure);
        EXPECT_EQ(t.ConnectPort, c.port);
        EXPECT_EQ(t.Host, c.host);
        EXPECT_EQ(t.Path, c.path);
        EXPECT_EQ(t.Document, c.document);
        EXPECT_EQ(t.Parameters, c.params);
        EXPECT_EQ(t.Object, c.object);
    }
}

TEST(HttpClient, TimeOutsAndFailures) {
    LoopbackServer silent([](const SeenRequest&) { return std::string(); });
    const int refused = vpltest::UnusedLoopbackPort();

    Tqenhttp http;
    http.setconnectouttime(300);
    http.setsendouttime(300);
    http.setaccectouttime(300);
    // A first answer fills the headers and the jar; failures leave both.
    LoopbackServer answering([](const SeenRequest&) {
        return LoopbackServer::response(200, {"Set-Cookie: k=v"}, "first");
    });
    ASSERT_EQ(http.get(W("http://" + answering.hostPort() + "/")), u"first");
    const std::u16string head = http.getturnhead();
    ASSERT_NE(head.find(u"Set-Cookie: k=v"), std::u16string::npos);
    ASSERT_EQ(http.getcookies(), u" k=v");
    vpltest::TempDir dir;
    for (const std::string hostPort : {"127.0.0.1:" + std::to_string(refused), silent.hostPort()}) {
        const std::u16string url = W("http://" + hostPort + "/x");
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(http.get(url), u"") << hostPort;
        TMemoryStream stm;
        http.get(url, stm);
        EXPECT_EQ(stm.Size(), 0);
        const fs::path file = dir / "f.bin";
        vpltest::WriteFile(file, "previous");
        http.getfile(url, W(file.string()));
        EXPECT_EQ(fs::file_size(file), 0u);
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_LT(took, 2.0 * 3) << hostPort;  // three requests, each within 2 s
        EXPECT_EQ(http.getturnhead(), head);
        EXPECT_EQ(http.getcookies(), u" k=v");
    }
    // A single silent request ends within 2 s.
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(http.get(W("http://" + silent.hostPort() + "/y")), u"");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 2.0);
    // A POST that nobody answers returns empty as well.
    http.setconnectto({"post.test:80:127.0.0.1:" + std::to_string(silent.port())});
    EXPECT_EQ(http.post(u"http://post.test/p", u"data"), u"");
    // The receive time-out counts silence: an answer after 100 ms arrives,
    // one after 900 ms does not.
    LoopbackServer slow([](const SeenRequest& r) {
        std::this_thread::sleep_for(std::chrono::milliseconds(r.target == "/late" ? 900 : 100));
        return LoopbackServer::response(200, {}, "slow");
    });
    EXPECT_EQ(http.get(W("http://" + slow.hostPort() + "/soon")), u"slow");
    EXPECT_EQ(http.get(W("http://" + slow.hostPort() + "/late")), u"");
    // A URL that cannot even be parsed.
    EXPECT_EQ(http.get(u"not a url"), u"");
    EXPECT_EQ(http.get(u""), u"");
}

}  // namespace
