#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <thread>

#include "app/Utilities.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using namespace velmo;

namespace {

std::u16string W(const std::string& s) { return std::u16string(s.begin(), s.end()); }
std::u16string W(const fs::path& p) { return W(p.string()); }

void Touch(const fs::path& p, const std::string& data = "x") { vpltest::WriteFile(p, data); }

TEST(AppUtilities, Tables) {
    struct SizeCase {
        uint64_t size;
        const char16_t* text;
    };
    const SizeCase sizes[] = {
        {0, u"0 B"},
        {1024, u"1024 B"},
        {1025, u"1.00 KB"},
        {1048576, u"1024.00 KB"},
        {1048577, u"1.00 MB"},
        {1073741824, u"1024.00 MB"},
        {1073741825, u"1.00 GB"},
        {uint64_t(5) << 30, u"5.00 GB"},  // beyond 32 bits
        {uint64_t(4) << 30, u"4.00 GB"},  // exactly 2^32: not 0 B
        {1536, u"1.50 KB"},
    };
    for (const auto& c : sizes) EXPECT_EQ(FormatFileSize(c.size), c.text) << c.size;

    struct SplitCase {
        const char16_t* text;
        char16_t ch;
        std::vector<std::u16string> parts;
    };
    const SplitCase splits[] = {
        {u";a;;b;", u';', {u"", u"a", u"", u"b", u""}},
        {u"", u';', {}},
        {u"abc", u';', {u"abc"}},
        {u";", u';', {u"", u""}},
        {u" a ; b ", u';', {u" a ", u" b "}},
    };
    for (const auto& c : splits) {
        EXPECT_EQ(SplitByChar(c.text, c.ch), c.parts);
        EXPECT_EQ(FieldCount(c.text, c.ch),
                  int(std::u16string_view(c.text).empty() ? 1 : c.parts.size()));
    }

    struct BetweenCase {
        const char16_t* s;
        const char16_t* start;
        const char16_t* end;
        const char16_t* between;
        const char16_t* rest;
    };
    const BetweenCase betweens[] = {
        {u"x: a\rrest", u":", u"\r", u" a", u"rest"},
        {u"x a\rrest", u":", u"\r", u"", u"x a\rrest"},
        {u"k=v", u"=", u"\r", u"", u"v"},    // no end mark: all after start
        {u"<<ab", u"<<", u">>", u"", u"b"},  // two-character end mark missing
        {u"[a][b]", u"[", u"]", u"a", u"[b]"},
        {u"abc", u"", u"c", u"", u"abc"},  // empty start mark never matches
    };
    for (const auto& c : betweens) {
        std::u16string between = u"old", rest = u"old";
        TextBetween(c.s, c.start, c.end, between, rest);
        EXPECT_EQ(between, c.between);
        EXPECT_EQ(rest, c.rest);
    }

    struct ExtCase {
        const char16_t* name;
        const char16_t* ext;
        const char16_t* result;
    };
    const ExtCase exts[] = {
        {u"report", u".pdf", u"report.pdf"},
        {u"REPORT.PDF", u".pdf", u"REPORT.PDF"},
        {u"my.pdf.old", u".pdf", u"my.pdf.old"},
        {u"out", u".PDF", u"out.PDF"},
        {u"", u".pdf", u".pdf"},
    };
    for (const auto& c : exts) EXPECT_EQ(AppendExtIfMissing(c.name, c.ext), c.result);

    struct RoundCase {
        double x;
        int64_t r;
    };
    const RoundCase rounds[] = {
        {2.5, 3},
        {2.4999, 2},
        {-2.5, -2},
        {-2.7, -2},
        {0.0, 0},
        {1.5, 2},
        {-0.4, 0},
        {1e300, std::numeric_limits<int64_t>::max()},
        {-1e300, std::numeric_limits<int64_t>::min()},
        {std::nan(""), 0},
    };
    for (const auto& c : rounds) EXPECT_EQ(RoundHalfUp(c.x), c.r) << c.x;

    struct ReplaceCase {
        const char16_t* s;
        const char16_t* from;
        const char16_t* to;
        bool all, ignoreCase;
        const char16_t* result;
    };
    const ReplaceCase replaces[] = {
        {u"a-b-c", u"-", u"+", false, false, u"a+b-c"},
        {u"a-b-c", u"-", u"+", true, false, u"a+b+c"},
        {u"aXbxc", u"x", u"_", true, true, u"a_b_c"},
        {u"aXbxc", u"x", u"_", true, false, u"aXb_c"},
        {u"aa", u"a", u"aa", true, false, u"aaaa"},  // inserted text never re-scanned
        {u"abc", u"", u"z", true, false, u"abc"},
        {u"abc", u"abc", u"", true, false, u""},
    };
    for (const auto& c : replaces)
        EXPECT_EQ(StrReplace(c.s, c.from, c.to, c.all, c.ignoreCase), c.result);
}

TEST(AppUtilities, MakeFolder) {
    vpltest::TempDir dir;
    try {
        MakeFolder(u"");
        FAIL() << "an empty path must raise";
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "Unable to create directory");
        EXPECT_EQ(e.ErrorCode, 3);
    }
    EXPECT_TRUE(MakeFolder(u"/"));
    EXPECT_TRUE(MakeFolder(W(dir.path())));  // existing
    EXPECT_TRUE(MakeFolder(W(dir / "a/b/c")));
    EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
    EXPECT_TRUE(MakeFolder(W(dir / "t") + u"/"));
    EXPECT_TRUE(fs::is_directory(dir / "t"));
    // Under a file nothing can be made, and nothing raises.
    Touch(dir / "file");
    EXPECT_FALSE(MakeFolder(W(dir / "file/sub")));
    EXPECT_FALSE(MakeFolder(W(dir / "file")));
    // Short names are folders like any other.
    const fs::path old = fs::current_path();
    fs::current_path(dir.path());
    EXPECT_TRUE(MakeFolder(u"q"));
    fs::current_path(old);
    EXPECT_TRUE(fs::is_directory(dir / "q"));
}

