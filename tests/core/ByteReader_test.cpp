// The byte reader over each kind of source.
#include "core/ByteReader.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/ASCII85.h"
#include "core/FileHelpers.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

// Sets the same bytes as each kind of source in turn.
struct SourceCase {
    const char* name;
    std::function<void(TVPLBuffer&, const std::string&)> set;
};

std::vector<SourceCase> Sources(TMemoryStream& stream, std::string& block) {
    return {
        {"string", [](TVPLBuffer& b, const std::string& s) { b.SetAnsiStringSource(s); }},
        {"pointer",
         [&block](TVPLBuffer& b, const std::string& s) {
             block = s;  // the caller keeps the memory alive
             b.SetPointerSource(block.data(), static_cast<std::uint32_t>(block.size()));
         }},
        {"byte array",
         [](TVPLBuffer& b, const std::string& s) {
             b.SetByteArraySource(TVPLByteArray(s.begin(), s.end()));
         }},
        {"stream",
         [&stream](TVPLBuffer& b, const std::string& s) {
             stream.Clear();
             stream.WriteBuffer(s);
             stream.Seek(0, soBeginning);
             b.SetStreamSource(&stream);
         }},
    };
}

}  // namespace

TEST(ByteReader, ReadsOnEverySource) {
    TMemoryStream stream;
    std::string block;
    for (const auto& src : Sources(stream, block)) {
        SCOPED_TRACE(src.name);
        TVPLBuffer b;
        const std::string bytes("\x01\x02\x03", 3);
        src.set(b, bytes);
        EXPECT_EQ(b.BufferLength(), 3);
        EXPECT_EQ(b.ReadWord(), 0x0201);
        EXPECT_EQ(b.Position(), 2);
        EXPECT_EQ(b.ReadCardinal(), 0u);  // one byte left: 0, position past it
        EXPECT_EQ(b.Position(), 3);
        EXPECT_EQ(b.ReadByte(), 0);
        EXPECT_EQ(b.Position(), 3);

        b.SetPosition(0);
        EXPECT_EQ(b.ReadAnsiString(10), bytes);
        b.SetPosition(0);
        EXPECT_EQ(b.ReadAnsiString(-5), "");
        EXPECT_EQ(b.ReadByteArray(2), (TVPLByteArray{1, 2}));
        EXPECT_EQ(b.ReadByteArray(0), TVPLByteArray{});
        EXPECT_EQ(b.ReadByteArray(9), (TVPLByteArray{3}));
        EXPECT_EQ(b.ReadByteArray(9), TVPLByteArray{});

        b.SetPosition(b.BufferLength());
        EXPECT_EQ(b.Position(), 3);
        b.SetPosition(b.BufferLength() + 1);
        EXPECT_EQ(b.Position(), 3);
        b.SetPosition(-1);
        EXPECT_EQ(b.Position(), 3);

        src.set(b, std::string("\xFE\xFF\xFF\xFF\x10\x20\x30\x40", 8));
        EXPECT_EQ(b.ReadInteger(), -2);
        EXPECT_EQ(b.ReadCardinal(), 0x40302010u);
    }
}

TEST(ByteReader, Scanners) {
    TMemoryStream stream;
    std::string block;
    for (const auto& src : Sources(stream, block)) {
        SCOPED_TRACE(src.name);
        TVPLBuffer b;
        std::string data(6000, 'a');
        data[5000] = 'X';
        data[5500] = 'Y';
        src.set(b, data);
        EXPECT_EQ(b.DistanceToByte('X'), 5000);
        EXPECT_EQ(b.DistanceToAnyByte({'X'}), -1);  // beyond 1024 bytes
        EXPECT_EQ(b.DistanceToOtherByte('a'), 5000);
        EXPECT_EQ(b.DistanceToOtherBytes({'a', 'X'}), 5500);
        EXPECT_EQ(b.DistanceToByte('Z'), -1);
        EXPECT_EQ(b.Position(), 0);
        b.SetPosition(4990);
        EXPECT_EQ(b.DistanceToAnyByte({'Y', 'X'}), 10);
        EXPECT_EQ(b.DistanceToByte('Y'), 510);
        EXPECT_EQ(b.Position(), 4990);

        src.set(b, "   X");
        EXPECT_EQ(b.DistanceToOtherByte(' '), 3);
        src.set(b, std::string(2048, 'q'));  // a match exactly at a chunk end
        EXPECT_EQ(b.DistanceToOtherByte('q'), -1);
        b.SetPosition(2048);
        EXPECT_EQ(b.DistanceToByte('q'), -1);
    }
}

TEST(ByteReader, BufferLength) {
    TVPLBuffer b;
    b.SetAnsiStringSource("abcdef");
    b.SetBufferLength(3);
    EXPECT_EQ(b.ReadAnsiString(10), "abc");
    b.SetBufferLength(5);  // extended with zero bytes
    EXPECT_EQ(b.ReadAnsiString(10), std::string("\0\0", 2));
    b.SetBufferLength(-1);
    EXPECT_EQ(b.BufferLength(), 5);

    const char block[4] = {'w', 'x', 'y', 'z'};
    b.SetPointerSource(block, 4);
    b.SetBufferLength(100);  // a pointer source accepts at most its block
    EXPECT_EQ(b.BufferLength(), 4);
    b.SetBufferLength(2);
    EXPECT_EQ(b.ReadAnsiString(10), "wx");

    TMemoryStream stream;
    stream.WriteBuffer("0123456789");
    b.SetStreamSource(&stream);
    b.SetBufferLength(4);
    EXPECT_EQ(stream.Size(), 4);
    EXPECT_EQ(b.ReadAnsiString(10), "0123");

    b.Reset();
    EXPECT_EQ(b.SourceType(), bsByteArray);
    EXPECT_EQ(b.BufferLength(), 0);
    EXPECT_EQ(b.ReadByte(), 0);
}

TEST(ByteReader, FileSource) {
    vpltest::TempDir dir;
    const auto path = dir / "data.bin";
    vpltest::WriteFile(path, "hello file");
    TVPLBuffer b;
    b.SetFileSource(path.u16string());
    EXPECT_EQ(b.SourceType(), bsStream);
    EXPECT_EQ(b.ReadAnsiString(5), "hello");
    EXPECT_EQ(b.DistanceToByte('f'), 1);
    EXPECT_EQ(b.ReadAnsiString(100), " file");
    b.SetAnsiStringSource("x");  // closes the file
    EXPECT_THROW(b.SetFileSource((dir / "missing.bin").u16string()), EFCreateError);
    EXPECT_EQ(b.BufferLength(), 0);
}

TEST(ASCII85, EncodeStream) {
    TStringStream source(std::string("Man \0\0\0\0", 8));
    source.Seek(0, soEnd);
    TMemoryStream dest;
    EncodeASCII85Stream(source, dest);
    EXPECT_EQ(dest.Bytes(), "9jqo^z~>");
}
