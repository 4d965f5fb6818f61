#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "platform/files/Stream.h"
#include "platform/files/WideFile.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

TEST(WideFile, NameConversion) {
    struct {
        std::u16string wide;
        std::string bytes;
    } cases[] = {
        {u"plain", "plain"},
        {u"\u00e9\u4e2d", "\xC3\xA9\xE4\xB8\xAD"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WideToFileSystemName(c.wide), c.bytes);
        EXPECT_EQ(FileSystemNameToWide(c.bytes), c.wide);
    }
    // Bytes that are not UTF-8 (stray continuation, overlong, surrogate form,
    // truncated sequence) survive a trip through UTF-16.
    for (std::string raw : {std::string("a\x80z"), std::string("\xC0\xAF"),
                            std::string("\xED\xA0\x80"), std::string("x\xE4\xB8"),
                            std::string("\xFF\xFE"), std::string("\xF4\x90\x80\x80")}) {
        std::u16string w = FileSystemNameToWide(raw);
        EXPECT_EQ(WideToFileSystemName(w), raw);
    }
    // An unpaired high surrogate still makes a usable name.
    EXPECT_EQ(WideToFileSystemName(u"a\xD800"), "a\xED\xA0\x80");
}

TEST(WideFile, FindWalksAFolder) {
    vpltest::TempDir dir;
    for (const char* n : {"a.pdf", "b.PDF", "c.txt", "noext"})
        vpltest::WriteFile(dir / n, "x");
    std::filesystem::create_directory(dir / "sub");
    auto list = [&](const std::u16string& mask) {
        std::set<std::u16string> names;
        TWin32FindDataW d;
        TFindHandle f =
            FindFirstFileW(FileSystemNameToWide(dir.path().string()) + u"/" + mask, d);
        if (f == INVALID_FIND_HANDLE)
            return names;
        do {
            if (d.cFileName != u"." && d.cFileName != u"..")
                names.insert(d.cFileName);
        } while (FindNextFileW(f, d));
        FindClose(f);
        return names;
    };
    EXPECT_EQ(list(u"*.pdf"), (std::set<std::u16string>{u"a.pdf"}));
    EXPECT_EQ(list(u"*.*"), (std::set<std::u16string>{u"a.pdf", u"b.PDF", u"c.txt", u"noext", u"sub"}));
    EXPECT_EQ(list(u"?.*"), (std::set<std::u16string>{u"a.pdf", u"b.PDF", u"c.txt"}));
    EXPECT_EQ(list(u"*o*e*"), (std::set<std::u16string>{u"noext"}));
    EXPECT_EQ(list(u"sub"), (std::set<std::u16string>{u"sub"}));
    EXPECT_TRUE(list(u"*.doc").empty());
    TWin32FindDataW d;
    TFindHandle f = FindFirstFileW(FileSystemNameToWide(dir.path().string()) + u"/sub", d);
    ASSERT_NE(f, INVALID_FIND_HANDLE);
    EXPECT_TRUE(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(FindNextFileW(f, d));
    FindClose(f);
}

TEST(WideFile, CreateDispositions) {
    vpltest::TempDir dir;
    std::u16string name = FileSystemNameToWide((dir / "d.bin").string());
    THandle h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    uint32_t done = 0;
    EXPECT_TRUE(WriteFile(h, "abc", 3, &done));
    EXPECT_EQ(done, 3u);
    int64_t size = 0;
    EXPECT_TRUE(GetFileSizeEx(h, &size));
    EXPECT_EQ(size, 3);
    CloseHandle(h);
    EXPECT_EQ(CreateFileW(name, GENERIC_READ, 0, CREATE_NEW, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), EEXIST);
    h = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buf[8];
    EXPECT_TRUE(ReadFile(h, buf, 8, &done));
    EXPECT_EQ(done, 3u);
    CloseHandle(h);
    EXPECT_EQ(CreateFileW(name, GENERIC_READ, 0, 99, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileAttributesW(name), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesW(name + u"x"), INVALID_FILE_ATTRIBUTES);
}

TEST(Stream, MemoryStreamBehaviour) {
    TMemoryStream m;
    EXPECT_EQ(m.Size(), 0);
    m.WriteBuffer(std::string_view("abcdef"));
    EXPECT_EQ(m.Position(), 6);
    m.Seek(10, soBeginning);  // beyond the end: reads nothing, writing fills the gap
    char c;
    EXPECT_EQ(m.Read(&c, 1), 0);
    m.WriteBuffer(std::string_view("Z"));
    EXPECT_EQ(m.Bytes(), std::string("abcdef\0\0\0\0Z", 11));
    EXPECT_EQ(m.Seek(-1, soBeginning), -1);
    m.SetSize(3);
    EXPECT_EQ(m.Position(), 3);
    EXPECT_EQ(m.Bytes(), "abc");
    EXPECT_THROW(m.ReadBuffer(&c, 1), EReadError);

    TStringStream src(std::string("0123456789"));
    TMemoryStream dst;
    dst.CopyFrom(src, 0);
    EXPECT_EQ(dst.Bytes(), "0123456789");
    src.Seek(8, soBeginning);
    EXPECT_THROW(dst.CopyFrom(src, 5), EReadError);
    TMemoryStream loaded;
    loaded.LoadFromStream(src);
    EXPECT_EQ(loaded.Bytes(), "0123456789");
    EXPECT_EQ(loaded.Position(), 0);
}
