// Run-time binding of the GDI+ flat API ("gdiplus.dll").
//
// Nothing is linked statically: the binding loads the library by name, looks
// up every entry point it knows into a function-pointer field of the same
// name, and reports a missing library or a missing entry point as a status
// rather than failing. The canvas that owns a binding falls back to plain GDI
// when the status is not gpReady.
//
// Records (codec information, encoder parameters, property items, start-up
// records) are declared with the fields the platform documents, so their
// size and layout follow the pointer width of the build. Handles of the
// library's objects are pointers to opaque structures.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdiplus/GdiPlusFlat.h"
#include "platform/modules/Modules.h"

namespace velmo {

class TKVPLGDIPlus {
public:
#define VPL_GDIPLUS_FIELD_TYPE(Name, Result, Params) using T##Name = Result(*) Params;
    VPL_GDIPLUS_ENTRY_POINTS(VPL_GDIPLUS_FIELD_TYPE)
#undef VPL_GDIPLUS_FIELD_TYPE

    TKVPLGDIPlus() = default;
    ~TKVPLGDIPlus();
    TKVPLGDIPlus(const TKVPLGDIPlus&) = delete;
    TKVPLGDIPlus& operator=(const TKVPLGDIPlus&) = delete;

    // Drops what is bound, then loads FileName (nullptr: "gdiplus.dll") and
    // binds every entry point. With AllowPiggyBack, a library that is already
    // loaded is used as it is, without counting a load of our own, and is
    // never unloaded by this binding.
    TGDIPlusStatus GDIPlusLoad(const char16_t* FileName, bool AllowPiggyBack);
    // Unloads the library unless it piggy-backs; back to gpUndefined. The
    // function fields keep their values and must not be called afterwards.
    void GDIPlusFree();

    // Class id of the encoder whose MIME type equals Format exactly (letter
    // case counts). False when there is none, when the binding is not ready or
    // when the library fails the request (for instance before start-up).
    bool GetEncoderClsid(const std::u16string& Format, CLSID& Clsid) const;
    // Makes page Page (1-based) of a multi-page image the active frame.
    // gsGenericError when the binding is not ready, when the page count
    // cannot be read, or when Page is 0 or beyond the last page.
    TGPStatus SelectImagePage(GpImage* Image, uint32_t Page) const;

    bool PiggyBack() const { return FPiggyBack; }

private:
    bool FPiggyBack = false;

public:
    HMODULE GDIPlusHandle = nullptr;
    TGDIPlusStatus GDIPlusStatus = gpUndefined;

#define VPL_GDIPLUS_FIELD(Name, Result, Params) T##Name Name = nullptr;
    VPL_GDIPLUS_ENTRY_POINTS(VPL_GDIPLUS_FIELD)
#undef VPL_GDIPLUS_FIELD
};

}  // namespace velmo
