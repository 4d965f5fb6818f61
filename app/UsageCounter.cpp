#include "app/UsageCounter.h"

#include <unistd.h>

#include <thread>

#include "app/HttpClient.h"
#include "core/Unicode.h"
#include "platform/files/WideFile.h"
#include "platform/net/Http.h"

#ifndef VPL_COUNTER_HOST
#define VPL_COUNTER_HOST ""
#endif

namespace velmo {

std::u16string CounterHost() { return UTF8ToWide(VPL_COUNTER_HOST); }

std::string CounterUrl(const std::u16string& Host, const std::u16string& Name) {
    // The name is data: whatever would end or split the query is encoded.
    return "http://" + EncodeUrlBytes(WideToUTF8(Host)) + "/soft/Counter.asp?nm=" +
           PercentEncode(WideToUTF8(Name), "#%&+\"<>\\^`{|}");
}

void CounterThreadProc(const std::u16string& Host, const std::u16string& Name) {
    try {
        Tqenhttp http;
        http.setconnectouttime(3000);
        http.setsendouttime(3000);
        http.setaccectouttime(3000);
        // The answer is not used.
        (void)http.get(UTF8ToWide(CounterUrl(Host, Name)));
    } catch (...) {
    }
}

namespace {

std::u16string ExecutableName() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::u16string();
    std::string path(buf, size_t(n));
    const size_t slash = path.find_last_of('/');
    return FileSystemNameToWide(slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace

bool StartCounterAt(const std::u16string& Host, const std::u16string& Name) {
    if (Host.empty()) return false;
    InternetStartup();
    try {
        std::thread(CounterThreadProc, Host, Name).detach();
    } catch (...) {
        return false;
    }
    return true;
}

bool StartCounter() {
    const std::u16string host = CounterHost();
    if (host.empty()) return false;
    return StartCounterAt(host, ExecutableName());
}

}  // namespace velmo
