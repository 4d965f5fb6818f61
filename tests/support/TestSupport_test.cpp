// The harness itself: corpus tests rely on it to survive crashing and
// hanging code, so its time-outs and crash detection are checked here.
#include "tests/support/TestSupport.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

using namespace vpltest;

TEST(TestSupport, RunCommandCapturesOutputAndStatus) {
    CommandResult r = RunCommand({"sh", "-c", "cat; echo err >&2; exit 3"}, 10, "abc");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.out, "abc");
    EXPECT_EQ(r.err, "err\n");
}

TEST(TestSupport, RunCommandKillsOnTimeout) {
    CommandResult r = RunCommand({"sleep", "30"}, 0.5);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.exitCode, -1);
}

TEST(TestSupport, RunCommandMissingProgramGives127) {
    CommandResult r = RunCommand({"vpl-no-such-program-xyz"}, 5);
    EXPECT_EQ(r.exitCode, 127);
}

TEST(TestSupport, RunIsolatedReportsEachOutcome) {
    ChildResult ok = RunIsolated([](std::string& rep) { rep = "fine"; return 0; }, 10);
    EXPECT_EQ(ok.outcome, ChildOutcome::Ok);
    EXPECT_EQ(ok.report, "fine");

    ChildResult failed = RunIsolated([](std::string&) { return 4; }, 10);
    EXPECT_EQ(failed.outcome, ChildOutcome::Failed);
    EXPECT_EQ(failed.exitCode, 4);

    ChildResult crashed = RunIsolated([](std::string&) { std::raise(SIGSEGV); return 0; }, 10);
    EXPECT_EQ(crashed.outcome, ChildOutcome::Crashed);

    ChildResult hung = RunIsolated(
        [](std::string&) {
            std::this_thread::sleep_for(std::chrono::seconds(30));
            return 0;
        },
        0.5);
    EXPECT_EQ(hung.outcome, ChildOutcome::TimedOut);
}

// A batch child that crashes or hangs on one item blames that item alone and
// the items after it still run, in as few children as the limit allows.
TEST(TestSupport, RunIsolatedBatchBlamesOnlyTheFailingItem) {
    std::vector<ChildResult> r = RunIsolatedBatch(
        7,
        [](size_t item, std::string& rep) {
            rep = "item " + std::to_string(item) + " in " + std::to_string(::getpid());
            if (item == 2) std::raise(SIGSEGV);
            if (item == 4) std::this_thread::sleep_for(std::chrono::seconds(30));
            if (item == 5) return 1;  // kept apart from the sanitizers' status
            if (item == 6) throw std::runtime_error("thrown");
            return 0;
        },
        3);  // room for a sanitizer's report of the crash
    ASSERT_EQ(r.size(), 7u);
    const ChildOutcome want[] = {ChildOutcome::Ok,    ChildOutcome::Ok,       ChildOutcome::Crashed,
                                 ChildOutcome::Ok,    ChildOutcome::TimedOut, ChildOutcome::Failed,
                                 ChildOutcome::Failed};
    for (size_t i = 0; i < r.size(); ++i) EXPECT_EQ(r[i].outcome, want[i]) << "item " << i;
    EXPECT_EQ(r[0].report.rfind("item 0 in ", 0), 0u);
    // Items 0 and 1 share a child; item 3 runs in a new one.
    EXPECT_EQ(r[0].report.substr(7), r[1].report.substr(7));
    EXPECT_NE(r[1].report.substr(7), r[3].report.substr(7));
    EXPECT_EQ(r[5].exitCode, 2);
    EXPECT_EQ(r[6].exitCode, 3);
    EXPECT_NE(r[6].report.find("thrown"), std::string::npos);

    // A sanitizer's exit status ends the child and counts as a crash.
    std::vector<ChildResult> s = RunIsolatedBatch(
        3,
        [](size_t item, std::string&) {
            if (item == 1) ::_exit(1);
            return 0;
        },
        10);
    EXPECT_EQ(s[0].outcome, ChildOutcome::Ok);
    EXPECT_EQ(s[1].outcome, ChildOutcome::Crashed);
    EXPECT_EQ(s[2].outcome, ChildOutcome::Ok);
}

TEST(TestSupport, RunIsolatedBatchStartsANewChildAfterTheLimit) {
    std::vector<ChildResult> r = RunIsolatedBatch(
        5,
        [](size_t, std::string& rep) {
            rep = std::to_string(::getpid());
            return 0;
        },
        10, 2);
    ASSERT_EQ(r.size(), 5u);
    for (const ChildResult& c : r) EXPECT_EQ(c.outcome, ChildOutcome::Ok);
    EXPECT_EQ(r[0].report, r[1].report);
    EXPECT_NE(r[1].report, r[2].report);
    EXPECT_EQ(r[2].report, r[3].report);
    EXPECT_NE(r[3].report, r[4].report);
    EXPECT_TRUE(RunIsolatedBatch(
                    0, [](size_t, std::string&) { return 0; }, 1)
                    .empty());
}

TEST(TestSupport, TempDirIsRemoved) {
    std::filesystem::path p;
    {
        TempDir dir;
        p = dir.path();
        WriteFile(dir / "a.bin", std::string("x\0y", 3));
        EXPECT_EQ(ReadFile(dir / "a.bin"), std::string("x\0y", 3));
    }
    EXPECT_FALSE(std::filesystem::exists(p));
}
