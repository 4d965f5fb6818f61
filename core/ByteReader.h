// A forward-reading cursor over bytes from a byte string, a memory block, a
// byte array, a stream or a file: bounded reads of bytes, little-endian
// integers and strings, and scanners that measure the distance to the next
// byte of a kind without moving the cursor.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/Stream.h"

namespace velmo {

// The engine's dynamic array of bytes.
using TVPLByteArray = std::vector<std::uint8_t>;

enum TVPLBufferSource { bsAnsiString, bsPointer, bsByteArray, bsStream };

class TVPLBuffer {
public:
    TVPLBuffer() { Reset(); }
    ~TVPLBuffer() { Reset(); }
    TVPLBuffer(const TVPLBuffer&) = delete;
    TVPLBuffer& operator=(const TVPLBuffer&) = delete;

    // Frees an owned stream and leaves an empty byte-array buffer.
    void Reset();

    // The buffer keeps its own copy of the string.
    void SetAnsiStringSource(std::string Source);
    // Reads Length bytes at Data, which the caller keeps alive.
    void SetPointerSource(const void* Data, std::uint32_t Length);
    void SetByteArraySource(const TVPLByteArray& ByteArray);
    // Reads Stream (not owned); BufferLength is its size now.
    void SetStreamSource(TStream* Stream);
    // Opens the file for reading, denying writes to others; the buffer owns
    // the stream. Raises EFCreateError when the file cannot be opened.
    void SetFileSource(const std::u16string& FileName);

    std::int64_t Position() const { return FPosition; }
    // Accepted only for 0 <= Value <= BufferLength.
    void SetPosition(std::int64_t Value);
    std::int64_t BufferLength() const { return FBufferLength; }
    // Cuts or extends the source; negative values are ignored. A pointer
    // source accepts at most its block size. The position is not adjusted.
    void SetBufferLength(std::int64_t Value);
    TVPLBufferSource SourceType() const { return FSourceType; }

    // The next ByteCount bytes, fewer when the data ends.
    TVPLByteArray ReadByteArray(int ByteCount);
    // One byte; 0 at the end of data.
    std::uint8_t ReadByte();
    // Little-endian numbers; 0 when fewer bytes were left (the position
    // still moves past those that were there).
    std::uint16_t ReadWord();
    std::uint32_t ReadCardinal();
    std::int32_t ReadInteger();
    // The next StringLength bytes (fewer at the end; negative counts as 0).
    std::string ReadAnsiString(int StringLength);

    // Offsets from Position of the first byte equal to Value, different from
    // Value, or none of Values, searching to the end of the data; -1 when
    // there is none. The position is unchanged.
    std::int64_t DistanceToByte(std::uint8_t Value);
    std::int64_t DistanceToOtherByte(std::uint8_t Value);
    std::int64_t DistanceToOtherBytes(const TVPLByteArray& Values);
    // Offset of the first byte that is one of Values, looking at most 1024
    // bytes ahead; -1 when none of those matches.
    std::int64_t DistanceToAnyByte(const TVPLByteArray& Values);

private:
    static constexpr std::int64_t kChunk = 1024;

    // Copies up to Count bytes from the position into Dest without moving
    // the position; returns the number copied.
    std::int64_t Peek(std::uint8_t* Dest, std::int64_t Count);
    // The readable bytes of a memory source (string, array, pointer).
    std::string_view MemoryView() const;
    template <typename Match>
    std::int64_t Scan(Match&& match, bool toEnd);

    std::int64_t FPosition = 0;
    std::int64_t FBufferLength = 0;
    TVPLBufferSource FSourceType = bsByteArray;
    std::string FAnsiStringSource;
    TVPLByteArray FByteArraySource;
    TStream* FStreamSource = nullptr;
    const void* FPointerSource = nullptr;
    std::int64_t FPointerMax = 0;
    bool FFreeStream = false;
};

}  // namespace velmo
