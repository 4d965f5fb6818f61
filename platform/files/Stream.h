// The byte streams every subsystem reads and writes through: an abstract
// seekable stream, a stream held in memory and one over a byte string.
// Positions and sizes are 64-bit; Read and Write move at most Count bytes and
// return how many they moved, while ReadBuffer and WriteBuffer move all of
// them or raise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmo {

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Base of the stream errors.
class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
// A file could not be created or opened for a stream.
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
// The operating system refused a call; Code is its error number.
class EOSError : public std::runtime_error {
public:
    EOSError(int code, const std::string& message) : std::runtime_error(message), Code(code) {}
    int Code;
};

class TStream {
public:
    virtual ~TStream() = default;

    // Moves at most Count bytes; returns the number moved (0 at the end or on
    // failure, never negative).
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
    // New position, or -1 when the position cannot be set.
    virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

    // The default size comes from seeking to the end and back.
    virtual int64_t GetSize();
    // Streams that cannot change their size ignore the call.
    virtual void SetSize(int64_t NewSize);

    int64_t Size() { return GetSize(); }
    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }

    // Reads exactly Count bytes or raises EReadError.
    void ReadBuffer(void* Buffer, int64_t Count);
    // Writes exactly Count bytes or raises EWriteError.
    void WriteBuffer(const void* Buffer, int64_t Count);
    void WriteBuffer(std::string_view Bytes) { WriteBuffer(Bytes.data(), int64_t(Bytes.size())); }

    // Copies Count bytes from Source's current position (Count 0: the whole
    // of Source from position 0). Raises when Source runs short.
    int64_t CopyFrom(TStream& Source, int64_t Count);
};

// A stream held in memory. The bytes are a std::string whose capacity grows
// geometrically, so appending byte by byte stays linear.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t GetSize() override { return int64_t(FData.size()); }
    void SetSize(int64_t NewSize) override;

    void Clear();
    // Replaces the content with the whole of Source (read from position 0);
    // the position becomes 0.
    void LoadFromStream(TStream& Source);
    // Writes the whole content to Stream at its position.
    void SaveToStream(TStream& Stream);

    char* Memory() { return FData.data(); }
    const char* Memory() const { return FData.data(); }
    // The content as bytes; valid until the next change.
    const std::string& Bytes() const { return FData; }

protected:
    std::string FData;
    int64_t FPosition = 0;
};

// A memory stream made from, and read back as, a byte string.
class TStringStream : public TMemoryStream {
public:
    TStringStream() = default;
    explicit TStringStream(std::string Data) { FData = std::move(Data); }
    const std::string& DataString() const { return FData; }
};

}  // namespace velmo
