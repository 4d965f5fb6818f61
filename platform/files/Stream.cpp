#include "platform/files/Stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace velmo {

int64_t TStream::GetSize() {
    int64_t pos = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
    if (Count <= 0)
        return;
    if (Read(Buffer, Count) != Count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
    if (Count <= 0)
        return;
    if (Write(Buffer, Count) != Count)
        throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
    if (Count == 0) {
        Source.Seek(0, soBeginning);
        Count = Source.Size();
    }
    if (Count <= 0)
        return 0;
    constexpr int64_t kChunk = 1 << 16;
    std::string buf(size_t(std::min(Count, kChunk)), '\0');
    int64_t left = Count;
    while (left > 0) {
        int64_t n = std::min(left, kChunk);
        Source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        left -= n;
    }
    return Count;
}

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
    int64_t size = int64_t(FData.size());
    if (Count <= 0 || FPosition >= size)
        return 0;
    int64_t n = std::min(Count, size - FPosition);
    std::memcpy(Buffer, FData.data() + FPosition, size_t(n));
    FPosition += n;
    return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0)
        return 0;
    if (FPosition > std::numeric_limits<int64_t>::max() - Count)
        return 0;
    int64_t end = FPosition + Count;
    if (end > int64_t(FData.size())) {
        if (size_t(end) > FData.max_size())
            return 0;
        FData.resize(size_t(end));
    }
    std::memcpy(FData.data() + FPosition, Buffer, size_t(Count));
    FPosition = end;
    return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    int64_t base = 0;
    switch (Origin) {
        case soBeginning:
            base = 0;
            break;
        case soCurrent:
            base = FPosition;
            break;
        case soEnd:
            base = int64_t(FData.size());
            break;
        default:
            return -1;
    }
    if ((Offset > 0 && base > std::numeric_limits<int64_t>::max() - Offset) || base + Offset < 0)
        return -1;
    FPosition = base + Offset;
    return FPosition;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    if (NewSize < 0)
        NewSize = 0;
    FData.resize(size_t(NewSize));
    if (FPosition > NewSize)
        FPosition = NewSize;
}

void TMemoryStream::Clear() {
    FData.clear();
    FData.shrink_to_fit();
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Source) {
    Source.Seek(0, soBeginning);
    int64_t size = Source.Size();
    FData.assign(size_t(std::max<int64_t>(size, 0)), '\0');
    FPosition = 0;
    if (size > 0)
        Source.ReadBuffer(FData.data(), size);
}

void TMemoryStream::SaveToStream(TStream& Stream) {
    Stream.WriteBuffer(FData.data(), int64_t(FData.size()));
}

}  // namespace velmo
