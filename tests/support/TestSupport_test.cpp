// The harness itself: corpus tests rely on it to survive crashing and
// hanging code, so its time-outs and crash detection are checked here.
#include "tests/support/TestSupport.h"

#include <csignal>
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
