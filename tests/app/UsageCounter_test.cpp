#include "app/UsageCounter.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/LoopbackServer.h"

using namespace velmo;
using vpltest::LoopbackServer;
using vpltest::SeenRequest;

namespace {

size_t ThreadCount() {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)e;
        ++n;
    }
    return n;
}

TEST(UsageCounter, OffAndLoopback) {
    // Test builds carry no statistics host: nothing starts, nothing is sent.
    EXPECT_EQ(CounterHost(), u"");
    const size_t before = ThreadCount();
    EXPECT_FALSE(StartCounter());
    // Threads of earlier tests may end meanwhile; none may begin.
    EXPECT_LE(ThreadCount(), before);
    EXPECT_FALSE(StartCounterAt(u"", u"velmo convert"));

    LoopbackServer server(
        [](const SeenRequest&) { return LoopbackServer::response(200, {}, "1"); });
    const std::string host = server.hostPort();
    ASSERT_TRUE(StartCounterAt(std::u16string(host.begin(), host.end()), u"velmo convert"));
    ASSERT_TRUE(server.waitForRequests(1, 10));
    // Give a stray second request time to arrive.
    EXPECT_FALSE(server.waitForRequests(2, 0.5));
    const auto seen = server.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].target, "/soft/Counter.asp?nm=velmo%20convert");
    EXPECT_EQ(seen[0].header("User-Agent"), "qennethttp");
    for (const auto& h : seen[0].headers)
        EXPECT_TRUE(h.first == "Host" || h.first == "User-Agent") << h.first << ": " << h.second;
}

TEST(UsageCounter, NameEncoding) {
    struct Case {
        const char16_t* name;
        const char* url;
    };
    const Case cases[] = {
        {u"velmo-convert", "http://h/soft/Counter.asp?nm=velmo-convert"},
        {u"a b.exe", "http://h/soft/Counter.asp?nm=a%20b.exe"},
        {u"\u8F6C\u6362", "http://h/soft/Counter.asp?nm=%E8%BD%AC%E6%8D%A2"},
        {u"a&b=c#d%e+f", "http://h/soft/Counter.asp?nm=a%26b=c%23d%25e%2Bf"},
        {u"(x)_~!*'", "http://h/soft/Counter.asp?nm=(x)_~!*'"},
    };
    for (const auto& c : cases) EXPECT_EQ(CounterUrl(u"h", c.name), c.url);
}

}  // namespace
