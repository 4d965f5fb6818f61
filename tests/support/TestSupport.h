// Shared helpers of the test executables: the corpus folder, oracle commands
// run as child processes, and work isolated in a child with a time limit.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vpltest {

// Root of the source tree.
std::filesystem::path SourceDir();

// Folder of real-world PDFs: $CORPUS_DIR, else ../shared/corpus beside the
// project. Empty when that folder does not exist.
std::filesystem::path CorpusDir();

// Every *.pdf below the corpus folder (any case of the extension), sorted.
std::vector<std::filesystem::path> CorpusPdfs();

// Processor time of the calling thread, in seconds. The limits that guard
// against quadratic or endless work are measured with it: the corpus tests
// share the machine, and a busy machine stretches the wall clock, not the
// work.
double ThreadSeconds();

// True when an executable of that name is on PATH.
bool HaveTool(const std::string& name);

struct CommandResult {
    int exitCode = -1;       // exit status, or -1 when killed or not started
    bool timedOut = false;
    std::string out;         // standard output
    std::string err;         // standard error
};

// Runs argv[0] (looked up on PATH) with the arguments; standard input is
// `input` (empty: /dev/null). The child is killed after timeoutSeconds.
CommandResult RunCommand(const std::vector<std::string>& argv, double timeoutSeconds = 120,
                         const std::string& input = std::string());

enum class ChildOutcome { Ok, Failed, Crashed, TimedOut };

struct ChildResult {
    ChildOutcome outcome = ChildOutcome::Crashed;
    int exitCode = -1;
    std::string report;      // what the child wrote into its report string
};

// Runs fn in a forked child so that a crash or hang of the code under test
// is caught per input file. fn returns 0 for success and fills `report`; a
// sanitizer report or a signal gives Crashed, any other status Failed.
ChildResult RunIsolated(const std::function<int(std::string& report)>& fn,
                        double timeoutSeconds);

// RunIsolated over the items 0 .. count-1 with fewer processes: one forked
// child works through up to itemsPerChild items in turn (0: all of them),
// each with its own time limit. When an item crashes or hangs, the child is
// ended, that item alone gets Crashed or TimedOut, and a new child goes on
// with the next item. fn(item, report) returns 0 for success; results come
// back by item. State an item leaves in the child's memory is seen by the
// items after it in the same child: fn starts each item from its own inputs.
std::vector<ChildResult> RunIsolatedBatch(
    size_t count, const std::function<int(size_t item, std::string& report)>& fn,
    double timeoutSeconds, size_t itemsPerChild = 64);

// The pages qpdf walks in a file (`qpdf --show-pages`): exitCode is qpdf's
// (0 clean, 3 with warnings, 2 refused), pages -1 unless it opened the file;
// needsPassword when it refused for the password.
struct QpdfPageList {
    int exitCode = -1;
    int pages = -1;
    bool needsPassword = false;
    std::vector<int> objects;  // object number of each page
};
QpdfPageList QpdfPages(const std::filesystem::path& file, const std::string& password = "");

// A PDF file of the given object bodies, numbered from 1, with a
// cross-reference table; object 1 is the catalog.
std::string PdfFromObjects(const std::vector<std::string>& bodies,
                           const std::string& version = "1.7");

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& data);

// A fresh folder below the system temporary folder, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Sets an environment variable (or unsets it, for no value) for the scope
// and puts the old state back.
class ScopedEnv {
public:
    ScopedEnv(const char* Name, const std::optional<std::string>& Value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace vpltest

// Skips the current test with a message when the corpus is absent.
#define VPL_REQUIRE_CORPUS()                                                        \
    do {                                                                            \
        if (::vpltest::CorpusDir().empty())                                         \
            GTEST_SKIP() << "corpus folder not found (set CORPUS_DIR)";             \
    } while (0)

// Skips the current test with a message when an oracle tool is missing.
#define VPL_REQUIRE_TOOL(name)                                                      \
    do {                                                                            \
        if (!::vpltest::HaveTool(name))                                             \
            GTEST_SKIP() << "tool '" << (name) << "' is not installed";             \
    } while (0)
