#include "platform/com/StreamAdapter.h"

#include <limits>

namespace velmo {

const TGUID IStream::IID = {
    0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {
// IUnknown and ISequentialStream, which IStream extends.
constexpr TGUID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr TGUID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
}  // namespace

HRESULT IStream::QueryInterface(const TGUID& Iid, void** Object) {
    if (Object == nullptr) return E_POINTER;
    if (Iid == IID || Iid == IID_IUnknown || Iid == IID_ISequentialStream) {
        AddRef();
        *Object = this;
        return S_OK;
    }
    *Object = nullptr;
    return E_NOINTERFACE;
}

uint32_t IStream::AddRef() { return ++FRefCount; }

uint32_t IStream::Release() {
    const uint32_t Left = --FRefCount;
    if (Left == 0) delete this;
    return Left;
}

HRESULT TStreamAdapter::Read(void* Buffer, uint32_t Count, uint32_t* Done) {
    if (Done != nullptr) *Done = 0;
    if (Buffer == nullptr && Count > 0) return E_POINTER;
    int64_t Got = 0;
    try {
        Got = FStream.Read(Buffer, Count);
    } catch (...) {
        return STG_E_READFAULT;
    }
    if (Got < 0) Got = 0;
    if (Done != nullptr) *Done = uint32_t(Got);
    return uint32_t(Got) == Count ? S_OK : S_FALSE;
}

HRESULT TStreamAdapter::Write(const void* Buffer, uint32_t Count, uint32_t* Done) {
    if (Done != nullptr) *Done = 0;
    if (Buffer == nullptr && Count > 0) return E_POINTER;
    int64_t Put = 0;
    try {
        Put = FStream.Write(Buffer, Count);
    } catch (...) {
        return STG_E_WRITEFAULT;
    }
    if (Put < 0) Put = 0;
    if (Done != nullptr) *Done = uint32_t(Put);
    return uint32_t(Put) == Count ? S_OK : STG_E_WRITEFAULT;
}

HRESULT TStreamAdapter::Seek(int64_t Move, uint32_t Origin, uint64_t* NewPosition) {
    TSeekOrigin From;
    switch (Origin) {
        case STREAM_SEEK_SET:
            From = soBeginning;
            break;
        case STREAM_SEEK_CUR:
            From = soCurrent;
            break;
        case STREAM_SEEK_END:
            From = soEnd;
            break;
        default:
            return STG_E_INVALIDFUNCTION;
    }
    int64_t Pos = -1;
    try {
        Pos = FStream.Seek(Move, From);
    } catch (...) {
        Pos = -1;
    }
    if (Pos < 0) return STG_E_SEEKERROR;
    if (NewPosition != nullptr) *NewPosition = uint64_t(Pos);
    return S_OK;
}

HRESULT TStreamAdapter::SetSize(uint64_t NewSize) {
    if (NewSize > uint64_t(std::numeric_limits<int64_t>::max())) return E_INVALIDARG;
    try {
        FStream.SetSize(int64_t(NewSize));
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT TStreamAdapter::Stat(uint64_t* Size) {
    if (Size == nullptr) return E_POINTER;
    int64_t N = -1;
    try {
        N = FStream.GetSize();
    } catch (...) {
        N = -1;
    }
    if (N < 0) return E_FAIL;
    *Size = uint64_t(N);
    return S_OK;
}

}  // namespace velmo
