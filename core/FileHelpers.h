// File routines on UTF-16 names: opening, creating, testing and deleting
// files, path-name helpers ('/' separates folders), the temporary folder, the
// engine's file stream, and an in-place insertion into a stream.
//
// File mode word (16 bits), as taken by FileOpenWide, FileCanOpenWide and the
// stream constructors:
//   bits 0-1  access: 0 read, 1 write, 2 read and write (3 is invalid)
//   bits 4-7  sharing granted to other openers: 0x00 and 0x10 nothing,
//             0x20 reading, 0x30 writing, 0x40 both (above 0x40 invalid)
//   high byte 0xFF  (fmCreate, as in 0xFF00 or 0xFF20): create the file,
//             replacing an existing one, read and write, not shared; the
//             access and sharing bits are then ignored.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files/FileStream.h"
#include "platform/files/Stream.h"

namespace velmo {

constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;
constexpr uint16_t fmCreate = 0xFF00;

// Handle of an open file, or -1 when Mode is invalid or the open fails.
int FileOpenWide(const std::u16string& FileName, uint16_t Mode);
// Creates or truncates the file for reading and writing, not shared; -1 on
// failure.
int FileCreateWide(const std::u16string& FileName);
// Opens and closes again (Mode below 0xFF00), or creates (truncating an
// existing file) and closes; True when that succeeded.
bool FileCanOpenWide(const std::u16string& FileName, uint16_t Mode);
// True when the name (its first match, for a name with wildcards) exists
// and is not a folder.
bool FileExistsWide(const std::u16string& FileName);
bool DirectoryExistsWide(const std::u16string& Path);
bool DeleteFileWide(const std::u16string& FileName);
// The absolute path of FileName.
std::u16string ExpandFileNameWide(const std::u16string& FileName);
// The part after the last '/'; the whole name when it has none.
std::u16string ExtractFileNameWide(const std::u16string& FileName);
// The part up to and including the last '/'.
std::u16string ExtractFilePathWide(const std::u16string& FileName);
// From the last '.' of the file-name part on, the dot included; empty when
// that part has no dot.
std::u16string ExtractFileExtWide(const std::u16string& FileName);
// FileName without its extension, followed by Extension (which carries its
// own dot).
std::u16string ChangeFileExtWide(const std::u16string& FileName, const std::u16string& Extension);
// The folder for temporary files, ending with '/'.
std::u16string GetTempPathWide();

// The engine's file stream: reads, writes, seeks and sizes the file as
// THandleStream does (a refused size change raises EOSError). Construction
// raises EFCreateError("Error") when the file cannot be opened or created.
class TVelmoPDFWideFileStream : public THandleStream {
public:
    TVelmoPDFWideFileStream(const std::u16string& FileName, uint16_t Mode);
    // Rights is accepted and not used.
    TVelmoPDFWideFileStream(const std::u16string& FileName, uint16_t Mode, uint32_t Rights);
};

std::unique_ptr<TVelmoPDFWideFileStream> CreateWideFileStream(const std::u16string& FileName,
                                                              uint16_t Mode);

// Inserts the bytes of S into Stream at Position (0-based), moving what
// follows up; the stream position keeps pointing at the same byte.
void StreamInsertString(TStream& Stream, std::string_view S, int64_t Position);

}  // namespace velmo
