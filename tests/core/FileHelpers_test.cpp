#include "core/FileHelpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/files/WideFile.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

std::u16string W(const std::filesystem::path& p) { return FileSystemNameToWide(p.string()); }

std::string Slurp(const std::filesystem::path& p) { return vpltest::ReadFile(p); }

}  // namespace

TEST(FileHelpers, PathParts) {
    struct {
        std::u16string in, name, path, ext, changed;
    } cases[] = {
        {u"/dir/file.pdf", u"file.pdf", u"/dir/", u".pdf", u"/dir/file.txt"},
        {u"file.pdf", u"file.pdf", u"", u".pdf", u"file.txt"},
        {u"", u"", u"", u"", u".txt"},
        {u"/dir.d/file", u"file", u"/dir.d/", u"", u"/dir.d/file.txt"},
        {u"a.tar.gz", u"a.tar.gz", u"", u".gz", u"a.tar.txt"},
        {u"name.", u"name.", u"", u".", u"name.txt"},
        {u".hidden", u".hidden", u"", u".hidden", u".txt"},
        {u"dir/", u"", u"dir/", u"", u"dir/.txt"},
        {u"a/b", u"b", u"a/", u"", u"a/b.txt"},
        {u"C:file.pdf", u"C:file.pdf", u"", u".pdf", u"C:file.txt"},  // ':' is an ordinary character
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToFileSystemName(c.in));
        EXPECT_EQ(ExtractFileNameWide(c.in), c.name);
        EXPECT_EQ(ExtractFilePathWide(c.in), c.path);
        EXPECT_EQ(ExtractFilePathWide(c.in) + ExtractFileNameWide(c.in), c.in);
        EXPECT_EQ(ExtractFileExtWide(c.in), c.ext);
        EXPECT_EQ(ChangeFileExtWide(c.in, u".txt"), c.changed);
    }
}

TEST(FileHelpers, ExpandAndTempPath) {
    EXPECT_EQ(ExpandFileNameWide(u"/a/b/../c/./d"), u"/a/c/d");
    EXPECT_EQ(ExpandFileNameWide(u"/a//b/"), u"/a/b/");
    EXPECT_EQ(ExpandFileNameWide(u"/.."), u"/");
    std::u16string rel = ExpandFileNameWide(u"x/y.pdf");
    EXPECT_EQ(rel, W(std::filesystem::current_path()) + u"/x/y.pdf");
    std::u16string tmp = GetTempPathWide();
    ASSERT_FALSE(tmp.empty());
    EXPECT_EQ(tmp.back(), u'/');
    EXPECT_TRUE(DirectoryExistsWide(tmp));
}

TEST(FileHelpers, OpenModes) {
    vpltest::TempDir dir;
    std::u16string name = W(dir / "f.bin");
    vpltest::WriteFile(dir / "f.bin", "content");

    // Invalid access (3) and sharing above 0x40 fail without touching the file.
    for (uint16_t bad : {uint16_t(3), uint16_t(0x50), uint16_t(0x72), uint16_t(0xF2)}) {
        EXPECT_EQ(FileOpenWide(name, bad), -1) << bad;
        EXPECT_FALSE(FileCanOpenWide(name, bad)) << bad;
        EXPECT_THROW(TVelmoPDFWideFileStream(name, bad), EFCreateError);
    }
    EXPECT_EQ(Slurp(dir / "f.bin"), "content");
    for (uint16_t good : {fmOpenRead, fmOpenWrite, fmOpenReadWrite,
                          uint16_t(fmOpenRead | fmShareDenyNone),
                          uint16_t(fmOpenReadWrite | fmShareExclusive)}) {
        int h = FileOpenWide(name, good);
        EXPECT_NE(h, -1) << good;
        CloseHandle(h);
    }
    EXPECT_EQ(FileOpenWide(W(dir / "missing"), fmOpenRead), -1);
    EXPECT_EQ(FileOpenWide(W(dir.path()), fmOpenRead), -1);  // a folder is no file
    EXPECT_EQ(Slurp(dir / "f.bin"), "content");

    // Creating through the mode word empties an existing file.
    EXPECT_TRUE(FileCanOpenWide(name, fmCreate));
    EXPECT_EQ(Slurp(dir / "f.bin"), "");
    EXPECT_TRUE(FileCanOpenWide(W(dir / "new.bin"), 0xFF20));
    EXPECT_TRUE(FileExistsWide(W(dir / "new.bin")));
}

