#include "core/Random.h"

#include <openssl/rand.h>
#include <sys/random.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace velmo {

void InitRandomGenerator() {
    unsigned char b;
    RandomBytes(&b, 1);
}

void RandomBytes(void* Buffer, size_t Count) {
    auto* p = static_cast<unsigned char*>(Buffer);
    while (Count > 0) {
        int n = int(Count > size_t(INT_MAX) ? INT_MAX : Count);
        if (RAND_bytes(p, n) != 1) {
            // OpenSSL could not seed; read the kernel's generator directly.
            // Handing out predictable bytes instead is never acceptable.
            ssize_t r = getrandom(p, size_t(n), 0);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0) {
                std::fputs("velmo: no source of random bytes\n", stderr);
                std::abort();
            }
            n = int(r);
        }
        p += n;
        Count -= size_t(n);
    }
}

std::string RandomBytes(size_t Count) {
    std::string s(Count, '\0');
    if (Count > 0)
        RandomBytes(s.data(), Count);
    return s;
}

uint32_t RandomBelow(uint32_t Bound) {
    if (Bound <= 1)
        return 0;
    // Rejection sampling: values below 2^32 mod Bound would make the small
    // remainders more likely, so they are drawn again.
    const uint32_t threshold = uint32_t(0u - Bound) % Bound;
    for (;;) {
        uint32_t v;
        RandomBytes(&v, sizeof v);
        if (v >= threshold)
            return v % Bound;
    }
}

}  // namespace velmo
