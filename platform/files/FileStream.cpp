#include "platform/files/FileStream.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/files/WideFile.h"

namespace velmo {

THandleStream::~THandleStream() {
    if (FOwnsHandle && FHandle != -1)
        CloseHandle(FHandle);
}

int64_t THandleStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0)
        return 0;
    // Requests beyond what one call moves are split into calls of 1 GiB.
    int64_t total = 0;
    auto* p = static_cast<char*>(Buffer);
    while (total < Count) {
        uint32_t n = uint32_t(std::min<int64_t>(Count - total, int64_t(1) << 30));
        uint32_t done = 0;
        if (!ReadFile(FHandle, p + total, n, &done))
            return total;
        total += done;
        if (done < n)
            break;
    }
    return total;
}

int64_t THandleStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0)
        return 0;
    int64_t total = 0;
    auto* p = static_cast<const char*>(Buffer);
    while (total < Count) {
        uint32_t n = uint32_t(std::min<int64_t>(Count - total, int64_t(1) << 30));
        uint32_t done = 0;
        bool ok = WriteFile(FHandle, p + total, n, &done);
        total += done;
        if (!ok || done < n)
            break;
    }
    return total;
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    int64_t pos = -1;
    if (!SetFilePointerEx(FHandle, Offset, &pos, uint32_t(Origin)))
        return -1;
    return pos;
}

void THandleStream::SetSize(int64_t NewSize) {
    // A refused move must not cut the file at the old position instead.
    if (NewSize < 0 || Seek(NewSize, soBeginning) != NewSize || !SetEndOfFile(FHandle)) {
        int err = NewSize < 0 ? EINVAL : GetLastError();
        throw EOSError(err, "System Error. Code: " + std::to_string(err) + ". " +
                                std::strerror(err));
    }
}

void WriteFileReplacing(const std::u16string& FileName, const std::function<void(TStream&)>& Write) {
    static std::atomic<unsigned> counter{0};
    std::u16string temp;
    int h = -1;
    for (int attempt = 0; attempt < 100 && h == -1; ++attempt) {
        std::string suffix = ".~" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        temp = FileName + std::u16string(suffix.begin(), suffix.end());
        h = CreateFileW(temp, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (h == -1 && GetLastError() != EEXIST)
            break;
    }
    if (h == -1)
        throw EFCreateError("Error");
    {
        THandleStream stream(h, true);
        try {
            Write(stream);
        } catch (...) {
            DeleteFileW(temp);
            throw;
        }
    }
    if (!MoveFileExW(temp, FileName, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temp);
        throw EFCreateError("Error");
    }
}

}  // namespace velmo