TEST(AppUtilities, ForEachFile) {
    vpltest::TempDir dir;
    for (const char* n : {"b.JPG", "a.jpg", "C.png", "d.txt", "noext", "e.jp"}) Touch(dir / n);
    fs::create_directory(dir / "x.jpg");
    Touch(dir / "x.jpg" / "inner.jpg");

    const std::u16string filter = u"*.JPG;*.png";
    std::vector<std::u16string> plain, slashed;
    auto collect = [](std::vector<std::u16string>& into) {
        return [&into](const std::u16string& name, bool isFolder, bool&) {
            EXPECT_FALSE(isFolder);
            into.push_back(name);
        };
    };
    EXPECT_EQ(ForEachFile(W(dir.path()), filter, collect(plain)), 4);
    EXPECT_EQ(ForEachFile(W(dir.path()) + u"/", filter, collect(slashed)), 4);
    const std::u16string base = W(dir.path());
    // Sorted with case folded; ".jp" is a substring of the filter, so it passes.
    const std::vector<std::u16string> want = {base + u"/a.jpg", base + u"/b.JPG", base + u"/C.png",
                                              base + u"/e.jp"};
    EXPECT_EQ(plain, want);
    EXPECT_EQ(slashed, want);

    std::vector<std::u16string> every;
    EXPECT_EQ(ForEachFile(base, u"*.*", collect(every)), 6);
    EXPECT_EQ(ForEachFile(base, u"*.*", nullptr), 6);

    int calls = 0;
    EXPECT_EQ(ForEachFile(base, filter,
                          [&](const std::u16string&, bool, bool& stop) {
                              if (++calls == 2) stop = true;
                          }),
              2);
    EXPECT_EQ(calls, 2);

    calls = 0;
    EXPECT_EQ(ForEachFile(base, filter,
                          [&](const std::u16string& name, bool, bool&) {
                              ++calls;
                              if (name.ends_with(u"b.JPG")) throw std::runtime_error("unreadable");
                          }),
              3);
    EXPECT_EQ(calls, 4);

    calls = 0;
    auto count = [&](const std::u16string&, bool, bool&) { ++calls; };
    EXPECT_EQ(ForEachFile(W(dir / "missing"), filter, count), 0);
    EXPECT_EQ(ForEachFile(u"", filter, count), 0);
    EXPECT_EQ(calls, 0);
}

