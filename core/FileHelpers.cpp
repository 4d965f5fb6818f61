#include "core/FileHelpers.h"

#include <algorithm>
#include <string>

#include "platform/files/WideFile.h"

namespace velmo {

namespace {

// Access and sharing of a mode word; false when the mode is invalid.
bool DecodeMode(uint16_t Mode, uint32_t& Access, uint32_t& Share) {
    static constexpr uint32_t kAccess[3] = {GENERIC_READ, GENERIC_WRITE,
                                            GENERIC_READ | GENERIC_WRITE};
    static constexpr uint32_t kShare[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE};
    unsigned access = Mode & 3;
    unsigned share = (Mode & 0xF0) >> 4;
    if (access > 2 || share > 4)
        return false;
    Access = kAccess[access];
    Share = kShare[share];
    return true;
}

size_t FileNameStart(const std::u16string& FileName) {
    size_t slash = FileName.rfind(u'/');
    return slash == std::u16string::npos ? 0 : slash + 1;
}

// Position of the extension's dot, or npos.
size_t ExtensionStart(const std::u16string& FileName) {
    size_t dot = FileName.rfind(u'.');
    if (dot == std::u16string::npos || dot < FileNameStart(FileName))
        return std::u16string::npos;
    return dot;
}

}  // namespace

int FileOpenWide(const std::u16string& FileName, uint16_t Mode) {
    uint32_t access, share;
    if (!DecodeMode(Mode, access, share))
        return -1;
    return CreateFileW(FileName, access, share, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
}

int FileCreateWide(const std::u16string& FileName) {
    return CreateFileW(FileName, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL);
}

bool FileCanOpenWide(const std::u16string& FileName, uint16_t Mode) {
    int h = Mode >= fmCreate ? FileCreateWide(FileName) : FileOpenWide(FileName, Mode);
    if (h == -1)
        return false;
    CloseHandle(h);
    return true;
}

bool FileExistsWide(const std::u16string& FileName) {
    TWin32FindDataW data;
    TFindHandle f = FindFirstFileW(FileName, data);
    if (f == INVALID_FIND_HANDLE)
        return false;
    FindClose(f);
    return !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExistsWide(const std::u16string& Path) {
    uint32_t attr = GetFileAttributesW(Path);
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFileWide(const std::u16string& FileName) { return DeleteFileW(FileName); }

std::u16string ExpandFileNameWide(const std::u16string& FileName) {
    return GetFullPathNameW(FileName);
}

std::u16string ExtractFileNameWide(const std::u16string& FileName) {
    return FileName.substr(FileNameStart(FileName));
}

std::u16string ExtractFilePathWide(const std::u16string& FileName) {
    return FileName.substr(0, FileNameStart(FileName));
}

std::u16string ExtractFileExtWide(const std::u16string& FileName) {
    size_t dot = ExtensionStart(FileName);
    return dot == std::u16string::npos ? std::u16string() : FileName.substr(dot);
}

std::u16string ChangeFileExtWide(const std::u16string& FileName, const std::u16string& Extension) {
    size_t dot = ExtensionStart(FileName);
    return (dot == std::u16string::npos ? FileName : FileName.substr(0, dot)) + Extension;
}

std::u16string GetTempPathWide() {
    std::u16string path = GetTempPathW();
    if (path.empty() || path.back() != u'/')
        path += u'/';
    return path;
}

TVelmoPDFWideFileStream::TVelmoPDFWideFileStream(const std::u16string& FileName, uint16_t Mode)
    : TVelmoPDFWideFileStream(FileName, Mode, 0) {}

TVelmoPDFWideFileStream::TVelmoPDFWideFileStream(const std::u16string& FileName, uint16_t Mode,
                                                 uint32_t Rights) {
    if ((Mode & fmCreate) == fmCreate)
        FHandle = FileCreateWide(FileName);
    else
        FHandle = FileOpenWide(FileName, Mode);
    FOwnsHandle = true;
    if (FHandle == -1)
        throw EFCreateError("Error");
}

std::unique_ptr<TVelmoPDFWideFileStream> CreateWideFileStream(const std::u16string& FileName,
                                                              uint16_t Mode) {
    return std::make_unique<TVelmoPDFWideFileStream>(FileName, Mode);
}

void StreamInsertString(TStream& Stream, std::string_view S, int64_t Position) {
    if (S.empty() || Position < 0)
        return;
    const int64_t L = int64_t(S.size());
    const int64_t size = Stream.Size();
    const int64_t P = Stream.Position();
    // Extend the stream by L bytes; they are overwritten below.
    Stream.Seek(0, soEnd);
    Stream.WriteBuffer(S.data(), L);
    // Move [Position, size) up by L from the end backwards, so that no byte is
    // overwritten before it was moved.
    constexpr int64_t kChunk = 65536;
    std::string buf;
    int64_t remaining = size - Position;
    while (remaining > 0) {
        int64_t n = std::min(remaining, kChunk);
        int64_t from = Position + remaining - n;
        buf.resize(size_t(n));
        Stream.Seek(from, soBeginning);
        Stream.ReadBuffer(buf.data(), n);
        Stream.Seek(from + L, soBeginning);
        Stream.WriteBuffer(buf.data(), n);
        remaining -= n;
    }
    Stream.Seek(Position, soBeginning);
    Stream.WriteBuffer(S.data(), L);
    Stream.Seek(P < Position ? P : P + L, soBeginning);
}

}  // namespace velmo
