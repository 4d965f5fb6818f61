#include "core/GDIPlusBinding.h"

#include <cstddef>
#include <memory>
#include <new>

namespace velmo {

namespace {

// Exact comparison of a NUL-terminated string from the library with Format.
// Stops at the first difference, so it never reads more than Format.size() + 1
// characters of Text.
bool SameText(const GpWCHAR* Text, const std::u16string& Format) {
    if (Text == nullptr) return false;
    for (char16_t C : Format) {
        if (C == 0 || *Text != C) return false;
        ++Text;
    }
    return *Text == 0;
}

}  // namespace

TKVPLGDIPlus::~TKVPLGDIPlus() { GDIPlusFree(); }

void TKVPLGDIPlus::GDIPlusFree() {
    if (GDIPlusHandle != nullptr && !FPiggyBack) FreeLibrary(GDIPlusHandle);
    GDIPlusHandle = nullptr;
    GDIPlusStatus = gpUndefined;
    FPiggyBack = false;
}

TGDIPlusStatus TKVPLGDIPlus::GDIPlusLoad(const char16_t* FileName, bool AllowPiggyBack) {
    GDIPlusFree();
    const std::u16string Name = FileName != nullptr ? std::u16string(FileName) : u"gdiplus.dll";
    HMODULE Handle = nullptr;
    bool Borrowed = false;
    try {
        if (AllowPiggyBack) {
            Handle = GetModuleHandleW(Name);
            Borrowed = Handle != nullptr;
        }
        // No error box can come up here, so there is no error mode to set
        // around the load.
        if (Handle == nullptr) Handle = LoadLibraryW(Name);
    } catch (...) {
        Handle = nullptr;
        Borrowed = false;
    }
    if (Handle == nullptr) {
        GDIPlusStatus = gpMissing;
        return GDIPlusStatus;
    }
    GDIPlusHandle = Handle;
    FPiggyBack = Borrowed;
    GDIPlusStatus = gpReady;
    // Every field is assigned, a missing one with nullptr, so that no field
    // keeps a function of a library bound earlier.
#define VPL_GDIPLUS_BIND(Name, Result, Params)                              \
    Name = reinterpret_cast<T##Name>(GetProcAddress(GDIPlusHandle, #Name)); \
    if (Name == nullptr) GDIPlusStatus = gpIncompatible;
    VPL_GDIPLUS_ENTRY_POINTS(VPL_GDIPLUS_BIND)
#undef VPL_GDIPLUS_BIND
    return GDIPlusStatus;
}

bool TKVPLGDIPlus::GetEncoderClsid(const std::u16string& Format, CLSID& Clsid) const {
    // Fields of a binding that is not ready may be null or point into a
    // library that is gone.
    if (GDIPlusStatus != gpReady) return false;
    uint32_t Count = 0;
    uint32_t Size = 0;
    try {
        if (GdipGetImageEncodersSize(&Count, &Size) != gsOk) Size = 0;
    } catch (...) {
        Size = 0;
    }
    if (Size == 0 || Count == 0) return false;
    // The records come first in the buffer; a size too small to hold them
    // all is the library's error, not something to read past.
    if (static_cast<uint64_t>(Count) * sizeof(ImageCodecInfo) > Size) return false;
    // Zeroed and aligned for the records, so fields the library leaves
    // unwritten read as null.
    std::unique_ptr<std::max_align_t[]> Buffer(
        new (std::nothrow)
            std::max_align_t[(Size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t)]());
    if (!Buffer) return false;
    auto* Codecs = reinterpret_cast<ImageCodecInfo*>(Buffer.get());
    for (uint32_t I = 0; I < Count; ++I) new (&Codecs[I]) ImageCodecInfo();
    try {
        if (GdipGetImageEncoders(Count, Size, Codecs) != gsOk) return false;
    } catch (...) {
        return false;
    }
    for (uint32_t I = 0; I < Count; ++I) {
        if (SameText(Codecs[I].MimeType, Format)) {
            Clsid = Codecs[I].Clsid;
            return true;
        }
    }
    return false;
}

TGPStatus TKVPLGDIPlus::SelectImagePage(GpImage* Image, uint32_t Page) const {
    if (GDIPlusStatus != gpReady) return gsGenericError;
    uint32_t Count = 0;
    if (GdipImageGetFrameCount(Image, &FrameDimensionPage, &Count) != gsOk) return gsGenericError;
    if (Page == 0 || Count < Page) return gsGenericError;
    return GdipImageSelectActiveFrame(Image, &FrameDimensionPage, Page - 1);
}

}  // namespace velmo
