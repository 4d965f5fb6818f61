#include "render/LibraryBindings.h"

#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <span>
#include <array>
#include <cstring>
#include <exception>
#include <mutex>

#include "platform/files/Stream.h"
#include "platform/gdi/DC.h"
#include "render/PatternDigest.h"

namespace velmo {

namespace {

// ---------------------------------------------------------------------------
// win32 surfaces over device contexts

using TCreateForData = cairo_surface_t* (*)(unsigned char* Data, cairo_format_t Format, int Width,
                                            int Height, int Stride);
using TSetUserData = cairo_status_t (*)(cairo_surface_t* Surface, const cairo_user_data_key_t* Key,
                                        void* Data, cairo_destroy_func_t Destroy);
using TGetUserData = void* (*)(cairo_surface_t* Surface, const cairo_user_data_key_t* Key);
using TSurfaceDestroy = void (*)(cairo_surface_t* Surface);

// What the win32 stand-ins need of one cairo library. They are plain C
// functions without a closure, so each library gets a slot and the
// functions of that slot's number.
struct TSurfaceSlot {
    HMODULE Module = nullptr;
    int Users = 0;
    TCreateForData CreateForData = nullptr;
    TSetUserData SetUserData = nullptr;
    TGetUserData GetUserData = nullptr;
    TSurfaceDestroy Destroy = nullptr;
};

constexpr int kSurfaceSlots = 16;
std::mutex SlotLock;
std::array<TSurfaceSlot, kSurfaceSlots> Slots;

const cairo_user_data_key_t PixelsKey{};

// The pixels behind one of our surfaces: a copy of the device bitmap's
// pixels (Dc set) or a bitmap of its own (Dc null).
struct TSurfacePixels {
    HDC Dc = nullptr;
    int Width = 0, Height = 0;
    std::vector<uint32_t> Data;  // xRGB, rows top-down
};

// Copies the surface's pixels back into the device bitmap, through the
// device context's clip, and frees them; cairo calls it when the surface
// goes.
void ReleasePixels(void* P) {
    std::unique_ptr<TSurfacePixels> Pixels(static_cast<TSurfacePixels*>(P));
    if (Pixels->Dc == nullptr) return;
    WithDcTarget(Pixels->Dc, [&](TBitmap& B, const pixman_region32* Clip) {
        const int W = std::min(B.Width(), Pixels->Width);
        const int H = std::min(B.Height(), Pixels->Height);
        auto Put = [&](int X0, int Y0, int X1, int Y1) {
            X0 = std::max(X0, 0), Y0 = std::max(Y0, 0);
            X1 = std::min(X1, W), Y1 = std::min(Y1, H);
            for (int Y = Y0; Y < Y1; ++Y) {
                const uint32_t* Row = Pixels->Data.data() + size_t(Y) * size_t(Pixels->Width);
                uint8_t* Out = B.ScanLine(Y);
                for (int X = X0; X < X1; ++X) {
                    const uint32_t C = Row[X];
                    const uint8_t R = uint8_t(C >> 16), G = uint8_t(C >> 8), Bl = uint8_t(C);
                    if (B.PixelFormat() == pf24bit) {
                        Out[X * 3] = Bl, Out[X * 3 + 1] = G, Out[X * 3 + 2] = R;
                    } else if (B.PixelFormat() == pf32bit) {
                        Out[X * 4] = Bl, Out[X * 4 + 1] = G, Out[X * 4 + 2] = R;
                    } else {
                        B.SetPixel(X, Y, TColor(R | (G << 8) | (Bl << 16)));
                    }
                }
            }
        };
        if (Clip == nullptr) {
            Put(0, 0, W, H);
            return;
        }
        int N = 0;
        const pixman_box32_t* Boxes =
            pixman_region32_rectangles(const_cast<pixman_region32_t*>(Clip), &N);
        for (int I = 0; I < N; ++I) Put(Boxes[I].x1, Boxes[I].y1, Boxes[I].x2, Boxes[I].y2);
    });
}

cairo_surface_t* SurfaceOver(const TSurfaceSlot& S, std::unique_ptr<TSurfacePixels> Pixels) {
    if (S.CreateForData == nullptr || Pixels->Width <= 0 || Pixels->Height <= 0) return nullptr;
    cairo_surface_t* Surface =
        S.CreateForData(reinterpret_cast<unsigned char*>(Pixels->Data.data()), CAIRO_FORMAT_RGB24,
                        Pixels->Width, Pixels->Height, Pixels->Width * 4);
    if (Surface == nullptr) return nullptr;
    if (S.SetUserData(Surface, &PixelsKey, Pixels.get(), ReleasePixels) != CAIRO_STATUS_SUCCESS) {
        // cairo could not keep the pixels: the surface must not outlive them.
        S.Destroy(Surface);
        return nullptr;
    }
    Pixels.release();
    return Surface;
}

TSurfaceSlot SlotCopy(int N) {
    std::lock_guard<std::mutex> Guard(SlotLock);
    return Slots[size_t(N)];
}

template <int N>
cairo_surface_t* Win32SurfaceCreate(HDC Dc) {
    auto Pixels = std::make_unique<TSurfacePixels>();
    Pixels->Dc = Dc;
    const bool Found = WithDcTarget(Dc, [&](TBitmap& B, const pixman_region32*) {
        Pixels->Width = B.Width();
        Pixels->Height = B.Height();
        if (Pixels->Width <= 0 || Pixels->Height <= 0) return;
        Pixels->Data.resize(size_t(Pixels->Width) * size_t(Pixels->Height));
        for (int Y = 0; Y < Pixels->Height; ++Y) {
            uint32_t* Row = Pixels->Data.data() + size_t(Y) * size_t(Pixels->Width);
            const uint8_t* In = B.ScanLine(Y);
            for (int X = 0; X < Pixels->Width; ++X) {
                uint32_t R, G, Bl;
                if (B.PixelFormat() == pf24bit) {
                    Bl = In[X * 3], G = In[X * 3 + 1], R = In[X * 3 + 2];
                } else if (B.PixelFormat() == pf32bit) {
                    Bl = In[X * 4], G = In[X * 4 + 1], R = In[X * 4 + 2];
                } else {
                    const uint32_t C = uint32_t(B.GetPixel(X, Y));
                    R = C & 0xFF, G = (C >> 8) & 0xFF, Bl = (C >> 16) & 0xFF;
                }
                Row[X] = 0xFF000000u | (R << 16) | (G << 8) | Bl;
            }
        }
    });
    if (!Found) return nullptr;
    return SurfaceOver(SlotCopy(N), std::move(Pixels));
}

template <int N>
cairo_surface_t* Win32SurfaceCreateWithDib(cairo_format_t, int Width, int Height) {
    // A device-independent bitmap of our own, white; no device context.
    if (Width <= 0 || Height <= 0 || int64_t(Width) * Height > (int64_t(1) << 28)) return nullptr;
    auto Pixels = std::make_unique<TSurfacePixels>();
    Pixels->Width = Width;
    Pixels->Height = Height;
    Pixels->Data.assign(size_t(Width) * size_t(Height), 0xFFFFFFFFu);
    return SurfaceOver(SlotCopy(N), std::move(Pixels));
}

template <int N>
HDC Win32SurfaceGetDc(cairo_surface_t* Surface) {
    const TSurfaceSlot S = SlotCopy(N);
    if (Surface == nullptr || S.GetUserData == nullptr) return nullptr;
    auto* Pixels = static_cast<TSurfacePixels*>(S.GetUserData(Surface, &PixelsKey));
    return Pixels != nullptr ? Pixels->Dc : nullptr;
}

struct TWin32Functions {
    TCairoDLL::Tcairo_win32_surface_create Create;
    TCairoDLL::Tcairo_win32_surface_create_with_dib CreateWithDib;
    TCairoDLL::Tcairo_win32_surface_get_dc GetDc;
};

template <int... N>
constexpr std::array<TWin32Functions, sizeof...(N)> MakeWin32Functions(
    std::integer_sequence<int, N...>) {
    return {TWin32Functions{&Win32SurfaceCreate<N>, &Win32SurfaceCreateWithDib<N>,
                            &Win32SurfaceGetDc<N>}...};
}

constexpr auto Win32Functions = MakeWin32Functions(std::make_integer_sequence<int, kSurfaceSlots>());

// The slot serving Module, shared by every binding of that module; -1 when
// all slots are taken.
int TakeSlot(HMODULE Module, const TSurfaceSlot& Functions) {
    std::lock_guard<std::mutex> Guard(SlotLock);
    int Free = -1;
    for (int I = 0; I < kSurfaceSlots; ++I) {
        if (Slots[size_t(I)].Users > 0 && Slots[size_t(I)].Module == Module) {
            ++Slots[size_t(I)].Users;
            return I;
        }
        if (Slots[size_t(I)].Users == 0 && Free < 0) Free = I;
    }
    if (Free < 0) return -1;
    Slots[size_t(Free)] = Functions;
    Slots[size_t(Free)].Module = Module;
    Slots[size_t(Free)].Users = 1;
    return Free;
}

void ReleaseSlot(int N) {
    if (N < 0) return;
    std::lock_guard<std::mutex> Guard(SlotLock);
    if (--Slots[size_t(N)].Users == 0) Slots[size_t(N)] = TSurfaceSlot{};
}

template <typename T>
bool Bind(HMODULE Module, const char* Name, T& Field) {
    Field = reinterpret_cast<T>(GetProcAddress(Module, Name));
    return Field != nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// cairo

TCairoDLL::~TCairoDLL() { Clear(); }

void TCairoDLL::Clear() {
    ReleaseSlot(FSurfaceSlot);
    FSurfaceSlot = -1;
#define VPL_CAIRO_RESET(Name, Result, Params) Name = nullptr;
    VPL_CAIRO_ENTRY_POINTS(VPL_CAIRO_RESET)
#undef VPL_CAIRO_RESET
    cairo_pattern_destroy = nullptr;
    cairo_pattern_create_for_surface = nullptr;
    cairo_image_surface_create_for_data = nullptr;
    cairo_surface_set_user_data = nullptr;
    if (DLLHandle != nullptr) FreeLibrary(DLLHandle);
    DLLHandle = nullptr;
}

bool TCairoDLL::Attach(const std::u16string& DLLFileName) {
    if (DLLFileName.empty()) return false;
    Clear();
    DLLHandle = LoadLibraryW(DLLFileName);
    if (DLLHandle == nullptr) return false;
    bool All = true;
#define VPL_CAIRO_BIND(Name, Result, Params) \
    if (std::strncmp(#Name, "cairo_win32_", 12) != 0) All = Bind(DLLHandle, #Name, Name) && All;
    VPL_CAIRO_ENTRY_POINTS(VPL_CAIRO_BIND)
#undef VPL_CAIRO_BIND
    All = Bind(DLLHandle, "cairo_pattern_destroy", cairo_pattern_destroy) && All;
    All = Bind(DLLHandle, "cairo_pattern_create_for_surface", cairo_pattern_create_for_surface) &&
          All;
    TSurfaceSlot Functions;
    All = Bind(DLLHandle, "cairo_image_surface_create_for_data", Functions.CreateForData) && All;
    All = Bind(DLLHandle, "cairo_surface_set_user_data", Functions.SetUserData) && All;
    All = Bind(DLLHandle, "cairo_surface_get_user_data", Functions.GetUserData) && All;
    Functions.Destroy = cairo_surface_destroy;
    if (All) FSurfaceSlot = TakeSlot(DLLHandle, Functions);
    if (!All || FSurfaceSlot < 0) {
        Clear();
        return false;
    }
    cairo_image_surface_create_for_data = Functions.CreateForData;
    cairo_surface_set_user_data = Functions.SetUserData;
    cairo_win32_surface_create = Win32Functions[size_t(FSurfaceSlot)].Create;
    cairo_win32_surface_create_with_dib = Win32Functions[size_t(FSurfaceSlot)].CreateWithDib;
    cairo_win32_surface_get_dc = Win32Functions[size_t(FSurfaceSlot)].GetDc;
    return true;
}

cairo_operator_t TCairoDLL::GetBlendMode(TPDFBlendMode PDFBlendMode) {
    if (PDFBlendMode == bmNormal || PDFBlendMode > bmLuminosity) return CAIRO_OPERATOR_OVER;
    return static_cast<cairo_operator_t>(int(PDFBlendMode) + 13);
}

cairo_status_t CairoStreamReader(void* Closure, unsigned char* Data, unsigned int Length) {
    auto* Stream = static_cast<TStream*>(Closure);
    if (Stream == nullptr) return CAIRO_STATUS_READ_ERROR;
    try {
        if (Stream->Read(Data, Length) != int64_t(Length)) return CAIRO_STATUS_READ_ERROR;
    } catch (const std::exception&) {
        return CAIRO_STATUS_READ_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
}

// ---------------------------------------------------------------------------
// The renderer library

TKorbexPDFLibraryKPLR::~TKorbexPDFLibraryKPLR() { Clear(); }

void TKorbexPDFLibraryKPLR::Clear() {
#define VPL_KPLR_RESET(Field, Export, Result, Params) Field = nullptr;
    VPL_KPLR_ENTRY_POINTS(VPL_KPLR_RESET)
#undef VPL_KPLR_RESET
    if (DLLHandle != nullptr) FreeLibrary(DLLHandle);
    DLLHandle = nullptr;
}

bool TKorbexPDFLibraryKPLR::Attach(const std::u16string& DLLFileName) {
    if (DLLFileName.empty()) return false;
    Clear();
    DLLHandle = LoadLibraryW(DLLFileName);
    if (DLLHandle == nullptr) return false;
    bool All = true;
#define VPL_KPLR_BIND(Field, Export, Result, Params) All = Bind(DLLHandle, Export, Field) && All;
    VPL_KPLR_ENTRY_POINTS(VPL_KPLR_BIND)
#undef VPL_KPLR_BIND
    if (!All) {
        Clear();
        return false;
    }
    return true;
}

int32_t TKorbexPDFLibraryKPLR::GetBlendMode(TPDFBlendMode PDFBlendMode) {
    return PDFBlendMode <= bmLuminosity ? int32_t(PDFBlendMode) : 0;
}

KPLR_status_t ShadingFunctionCallback(void* Sh, const double* Data, int32_t Length, double* Red,
                                      double* Green, double* Blue) {
    TPDFRGBColor C;
    const auto* const* PatternP = static_cast<const TVPLPattern* const*>(Sh);
    if (PatternP != nullptr && *PatternP != nullptr) {
        // Inputs beyond any function's reach are not copied.
        const int32_t N = Data != nullptr ? std::clamp(Length, 0, 32) : 0;
        const_cast<TVPLPattern*>(*PatternP)->GetFunctionColor(
            std::span<const double>(Data, size_t(N)), C);
        // The library receives 0 … 1 whatever the function gave.
        for (double* V : {&C.Red, &C.Green, &C.Blue})
            *V = std::isfinite(*V) ? std::clamp(*V, 0.0, 1.0) : 0;
    }
    if (Red != nullptr) *Red = C.Red;
    if (Green != nullptr) *Green = C.Green;
    if (Blue != nullptr) *Blue = C.Blue;
    return KPLR_ERROR;
}

KPLR_status_t SoftmaskFunctionCallback(void* Sm, double Data, double* Value) {
    const auto* Mask = static_cast<const TKPLRSoftmaskFunction*>(Sm);
    const double V = Mask != nullptr ? Mask->GetFunctionValue({Data}) : Data;
    if (Value != nullptr) *Value = V;
    return KPLR_SUCCESS;
}

const std::vector<std::string>& KPLRExportNames() {
    static const std::vector<std::string> Names = {
#define VPL_KPLR_NAME(Field, Export, Result, Params) Export,
        VPL_KPLR_ENTRY_POINTS(VPL_KPLR_NAME)
#undef VPL_KPLR_NAME
    };
    return Names;
}

}  // namespace velmo