TEST(FileHelpers, ShareModesConflict) {
    vpltest::TempDir dir;
    std::u16string name = W(dir / "s.bin");
    vpltest::WriteFile(dir / "s.bin", "x");
    {
        // Not shared: nobody else gets it, and creating it anew is refused
        // without truncating the held file.
        TVelmoPDFWideFileStream held(name, fmOpenReadWrite | fmShareExclusive);
        EXPECT_EQ(FileOpenWide(name, fmOpenRead | fmShareDenyNone), -1);
        EXPECT_FALSE(FileCanOpenWide(name, fmOpenRead));
        EXPECT_THROW(TVelmoPDFWideFileStream(name, fmCreate), EFCreateError);
        EXPECT_EQ(Slurp(dir / "s.bin"), "x");
    }
    {
        // Readers that let others read coexist; an exclusive opener does not.
        TVelmoPDFWideFileStream r1(name, fmOpenRead | fmShareDenyWrite);
        TVelmoPDFWideFileStream r2(name, fmOpenRead | fmShareDenyWrite);
        EXPECT_EQ(FileOpenWide(name, fmOpenReadWrite | fmShareExclusive), -1);
    }
    // Released at close.
    EXPECT_TRUE(FileCanOpenWide(name, fmOpenReadWrite | fmShareExclusive));
}

TEST(FileHelpers, ExistsAndDelete) {
    vpltest::TempDir dir;
    vpltest::WriteFile(dir / "one.pdf", "1");
    std::filesystem::create_directory(dir / "sub.pdf");
    EXPECT_TRUE(FileExistsWide(W(dir / "one.pdf")));
    EXPECT_FALSE(FileExistsWide(W(dir / "sub.pdf")));  // a folder
    EXPECT_FALSE(FileExistsWide(W(dir / "none.pdf")));
    EXPECT_TRUE(FileExistsWide(W(dir / "o*.pdf")));  // wildcards test the first match
    EXPECT_TRUE(FileExistsWide(W(dir / "on?.pdf")));
    EXPECT_FALSE(FileExistsWide(W(dir / "x*")));
    EXPECT_FALSE(FileExistsWide(u""));
    EXPECT_TRUE(DirectoryExistsWide(W(dir / "sub.pdf")));
    EXPECT_FALSE(DirectoryExistsWide(W(dir / "one.pdf")));
    EXPECT_FALSE(DeleteFileWide(W(dir / "sub.pdf")));
    EXPECT_TRUE(DeleteFileWide(W(dir / "one.pdf")));
    EXPECT_FALSE(DeleteFileWide(W(dir / "one.pdf")));
    EXPECT_FALSE(FileExistsWide(W(dir / "one.pdf")));
}

TEST(FileHelpers, StreamReadWriteSeekAndSize) {
    vpltest::TempDir dir;
    vpltest::WriteFile(dir / "s.bin", "old content that must go");
    std::u16string name = W(dir / "s.bin");
    {
        auto s = CreateWideFileStream(name, fmCreate);
        EXPECT_EQ(s->Size(), 0);  // created anew: empty
        EXPECT_EQ(s->Write("hello world", 11), 11);
        EXPECT_EQ(s->Seek(0, soBeginning), 0);
        char buf[32] = {};
        EXPECT_EQ(s->Read(buf, 32), 11);
        EXPECT_EQ(std::string(buf, 11), "hello world");
        EXPECT_EQ(s->Read(buf, 32), 0);
        EXPECT_EQ(s->Seek(-5, soEnd), 6);
        EXPECT_EQ(s->Seek(2, soCurrent), 8);
        EXPECT_EQ(s->Seek(-100, soBeginning), -1);
        // Setting the size below the position truncates and moves there.
        s->Seek(100, soBeginning);
        s->SetSize(4);
        EXPECT_EQ(s->Position(), 4);
        EXPECT_EQ(s->Size(), 4);
        s->SetSize(10);  // growing fills with zero bytes
        EXPECT_EQ(s->Size(), 10);
        s->Seek(2, soBeginning);
        EXPECT_THROW(s->SetSize(-1), EOSError);  // refused, and nothing cut
        EXPECT_EQ(s->Size(), 10);
        EXPECT_GE(s->Handle(), 0);
    }
    EXPECT_EQ(Slurp(dir / "s.bin"), std::string("hell\0\0\0\0\0\0", 10));
    {
        TVelmoPDFWideFileStream r(name, fmOpenRead, 0644);
        char c;
        EXPECT_EQ(r.Write("x", 1), 0);  // opened for reading only
        EXPECT_EQ(r.Read(&c, 1), 1);
        EXPECT_THROW(r.SetSize(2), EOSError);
    }
    EXPECT_THROW(TVelmoPDFWideFileStream(W(dir / "no/such/file"), fmOpenRead), EFCreateError);
    try {
        TVelmoPDFWideFileStream(W(dir / "missing"), fmOpenRead);
    } catch (const EFCreateError& e) {
        EXPECT_STREQ(e.what(), "Error");
    }
}

