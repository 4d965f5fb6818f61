// The COM stream interface through which image libraries read and write
// bytes, and an adapter that presents a TStream through it.
//
// Streams are reference counted: a new adapter holds one reference, Release
// frees it when the last one goes. The adapter never owns the TStream it
// wraps; the caller keeps that alive while the adapter is in use.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/files/Stream.h"

namespace velmo {

using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = int32_t(0x80004002);
constexpr HRESULT E_POINTER = int32_t(0x80004003);
constexpr HRESULT E_FAIL = int32_t(0x80004005);
constexpr HRESULT E_INVALIDARG = int32_t(0x80070057);
constexpr HRESULT STG_E_INVALIDFUNCTION = int32_t(0x80030001);
constexpr HRESULT STG_E_SEEKERROR = int32_t(0x80030019);
constexpr HRESULT STG_E_WRITEFAULT = int32_t(0x8003001D);
constexpr HRESULT STG_E_READFAULT = int32_t(0x8003001E);

constexpr bool SUCCEEDED(HRESULT R) { return R >= 0; }
constexpr bool FAILED(HRESULT R) { return R < 0; }

struct TGUID {
    uint32_t D1 = 0;
    uint16_t D2 = 0;
    uint16_t D3 = 0;
    uint8_t D4[8] = {};
};

inline bool operator==(const TGUID& A, const TGUID& B) {
    if (A.D1 != B.D1 || A.D2 != B.D2 || A.D3 != B.D3) return false;
    for (int I = 0; I < 8; ++I)
        if (A.D4[I] != B.D4[I]) return false;
    return true;
}

// Seek origins of IStream::Seek.
constexpr uint32_t STREAM_SEEK_SET = 0;
constexpr uint32_t STREAM_SEEK_CUR = 1;
constexpr uint32_t STREAM_SEEK_END = 2;

class IStream {
public:
    // The interface id of IStream itself.
    static const TGUID IID;

    // Another interface of the same object; E_NOINTERFACE when it has none.
    // IStream and its base interfaces give the object itself (with a
    // reference added).
    virtual HRESULT QueryInterface(const TGUID& Iid, void** Object);
    uint32_t AddRef();
    // Frees the object when the count reaches 0; returns the count left.
    uint32_t Release();

    // Reads up to Count bytes; S_FALSE when fewer came (the end was reached).
    virtual HRESULT Read(void* Buffer, uint32_t Count, uint32_t* Done) = 0;
    virtual HRESULT Write(const void* Buffer, uint32_t Count, uint32_t* Done) = 0;
    virtual HRESULT Seek(int64_t Move, uint32_t Origin, uint64_t* NewPosition) = 0;
    virtual HRESULT SetSize(uint64_t NewSize) = 0;
    // The size in bytes.
    virtual HRESULT Stat(uint64_t* Size) = 0;

protected:
    IStream() = default;
    virtual ~IStream() = default;

private:
    std::atomic<uint32_t> FRefCount{1};
};

// An IStream over a TStream held by reference.
class TStreamAdapter : public IStream {
public:
    explicit TStreamAdapter(TStream& Stream) : FStream(Stream) {}

    HRESULT Read(void* Buffer, uint32_t Count, uint32_t* Done) override;
    HRESULT Write(const void* Buffer, uint32_t Count, uint32_t* Done) override;
    HRESULT Seek(int64_t Move, uint32_t Origin, uint64_t* NewPosition) override;
    HRESULT SetSize(uint64_t NewSize) override;
    HRESULT Stat(uint64_t* Size) override;

    TStream& Stream() { return FStream; }

private:
    TStream& FStream;
};

}  // namespace velmo
