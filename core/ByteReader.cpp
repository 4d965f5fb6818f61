#include "core/ByteReader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/FileHelpers.h"

namespace velmo {

void TVPLBuffer::Reset() {
    if (FFreeStream) delete FStreamSource;
    FSourceType = bsByteArray;
    FPosition = 0;
    FBufferLength = 0;
    FAnsiStringSource.clear();
    FByteArraySource.clear();
    FStreamSource = nullptr;
    FPointerSource = nullptr;
    FPointerMax = 0;
    FFreeStream = false;
}

void TVPLBuffer::SetAnsiStringSource(std::string Source) {
    Reset();
    FSourceType = bsAnsiString;
    FAnsiStringSource = std::move(Source);
    FBufferLength = static_cast<std::int64_t>(FAnsiStringSource.size());
}

void TVPLBuffer::SetPointerSource(const void* Data, std::uint32_t Length) {
    Reset();
    FSourceType = bsPointer;
    FPointerSource = Data;
    FPointerMax = Data ? Length : 0;
    FBufferLength = FPointerMax;
}

void TVPLBuffer::SetByteArraySource(const TVPLByteArray& ByteArray) {
    Reset();
    FSourceType = bsByteArray;
    FByteArraySource = ByteArray;
    FBufferLength = static_cast<std::int64_t>(FByteArraySource.size());
}

void TVPLBuffer::SetStreamSource(TStream* Stream) {
    Reset();
    FSourceType = bsStream;
    FStreamSource = Stream;
    FBufferLength = Stream ? std::max<std::int64_t>(0, Stream->Size()) : 0;
}

void TVPLBuffer::SetFileSource(const std::u16string& FileName) {
    Reset();
    auto stream =
        std::make_unique<TVelmoPDFWideFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
    SetStreamSource(stream.get());
    FStreamSource = stream.release();
    FFreeStream = true;
}

void TVPLBuffer::SetPosition(std::int64_t Value) {
    if (Value >= 0 && Value <= FBufferLength) FPosition = Value;
}

void TVPLBuffer::SetBufferLength(std::int64_t Value) {
    if (Value < 0) return;
    switch (FSourceType) {
        case bsAnsiString:
            FAnsiStringSource.resize(static_cast<std::size_t>(Value));
            FBufferLength = Value;
            break;
        case bsByteArray:
            FByteArraySource.resize(static_cast<std::size_t>(Value));
            FBufferLength = Value;
            break;
        case bsStream:
            if (FStreamSource) FStreamSource->SetSize(Value);
            FBufferLength = Value;
            break;
        case bsPointer:
            FBufferLength = std::min(Value, FPointerMax);
            break;
    }
}

std::string_view TVPLBuffer::MemoryView() const {
    switch (FSourceType) {
        case bsAnsiString:
            return std::string_view(FAnsiStringSource)
                .substr(0, static_cast<std::size_t>(FBufferLength));
        case bsByteArray:
            return std::string_view(reinterpret_cast<const char*>(FByteArraySource.data()),
                                    std::min<std::size_t>(FByteArraySource.size(),
                                                          static_cast<std::size_t>(FBufferLength)));
        case bsPointer:
            if (!FPointerSource) return {};
            return std::string_view(static_cast<const char*>(FPointerSource),
                                    static_cast<std::size_t>(std::min(FBufferLength, FPointerMax)));
        case bsStream:
            break;
    }
    return {};
}

std::int64_t TVPLBuffer::Peek(std::uint8_t* Dest, std::int64_t Count) {
    if (Count <= 0 || FPosition >= FBufferLength) return 0;
    Count = std::min(Count, FBufferLength - FPosition);
    if (FSourceType != bsStream) {
        std::string_view view = MemoryView();
        if (static_cast<std::size_t>(FPosition) >= view.size()) return 0;
        Count = std::min<std::int64_t>(Count, static_cast<std::int64_t>(view.size()) - FPosition);
        std::memcpy(Dest, view.data() + FPosition, static_cast<std::size_t>(Count));
        return Count;
    }
    if (!FStreamSource) return 0;
    FStreamSource->Seek(FPosition, soBeginning);
    std::int64_t got = 0;
    while (got < Count) {
        std::int64_t n = FStreamSource->Read(Dest + got, Count - got);
        if (n <= 0) break;
        got += n;
    }
    return got;
}

TVPLByteArray TVPLBuffer::ReadByteArray(int ByteCount) {
    TVPLByteArray out;
    if (ByteCount <= 0 || FPosition >= FBufferLength) return out;
    out.resize(
        static_cast<std::size_t>(std::min<std::int64_t>(ByteCount, FBufferLength - FPosition)));
    std::int64_t got = Peek(out.data(), static_cast<std::int64_t>(out.size()));
    out.resize(static_cast<std::size_t>(got));
    FPosition += got;
    return out;
}

std::uint8_t TVPLBuffer::ReadByte() {
    std::uint8_t b = 0;
    FPosition += Peek(&b, 1);
    return b;
}

std::uint16_t TVPLBuffer::ReadWord() {
    std::uint8_t b[2];
    std::int64_t got = Peek(b, 2);
    FPosition += got;
    return got == 2 ? static_cast<std::uint16_t>(b[0] | b[1] << 8) : 0;
}

std::uint32_t TVPLBuffer::ReadCardinal() {
    std::uint8_t b[4];
    std::int64_t got = Peek(b, 4);
    FPosition += got;
    if (got != 4) return 0;
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

std::int32_t TVPLBuffer::ReadInteger() { return static_cast<std::int32_t>(ReadCardinal()); }

std::string TVPLBuffer::ReadAnsiString(int StringLength) {
    std::string out;
    if (StringLength <= 0 || FPosition >= FBufferLength) return out;
    out.resize(
        static_cast<std::size_t>(std::min<std::int64_t>(StringLength, FBufferLength - FPosition)));
    std::int64_t got =
        Peek(reinterpret_cast<std::uint8_t*>(out.data()), static_cast<std::int64_t>(out.size()));
    out.resize(static_cast<std::size_t>(got));
    FPosition += got;
    return out;
}

template <typename Match>
std::int64_t TVPLBuffer::Scan(Match&& match, bool toEnd) {
    if (FSourceType != bsStream) {
        std::string_view view = MemoryView();
        if (static_cast<std::size_t>(FPosition) >= view.size()) return -1;
        view.remove_prefix(static_cast<std::size_t>(FPosition));
        if (!toEnd) view = view.substr(0, kChunk);
        for (std::size_t i = 0; i < view.size(); ++i)
            if (match(static_cast<std::uint8_t>(view[i]))) return static_cast<std::int64_t>(i);
        return -1;
    }
    // Streams are read in chunks; the position is restored afterwards.
    const std::int64_t saved = FPosition;
    std::array<std::uint8_t, kChunk> chunk;
    std::int64_t offset = 0;
    std::int64_t result = -1;
    for (;;) {
        std::int64_t got = Peek(chunk.data(), kChunk);
        for (std::int64_t i = 0; i < got; ++i)
            if (match(chunk[static_cast<std::size_t>(i)])) {
                result = offset + i;
                break;
            }
        if (result >= 0 || got < kChunk || !toEnd) break;
        offset += got;
        FPosition += got;
    }
    FPosition = saved;
    return result;
}

std::int64_t TVPLBuffer::DistanceToByte(std::uint8_t Value) {
    return Scan([Value](std::uint8_t b) { return b == Value; }, true);
}

std::int64_t TVPLBuffer::DistanceToOtherByte(std::uint8_t Value) {
    return Scan([Value](std::uint8_t b) { return b != Value; }, true);
}

std::int64_t TVPLBuffer::DistanceToOtherBytes(const TVPLByteArray& Values) {
    std::array<bool, 256> set{};
    for (std::uint8_t v : Values) set[v] = true;
    return Scan([&set](std::uint8_t b) { return !set[b]; }, true);
}

std::int64_t TVPLBuffer::DistanceToAnyByte(const TVPLByteArray& Values) {
    std::array<bool, 256> set{};
    for (std::uint8_t v : Values) set[v] = true;
    return Scan([&set](std::uint8_t b) { return set[b]; }, false);
}

}  // namespace velmo
