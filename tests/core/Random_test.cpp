#include "core/Random.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <string>

using namespace velmo;

TEST(Random, BelowStaysInRangeAndCoversIt) {
    InitRandomGenerator();
    EXPECT_EQ(RandomBelow(0), 0u);
    EXPECT_EQ(RandomBelow(1), 0u);
    std::array<int, 6> counts{};
    for (int i = 0; i < 60000; ++i) {
        uint32_t v = RandomBelow(6);
        ASSERT_LT(v, 6u);
        ++counts[v];
    }
    for (int c : counts)  // 10000 expected each; 6 sigma is about 550
        EXPECT_NEAR(c, 10000, 600);
    for (int i = 0; i < 1000; ++i)
        ASSERT_LT(RandomBelow(0x7FFFFFFF), 0x7FFFFFFFu);
    for (int i = 0; i < 1000; ++i)
        ASSERT_LT(RandomBelow(0x80000001u), 0x80000001u);
}

// Processes started at the same moment must not share a sequence: the
// generator does not depend on a clock.
TEST(Random, ForkedProcessesDrawDifferentBytes) {
    int fds[2][2];
    pid_t pids[2];
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(pipe(fds[k]), 0);
        pids[k] = fork();
        ASSERT_GE(pids[k], 0);
        if (pids[k] == 0) {
            std::string b = RandomBytes(32);
            ssize_t w = write(fds[k][1], b.data(), b.size());
            _exit(w == 32 ? 0 : 1);
        }
        close(fds[k][1]);
    }
    std::string got[2];
    for (int k = 0; k < 2; ++k) {
        char buf[32];
        ASSERT_EQ(read(fds[k][0], buf, 32), 32);
        got[k].assign(buf, 32);
        close(fds[k][0]);
        int status = 0;
        waitpid(pids[k], &status, 0);
    }
    EXPECT_NE(got[0], got[1]);
    EXPECT_NE(RandomBytes(32), RandomBytes(32));
    EXPECT_EQ(RandomBytes(0), "");
}