TEST(AppUtilities, FileSizeOf) {
    vpltest::TempDir dir;
    EXPECT_EQ(FileSizeOf(W(dir / "missing")), 0u);
    EXPECT_EQ(FileSizeOf(u""), 0u);
    EXPECT_EQ(FileSizeOf(W(dir.path())), 0u);
    Touch(dir / "small.bin", "12345");
    EXPECT_EQ(FileSizeOf(W(dir / "small.bin")), 5u);
    EXPECT_EQ(FileSizeOf(W(dir / "*.bin")), 5u);
    const fs::path big = dir / "big.bin";
    { std::ofstream(big.string()); }
    fs::resize_file(big, uint64_t(5) << 30);  // sparse
    EXPECT_EQ(FileSizeOf(W(big)), uint64_t(5) << 30);
    EXPECT_EQ(FormatFileSize(FileSizeOf(W(big))), u"5.00 GB");
}

TEST(AppUtilities, PickFolderAndShell) {
    TFolderPicker old = SetFolderPicker(nullptr);
    EXPECT_THROW(PickFolder(), EAbort);
    SetFolderPicker([] { return std::optional<std::u16string>(); });
    EXPECT_THROW(PickFolder(), EAbort);
    SetFolderPicker([] { return std::optional<std::u16string>(u"/home/u/pics"); });
    EXPECT_EQ(PickFolder(), u"/home/u/pics");
    SetFolderPicker(old);

    std::vector<std::vector<std::string>> calls;
    std::vector<std::string> dirs;
    bool answer = true;
    TShellLauncher previous =
        SetShellLauncher([&](const std::vector<std::string>& argv, const std::string& wd) {
            calls.push_back(argv);
            dirs.push_back(wd);
            return answer;
        });
    EXPECT_TRUE(OpenWithShell(u"/usr/share/doc/velmo/README.md"));
    EXPECT_TRUE(OpenWithShell(u"https://example.org/a/b"));
    answer = false;
    EXPECT_FALSE(OpenWithShell(u"/x/y.pdf"));
    EXPECT_FALSE(OpenWithShell(u""));
    SetShellLauncher(previous);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], (std::vector<std::string>{"xdg-open", "/usr/share/doc/velmo/README.md"}));
    EXPECT_EQ(dirs[0], "/usr/share/doc/velmo");
    EXPECT_EQ(calls[1][1], "https://example.org/a/b");
    EXPECT_EQ(dirs[1], "");
}

// The default launcher starts xdg-open and returns at once, long before the
// program it started ends.
TEST(AppUtilities, OpenWithShellNeverWaits) {
    vpltest::TempDir dir;
    const fs::path marker = dir / "opened";
    vpltest::WriteFile(dir / "xdg-open",
                       "#!/bin/sh\nsleep 1\necho \"$1\" > '" + marker.string() + "'\n");
    fs::permissions(dir / "xdg-open", fs::perms::owner_all);
    const std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (dir.path().string() + ":" + oldPath).c_str(), 1);
    const auto t0 = std::chrono::steady_clock::now();
    const bool started = OpenWithShell(W(dir / "doc.txt"));
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_TRUE(started);
    EXPECT_LT(took, 0.8);
    for (int i = 0; i < 100 && !fs::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists(marker));
    EXPECT_EQ(vpltest::ReadFile(marker), (dir / "doc.txt").string() + "\n");

    // A missing working folder or program gives false.
    setenv("PATH", dir.path().string().c_str(), 1);
    fs::remove(dir / "xdg-open");
    EXPECT_FALSE(OpenWithShell(W(dir / "doc.txt")));
    setenv("PATH", oldPath.c_str(), 1);
}

}  // namespace
