// The wide-character file interface the engine is written against, over
// POSIX. Names are UTF-16 and become UTF-8 at the system call; handles are
// POSIX descriptors (-1 for none). Share modes are kept as advisory flock()
// locks taken when a file is opened: an opener that shares nothing takes an
// exclusive lock, any other opener a shared one. So an unshared file cannot
// be opened again by anyone going through this layer (in any process), and
// an unshared open fails while others hold the file; the finer conflicts
// between read and write sharing are not enforced. Failures leave an error
// number for GetLastError().
#pragma once

#include <cstdint>
#include <string>

namespace velmo {

using THandle = int;
constexpr THandle INVALID_HANDLE_VALUE = -1;

// Desired access.
constexpr uint32_t GENERIC_READ = 0x80000000u;
constexpr uint32_t GENERIC_WRITE = 0x40000000u;
// Share mode: what other openers may do meanwhile.
constexpr uint32_t FILE_SHARE_READ = 0x1;
constexpr uint32_t FILE_SHARE_WRITE = 0x2;
// Creation disposition.
constexpr uint32_t CREATE_NEW = 1;     // fails when the file exists
constexpr uint32_t CREATE_ALWAYS = 2;  // creates or truncates
constexpr uint32_t OPEN_EXISTING = 3;
constexpr uint32_t OPEN_ALWAYS = 4;  // opens, creating when missing
// Attributes.
constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x1;
constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
// Seek origins.
constexpr uint32_t FILE_BEGIN = 0;
constexpr uint32_t FILE_CURRENT = 1;
constexpr uint32_t FILE_END = 2;

// Error number (errno value) of the last failed call of this layer on this
// thread; 0 after a success. The window layer leaves its own error codes
// here through SetLastError.
int GetLastError();
void SetLastError(int Code);

// Opens or creates a file. Folders cannot be opened. With CREATE_ALWAYS the
// file is truncated only after its lock was granted, so a file held without
// sharing by someone else is left intact.
THandle CreateFileW(const std::u16string& FileName, uint32_t DesiredAccess, uint32_t ShareMode,
                    uint32_t CreationDisposition, uint32_t FlagsAndAttributes);
bool CloseHandle(THandle Handle);
// One read or write call (restarted when interrupted); BytesDone receives the
// count moved.
bool ReadFile(THandle Handle, void* Buffer, uint32_t Count, uint32_t* BytesDone);
bool WriteFile(THandle Handle, const void* Buffer, uint32_t Count, uint32_t* BytesDone);
bool SetFilePointerEx(THandle Handle, int64_t Distance, int64_t* NewPosition, uint32_t Method);
// Makes the current position the end of the file.
bool SetEndOfFile(THandle Handle);
bool GetFileSizeEx(THandle Handle, int64_t* Size);

// FILE_ATTRIBUTE_* bits of a file or folder, INVALID_FILE_ATTRIBUTES when
// it does not exist. Names beginning with '.' count as hidden.
uint32_t GetFileAttributesW(const std::u16string& FileName);
// Removes a file (not a folder).
bool DeleteFileW(const std::u16string& FileName);
// Renames a file; with MOVEFILE_REPLACE_EXISTING an existing target is
// replaced in one step.
constexpr uint32_t MOVEFILE_REPLACE_EXISTING = 0x1;
bool MoveFileExW(const std::u16string& ExistingName, const std::u16string& NewName, uint32_t Flags);
bool CreateDirectoryW(const std::u16string& PathName);
bool RemoveDirectoryW(const std::u16string& PathName);
// The absolute form of FileName against the current folder, with "." and
// ".." parts resolved by name (symbolic links are not followed) and repeated
// separators folded. Empty when the current folder cannot be read.
std::u16string GetFullPathNameW(const std::u16string& FileName);
// The folder for temporary files ($TMPDIR, else /tmp), ending with '/'.
std::u16string GetTempPathW();

// Folder walking. The pattern's last part may hold the wildcards '*' (any
// run of characters) and '?' (one character); matches come in the folder's
// own order, "." and ".." included as the platform lists them.
struct TWin32FindDataW {
    uint32_t dwFileAttributes = 0;
    int64_t nFileSize = 0;
    int64_t ftLastWriteTime = 0;  // seconds since 1970
    std::u16string cFileName;     // name within the folder
};
using TFindHandle = struct TFindState*;
constexpr TFindHandle INVALID_FIND_HANDLE = nullptr;
TFindHandle FindFirstFileW(const std::u16string& Pattern, TWin32FindDataW& Data);
bool FindNextFileW(TFindHandle Find, TWin32FindDataW& Data);
bool FindClose(TFindHandle Find);

// File names at the system call. UTF-16 becomes UTF-8; an unpaired
// surrogate becomes its 3-byte form, except U+DC80..U+DCFF, which stand for
// the single raw bytes 0x80..0xFF that FileSystemNameToWide makes of bytes
// that are not UTF-8. A name read from the system converts back to the same
// bytes, and a valid UTF-16 name to the same UTF-16.
std::string WideToFileSystemName(const std::u16string& Name);
std::u16string FileSystemNameToWide(const std::string& Name);

}  // namespace velmo
