// A stream over an open file handle of the wide file layer, and the safe way
// of writing a file that may replace another.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/files/Stream.h"

namespace velmo {

// Reads, writes and seeks a file handle it does not open; it closes the
// handle on destruction when it owns it.
class THandleStream : public TStream {
public:
    explicit THandleStream(int Handle, bool OwnsHandle = false)
        : FHandle(Handle), FOwnsHandle(OwnsHandle) {}
    ~THandleStream() override;
    THandleStream(const THandleStream&) = delete;
    THandleStream& operator=(const THandleStream&) = delete;

    // The bytes moved; 0 when the call fails.
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    // New position, -1 when refused.
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    // Moves the position to NewSize and makes it the end of the file; raises
    // EOSError when refused.
    void SetSize(int64_t NewSize) override;

    int Handle() const { return FHandle; }

protected:
    THandleStream() = default;
    int FHandle = -1;
    bool FOwnsHandle = true;
};

// Writes a file through a temporary file in the same folder that replaces
// FileName only once Write has returned, so a failure leaves any existing
// file as it was. Write's exceptions, and EFCreateError("Error") when the
// file cannot be made or put in place, propagate after the temporary file
// is removed.
void WriteFileReplacing(const std::u16string& FileName, const std::function<void(TStream&)>& Write);

}  // namespace velmo
