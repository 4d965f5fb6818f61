#include "platform/files/WideFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace velmo {

namespace {

thread_local int tLastError = 0;

bool Fail(int err) {
    tLastError = err;
    return false;
}

bool Ok() {
    tLastError = 0;
    return true;
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

int GetLastError() { return tLastError; }
void SetLastError(int Code) { tLastError = Code; }

std::string WideToFileSystemName(const std::u16string& Name) {
    std::string out;
    out.reserve(Name.size() * 3 / 2 + 4);
    for (size_t i = 0; i < Name.size(); ++i) {
        uint32_t c = Name[i];
        if (IsHigh(char16_t(c)) && i + 1 < Name.size() && IsLow(Name[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (Name[i + 1] - 0xDC00);
            ++i;
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            out += char(c - 0xDC00);  // a raw byte of a name that was not UTF-8
        } else if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string FileSystemNameToWide(const std::string& Name) {
    std::u16string out;
    out.reserve(Name.size());
    const auto* s = reinterpret_cast<const unsigned char*>(Name.data());
    size_t n = Name.size();
    size_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        if (b < 0x80) {
            out += char16_t(b);
            ++i;
            continue;
        }
        // Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
        size_t len = 0;
        uint32_t c = 0, min = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2, c = b & 0x1F, min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3, c = b & 0x0F, min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4, c = b & 0x07, min = 0x10000;
        }
        bool valid = len != 0 && i + len <= n;
        for (size_t k = 1; valid && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                c = (c << 6) | (s[i + k] & 0x3F);
        }
        if (valid && (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
            valid = false;
        if (!valid) {
            out += char16_t(0xDC00 + b);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
        i += len;
    }
    return out;
}

THandle CreateFileW(const std::u16string& FileName, uint32_t DesiredAccess, uint32_t ShareMode,
                    uint32_t CreationDisposition, uint32_t FlagsAndAttributes) {
    if (FileName.empty()) {
        Fail(ENOENT);
        return INVALID_HANDLE_VALUE;
    }
    bool wantRead = DesiredAccess & GENERIC_READ;
    bool wantWrite = DesiredAccess & GENERIC_WRITE;
    bool truncate = CreationDisposition == CREATE_ALWAYS;
    int flags = O_CLOEXEC | O_NOCTTY;
    if (wantWrite || truncate)
        flags |= (wantRead || truncate) ? O_RDWR : O_WRONLY;
    else
        flags |= O_RDONLY;
    switch (CreationDisposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case OPEN_EXISTING:
            break;
        default:
            Fail(EINVAL);
            return INVALID_HANDLE_VALUE;
    }
    std::string path = WideToFileSystemName(FileName);
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        Fail(errno);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        Fail(err);
        return INVALID_HANDLE_VALUE;
    }
    // Not shared: an exclusive lock; any sharing: a shared one, so that both
    // sides see an exclusive holder.
    int lock = (ShareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE)) == 0 ? LOCK_EX : LOCK_SH;
    {
        int r;
        do {
            r = ::flock(fd, lock | LOCK_NB);
        } while (r != 0 && errno == EINTR);
        if (r != 0) {
            int err = errno;
            ::close(fd);
            Fail(err);
            return INVALID_HANDLE_VALUE;
        }
    }
    if (truncate && ::ftruncate(fd, 0) != 0) {
        int err = errno;
        ::close(fd);
        Fail(err);
        return INVALID_HANDLE_VALUE;
    }
    Ok();
    return fd;
}

bool CloseHandle(THandle Handle) {
    if (Handle < 0)
        return Fail(EBADF);
    // close() releases the flock() lock with the last descriptor.
    if (::close(Handle) != 0 && errno != EINTR)
        return Fail(errno);
    return Ok();
}

namespace {

// Repeats a read or write call until Count bytes moved, the end came (a call
// moved nothing) or it failed; POSIX may stop early where one call of the
// file interface moves everything that is there.
template <class Call>
bool MoveAll(uint32_t Count, uint32_t* BytesDone, bool& Short, Call call) {
    uint32_t done = 0;
    bool ok = true;
    while (done < Count) {
        ssize_t r = call(done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            ok = Fail(errno);
            break;
        }
        if (r == 0)
            break;
        done += uint32_t(r);
    }
    if (BytesDone)
        *BytesDone = done;
    Short = done < Count;
    return ok;
}

}  // namespace

bool ReadFile(THandle Handle, void* Buffer, uint32_t Count, uint32_t* BytesDone) {
    auto* p = static_cast<char*>(Buffer);
    bool atEnd;
    if (!MoveAll(Count, BytesDone, atEnd,
                 [&](uint32_t done) { return ::read(Handle, p + done, size_t(Count - done)); }))
        return false;
    return Ok();
}

bool WriteFile(THandle Handle, const void* Buffer, uint32_t Count, uint32_t* BytesDone) {
    auto* p = static_cast<const char*>(Buffer);
    bool full;
    if (!MoveAll(Count, BytesDone, full,
                 [&](uint32_t done) { return ::write(Handle, p + done, size_t(Count - done)); }))
        return false;
    return full ? Fail(ENOSPC) : Ok();
}

bool SetFilePointerEx(THandle Handle, int64_t Distance, int64_t* NewPosition, uint32_t Method) {
    int whence;
    switch (Method) {
        case FILE_BEGIN:
            whence = SEEK_SET;
            break;
        case FILE_CURRENT:
            whence = SEEK_CUR;
            break;
        case FILE_END:
            whence = SEEK_END;
            break;
        default:
            return Fail(EINVAL);
    }
    off_t r = ::lseek(Handle, off_t(Distance), whence);
    if (r < 0)
        return Fail(errno);
    if (NewPosition)
        *NewPosition = int64_t(r);
    return Ok();
}

bool SetEndOfFile(THandle Handle) {
    off_t pos = ::lseek(Handle, 0, SEEK_CUR);
    if (pos < 0)
        return Fail(errno);
    if (::ftruncate(Handle, pos) != 0)
        return Fail(errno);
    return Ok();
}

bool GetFileSizeEx(THandle Handle, int64_t* Size) {
    struct stat st;
    if (::fstat(Handle, &st) != 0)
        return Fail(errno);
    if (Size)
        *Size = int64_t(st.st_size);
    return Ok();
}

namespace {

uint32_t AttributesOf(const struct stat& st) {
    uint32_t a = 0;
    if (S_ISDIR(st.st_mode))
        a |= FILE_ATTRIBUTE_DIRECTORY;
    if (!(st.st_mode & S_IWUSR))
        a |= FILE_ATTRIBUTE_READONLY;
    return a == 0 ? FILE_ATTRIBUTE_NORMAL : a;
}

}  // namespace

uint32_t GetFileAttributesW(const std::u16string& FileName) {
    struct stat st;
    if (FileName.empty() || ::stat(WideToFileSystemName(FileName).c_str(), &st) != 0) {
        Fail(FileName.empty() ? ENOENT : errno);
        return INVALID_FILE_ATTRIBUTES;
    }
    Ok();
    return AttributesOf(st);
}

bool DeleteFileW(const std::u16string& FileName) {
    if (FileName.empty())
        return Fail(ENOENT);
    if (::unlink(WideToFileSystemName(FileName).c_str()) != 0)
        return Fail(errno);
    return Ok();
}

bool MoveFileExW(const std::u16string& ExistingName, const std::u16string& NewName, uint32_t Flags) {
    if (ExistingName.empty() || NewName.empty())
        return Fail(ENOENT);
    std::string from = WideToFileSystemName(ExistingName);
    std::string to = WideToFileSystemName(NewName);
    if (!(Flags & MOVEFILE_REPLACE_EXISTING)) {
        struct stat st;
        if (::lstat(to.c_str(), &st) == 0)
            return Fail(EEXIST);
    }
    if (::rename(from.c_str(), to.c_str()) != 0)
        return Fail(errno);
    return Ok();
}

bool CreateDirectoryW(const std::u16string& PathName) {
    if (PathName.empty())
        return Fail(ENOENT);
    if (::mkdir(WideToFileSystemName(PathName).c_str(), 0777) != 0)
        return Fail(errno);
    return Ok();
}

bool RemoveDirectoryW(const std::u16string& PathName) {
    if (PathName.empty())
        return Fail(ENOENT);
    if (::rmdir(WideToFileSystemName(PathName).c_str()) != 0)
        return Fail(errno);
    return Ok();
}

std::u16string GetFullPathNameW(const std::u16string& FileName) {
    if (FileName.empty()) {
        Fail(ENOENT);
        return {};
    }
    std::u16string full;
    if (FileName[0] == u'/') {
        full = FileName;
    } else {
        std::vector<char> buf(PATH_MAX + 1);
        if (!::getcwd(buf.data(), buf.size())) {
            Fail(errno);
            return {};
        }
        full = FileSystemNameToWide(buf.data());
        full += u'/';
        full += FileName;
    }
    // Resolve "." and ".." by name and fold repeated separators.
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= full.size()) {
        size_t end = full.find(u'/', start);
        if (end == std::u16string::npos)
            end = full.size();
        std::u16string part = full.substr(start, end - start);
        if (part == u"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != u".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    std::u16string out;
    for (const auto& p : parts) {
        out += u'/';
        out += p;
    }
    if (out.empty())
        out = u"/";
    else if (FileName.back() == u'/')
        out += u'/';
    Ok();
    return out;
}

std::u16string GetTempPathW() {
    std::u16string path = u"/tmp";
    if (const char* env = std::getenv("TMPDIR"); env && *env)
        path = FileSystemNameToWide(env);
    if (path.back() != u'/')
        path += u'/';
    Ok();
    return path;
}

struct TFindState {
    DIR* dir = nullptr;
    std::string folder;   // with a trailing '/', or empty for the current folder
    std::u16string mask;  // empty: the single entry was already delivered
};

namespace {

// '*' matches any run of characters and '?' one character (a surrogate pair
// counts as one). Greedy with one back-track point: linear for each star.
bool WildcardMatch(const std::u16string& mask, const std::u16string& name) {
    size_t m = 0, n = 0, starM = std::u16string::npos, starN = 0;
    auto charLen = [&](size_t at) {
        return (at + 1 < name.size() && IsHigh(name[at]) && IsLow(name[at + 1])) ? 2 : 1;
    };
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == u'*') {
            starM = m++;
            starN = n;
        } else if (m < mask.size() && mask[m] == u'?') {
            ++m;
            n += charLen(n);
        } else if (m < mask.size() && mask[m] == name[n]) {
            ++m;
            ++n;
        } else if (starM != std::u16string::npos) {
            m = starM + 1;
            starN += charLen(starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

void FillFindData(const std::string& path, const std::u16string& name, TWin32FindDataW& Data) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0)
        st = {};
    Data.dwFileAttributes = AttributesOf(st);
    Data.nFileSize = S_ISDIR(st.st_mode) ? 0 : int64_t(st.st_size);
    Data.ftLastWriteTime = int64_t(st.st_mtime);
    Data.cFileName = name;
}

bool NextMatch(TFindState* f, TWin32FindDataW& Data) {
    while (struct dirent* e = ::readdir(f->dir)) {
        std::u16string name = FileSystemNameToWide(e->d_name);
        if (WildcardMatch(f->mask, name)) {
            FillFindData(f->folder + e->d_name, name, Data);
            return true;
        }
    }
    return false;
}

}  // namespace

TFindHandle FindFirstFileW(const std::u16string& Pattern, TWin32FindDataW& Data) {
    if (Pattern.empty()) {
        Fail(ENOENT);
        return INVALID_FIND_HANDLE;
    }
    size_t slash = Pattern.rfind(u'/');
    std::u16string folder = slash == std::u16string::npos ? u"" : Pattern.substr(0, slash + 1);
    std::u16string mask = slash == std::u16string::npos ? Pattern : Pattern.substr(slash + 1);
    if (mask.empty()) {
        Fail(ENOENT);
        return INVALID_FIND_HANDLE;
    }
    if (mask == u"*.*")  // the classic "every file" mask also matches names without a dot
        mask = u"*";
    auto* f = new TFindState;
    f->folder = WideToFileSystemName(folder);
    if (mask.find_first_of(u"*?") == std::u16string::npos) {
        // No wildcard: the one entry of that name, if it exists.
        std::string path = f->folder + WideToFileSystemName(mask);
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) {
            Fail(errno);
            delete f;
            return INVALID_FIND_HANDLE;
        }
        FillFindData(path, mask, Data);
        Ok();
        return f;
    }
    f->mask = mask;
    f->dir = ::opendir(f->folder.empty() ? "." : f->folder.c_str());
    if (!f->dir) {
        Fail(errno);
        delete f;
        return INVALID_FIND_HANDLE;
    }
    if (!NextMatch(f, Data)) {
        ::closedir(f->dir);
        delete f;
        Fail(ENOENT);
        return INVALID_FIND_HANDLE;
    }
    Ok();
    return f;
}

bool FindNextFileW(TFindHandle Find, TWin32FindDataW& Data) {
    if (!Find)
        return Fail(EBADF);
    if (!Find->dir || !NextMatch(Find, Data))
        return Fail(ENOENT);
    return Ok();
}

bool FindClose(TFindHandle Find) {
    if (!Find)
        return Fail(EBADF);
    if (Find->dir)
        ::closedir(Find->dir);
    delete Find;
    return Ok();
}

}  // namespace velmo