TEST(FileHelpers, NonBmpFileName) {
    vpltest::TempDir dir;
    // U+1F600 and U+20000 (outside the BMP) around ordinary and BMP text.
    std::u16string leaf = u"doc-\U0001F600-\U00020000-\u00e9\u4e2d.pdf";
    std::u16string name = W(dir.path()) + u"/" + leaf;
    {
        TVelmoPDFWideFileStream s(name, fmCreate);
        s.WriteBuffer(std::string_view("0123456789"));
        EXPECT_EQ(s.Seek(3, soBeginning), 3);
        char buf[4];
        s.ReadBuffer(buf, 4);
        EXPECT_EQ(std::string(buf, 4), "3456");
    }
    // The name reached the file system as UTF-8.
    std::string utf8 = "doc-\xF0\x9F\x98\x80-\xF0\xA0\x80\x80-\xC3\xA9\xE4\xB8\xAD.pdf";
    EXPECT_TRUE(std::filesystem::exists(dir / utf8));
    EXPECT_TRUE(FileExistsWide(name));
    EXPECT_EQ(ExtractFileNameWide(name), leaf);
    EXPECT_EQ(ExtractFileExtWide(name), u".pdf");
    // Folder walking gives the same UTF-16 name back.
    TWin32FindDataW fd;
    TFindHandle f = FindFirstFileW(W(dir.path()) + u"/doc-*", fd);
    ASSERT_NE(f, INVALID_FIND_HANDLE);
    EXPECT_EQ(fd.cFileName, leaf);
    EXPECT_EQ(fd.nFileSize, 10);
    FindClose(f);
    {
        TVelmoPDFWideFileStream s(name, fmOpenRead | fmShareDenyWrite);
        EXPECT_EQ(s.Size(), 10);
        EXPECT_EQ(s.Seek(-2, soEnd), 8);
        char buf[2];
        EXPECT_EQ(s.Read(buf, 2), 2);
        EXPECT_EQ(std::string(buf, 2), "89");
    }
    EXPECT_TRUE(DeleteFileWide(name));
    EXPECT_FALSE(FileExistsWide(name));
    EXPECT_FALSE(std::filesystem::exists(dir / utf8));
}

TEST(FileHelpers, StreamInsertString) {
    TStringStream m(std::string("abc"));
    m.Seek(3, soBeginning);
    StreamInsertString(m, "XY", 1);
    EXPECT_EQ(m.DataString(), "aXYbc");
    EXPECT_EQ(m.Position(), 5);

    m.Seek(0, soBeginning);  // before the insertion point: unchanged
    StreamInsertString(m, "-", 5);
    EXPECT_EQ(m.DataString(), "aXYbc-");
    EXPECT_EQ(m.Position(), 0);
    StreamInsertString(m, "", 0);
    EXPECT_EQ(m.DataString(), "aXYbc-");

    // More than one 64 KiB chunk to move, in a file stream.
    vpltest::TempDir dir;
    std::string big;
    for (int i = 0; i < 200000; ++i)
        big += char('a' + i % 26);
    vpltest::WriteFile(dir / "big", big);
    {
        TVelmoPDFWideFileStream s(W(dir / "big"), fmOpenReadWrite);
        s.Seek(10, soBeginning);
        StreamInsertString(s, "INSERTED", 7);
        EXPECT_EQ(s.Position(), 18);
    }
    EXPECT_EQ(Slurp(dir / "big"), big.substr(0, 7) + "INSERTED" + big.substr(7));
}
