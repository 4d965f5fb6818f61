#include "render/Picasso.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "core/Unicode.h"
#include "platform/gdi/DC.h"
#include "platform/metafile/MetafileRecorder.h"

namespace velmo {

namespace {

std::atomic<TPrintBitmapPassThroughProc> PassThroughHook{nullptr};

bool Finite(double V) { return std::isfinite(V); }

// GDI coordinates: nearest integer, ties to even, kept well inside int.
int32_t RoundCoord(double V) {
    const double R = std::nearbyint(std::clamp(V, -1073741824.0, 1073741824.0));
    return static_cast<int32_t>(R);
}

uint8_t AlphaByte(double Alpha) {
    // NaN counts as fully transparent; anything outside 0 … 1 is clamped.
    if (!(Alpha >= 0)) Alpha = 0;
    if (Alpha > 1) Alpha = 1;
    return static_cast<uint8_t>(std::nearbyint(Alpha * 255));
}

double ClampAlpha(double Alpha) {
    if (!(Alpha >= 0)) return 0;
    return Alpha > 1 ? 1 : Alpha;
}

GpARGB ToARGB(uint32_t Color, double Alpha) {
    const uint32_t R = Color & 0xFF, G = (Color >> 8) & 0xFF, B = (Color >> 16) & 0xFF;
    return (GpARGB(AlphaByte(Alpha)) << 24) | (R << 16) | (G << 8) | B;
}

// The folder of the running program, with its trailing separator. The path
// is read as at most 2,000 characters.
std::u16string ProgramFolder() {
    char Buffer[2048];
    const ssize_t N = readlink("/proc/self/exe", Buffer, 2000);
    if (N <= 0) return {};
    std::string Path(Buffer, static_cast<size_t>(N));
    const size_t Cut = Path.find_last_of("/\\:");
    if (Cut == std::string::npos) return {};
    return UTF8ToWide(std::string_view(Path).substr(0, Cut + 1));
}

}  // namespace

// Calls of the optional libraries: a missing export is skipped rather than
// called.
#define VPL_CAIRO(Name, ...) \
    if (FCairoDLL && FCairoDLL->Name) FCairoDLL->Name(__VA_ARGS__)
#define VPL_KPLR(Name, ...) \
    if (FRendererDLL && FRendererDLL->Name) FRendererDLL->Name(__VA_ARGS__)

void InitGDIPlusSettings(TGDIPlusSettings& Settings) {
    Settings = TGDIPlusSettings{};
    Settings.FileName = u"gdiplus.dll";
    Settings.Smoothing = true;
    Settings.UseGDIPlus = true;
    Settings.AccurateInterpolation = true;
    Settings.SmoothImages = false;
    Settings.ProcessNullPath = true;
    Settings.MonoThreshold = 0;
    Settings.DLLSuppressBackgroundThread = true;
    Settings.DLLAllowPiggyBack = false;
    Settings.DLLStartup = dsNotIfPiggyback;
    Settings.UpdateAppearanceStreams = 0;
    Settings.RenderFormFields = true;
    Settings.RenderAnnotations = true;
    Settings.UseGammaCorrection = true;
    Settings.IgnoreICCProfiles = false;
    Settings.RenderFormFieldsOnly = false;
    Settings.IsPrinting = false;
    Settings.EnhanceThinLines = 0;
    Settings.SmoothingMode = 0;
    Settings.InterpolationMode = 0;
    Settings.PixelOffsetMode = 0;
    Settings.PathCombineMode = cmNormalPaths;
    Settings.DirectFonts = false;
    Settings.ProgressWindow = nullptr;
    Settings.ProgressMessage = 0;
    Settings.ProgressData = 0;
    Settings.PrintMode = 0;
}

bool PrintBitmapPassThrough(HDC DC, TBitmap& BM, int32_t Left, int32_t Top, int32_t Width,
                            int32_t Height, int32_t PrintMode) {
    TPrintBitmapPassThroughProc Hook = PassThroughHook.load();
    return Hook != nullptr && Hook(DC, BM, Left, Top, Width, Height, PrintMode);
}

TPrintBitmapPassThroughProc SetPrintBitmapPassThroughHook(TPrintBitmapPassThroughProc Hook) {
    return PassThroughHook.exchange(Hook);
}

// ---------------------------------------------------------------------------
// Construction, models, finishing

TPDFPicasso::TPDFPicasso()
    : FCustomColors(std::make_unique<TVelmoPDFStringList>()), FClipRegions(100, nullptr) {}

TPDFPicasso::~TPDFPicasso() {
    switch (FModel) {
        case pmGDIPlus:
            if (FGDIPlus && FGDIPlus->GDIPlusStatus == gpReady) {
                while (!FMaskLayers.empty()) EndMaskLayer({});
                if (FMetafileInfo.UseMetafile) {
                    if (FMetafileInfo.MetafileHandle != nullptr)
                        FGDIPlus->GdipDisposeImage(
                            reinterpret_cast<GpImage*>(FMetafileInfo.MetafileHandle));
                    FMetafileInfo.MetafileHandle = nullptr;
                }
                for (int32_t I = 0; I < FClipRegionCount; ++I)
                    if (FClipRegions[size_t(I)] != nullptr)
                        FGDIPlus->GdipDeleteRegion(FClipRegions[size_t(I)]);
                FClipRegionCount = 0;
                if (FPath != nullptr) FGDIPlus->GdipDeletePath(FPath);
                FPath = nullptr;
                if (FGraphics != nullptr) FGDIPlus->GdipDeleteGraphics(FGraphics);
                if (FGDIPlusCallStartup) {
                    if (FSettings.DLLSuppressBackgroundThread &&
                        FGDIPlusStartupOutput.NotificationUnhook != nullptr)
                        FGDIPlusStartupOutput.NotificationUnhook(FGDIPlusThreadToken);
                    FGDIPlus->GdiplusShutdown(FToken);
                }
            }
            FGraphics = nullptr;
            FToken = 0;
            FGDIPlus.reset();
            break;
        case pmCairo:
            VPL_CAIRO(cairo_destroy, FCairoHandle);
            VPL_CAIRO(cairo_surface_destroy, FCairoSurface);
            FCairoHandle = nullptr;
            FCairoSurface = nullptr;
            FCairoDLL.reset();
            break;
        case pmKPLR:
            VPL_KPLR(KPLR_renderer_destroy, FRendererHandle);
            FRendererHandle = nullptr;
            FRendererDLL.reset();
            break;
        default:
            break;
    }
    // A private binding of the image conversions, when one is still held.
    ReleasePrivateGDIPlus();
    if (FMetafileInfo.Adapter != nullptr) FMetafileInfo.Adapter->Release();
    FMetafileInfo.Adapter = nullptr;
    if (FMetafileInfo.MetafileDC != nullptr) DeleteDC(FMetafileInfo.MetafileDC);
    FMetafileInfo.MetafileDC = nullptr;
}

void TPDFPicasso::UseGDIModel(TCanvas* Canvas) {
    FCanvas = Canvas;
    FModel = pmGDI;
}

void TPDFPicasso::UnloadGDIPlus() {
    if (FGDIPlus) FGDIPlus->GDIPlusFree();
    FGDIPlus.reset();
}

void TPDFPicasso::UseGDIPlusModel(TCanvas* Canvas, const TGDIPlusSettings& Settings) {
    FSettings = Settings;
    FToken = 0;
    FGraphics = nullptr;
    FGDIPlusCallStartup = false;
    UnloadGDIPlus();
    FGDIPlus = std::make_unique<TKVPLGDIPlus>();
    FCanvas = Canvas;
    FModel = pmGDIPlus;

    const std::u16string Name = Settings.FileName.empty() ? u"gdiplus.dll" : Settings.FileName;
    if (FGDIPlus->GDIPlusStatus == gpUndefined)
        FGDIPlus->GDIPlusLoad(Name.c_str(), Settings.DLLAllowPiggyBack);
    if (FGDIPlus->GDIPlusStatus == gpMissing) {
        // A second try beside the program, always under the library's own
        // name.
        const std::u16string Beside = ProgramFolder() + u"gdiplus.dll";
        FGDIPlus->GDIPlusLoad(Beside.c_str(), Settings.DLLAllowPiggyBack);
    }
    if (FGDIPlus->GDIPlusStatus != gpReady) {
        FallBackToGDI();
        return;
    }

    bool Start = false;
    switch (Settings.DLLStartup) {
        case dsNever:
            Start = false;
            break;
        case dsAlways:
            Start = true;
            break;
        case dsNotIfPiggyback:
            Start = !FGDIPlus->PiggyBack();
            break;
    }
    // An encoder list that cannot be read means nobody started the library.
    if (!Start && !FGDIPlus->GetEncoderClsid(u"image/bmp", FBMPEncoderGUID)) Start = true;

    if (Start) {
        GdiplusStartupInput Input;
        Input.GdiplusVersion = 1;
        Input.DebugEventCallback = nullptr;
        Input.SuppressBackgroundThread = Settings.DLLSuppressBackgroundThread ? -1 : 0;
        Input.SuppressExternalCodecs = 0;
        TGPStatus Status;
        if (!Settings.DLLSuppressBackgroundThread) {
            Status = FGDIPlus->GdiplusStartup(&FToken, &Input, nullptr);
            if (Status == gsOk) FGDIPlusCallStartup = true;
        } else {
            FGDIPlusStartupOutput = TGdiplusStartupOutput{};
            Status = FGDIPlus->GdiplusStartup(&FToken, &Input, &FGDIPlusStartupOutput);
            if (Status == gsOk) {
                FGDIPlusCallStartup = true;
                if (FGDIPlusStartupOutput.NotificationHook == nullptr) {
                    FGDIPlusStartupOutput.NotificationUnhook = nullptr;
                    Status = gsGenericError;
                } else {
                    Status = FGDIPlusStartupOutput.NotificationHook(&FGDIPlusThreadToken);
                    if (Status != gsOk) FGDIPlusStartupOutput.NotificationUnhook = nullptr;
                }
            }
        }
        if (Status != gsOk) {
            FallBackToGDI();
            return;
        }
    }

    if (!FGDIPlus->GetEncoderClsid(u"image/bmp", FBMPEncoderGUID)) FBMPEncoderGUID = CLSID{};
    if (!FGDIPlus->GetEncoderClsid(u"image/png", FPNGEncoderGUID)) FPNGEncoderGUID = CLSID{};

    TGPStatus Status = gsGenericError;
    if (FMetafileInfo.UseMetafile) {
        FMetafileInfo.MetafileDC = CreateCompatibleDC(nullptr);
        StartMetafileRecording(FMetafileInfo.MetafileDC);
        if (FMetafileInfo.MetafileHandle != nullptr)
            Status = FGDIPlus->GdipGetImageGraphicsContext(
                reinterpret_cast<GpImage*>(FMetafileInfo.MetafileHandle), &FGraphics);
    } else if (FDeviceContextInfo.UseDeviceContext) {
        Status = FGDIPlus->GdipCreateFromHDC(FDeviceContextInfo.TargetDC, &FGraphics);
    } else if (Canvas != nullptr) {
        HDC Dc = Canvas->Handle();
        if (Dc != nullptr) Status = FGDIPlus->GdipCreateFromHDC(Dc, &FGraphics);
    }
    if (Status != gsOk || FGraphics == nullptr) {
        FallBackToGDI();
        return;
    }
    SetGDIPlusTextMode();
    FGDIPlus->GdipSetPageUnit(FGraphics, UnitPixel);
    FPath = nullptr;
}

void TPDFPicasso::FallBackToGDI() {
    if (FGDIPlus && FGDIPlus->GDIPlusStatus == gpReady) {
        // What the failed set-up made is undone before the library goes.
        if (FGraphics != nullptr) FGDIPlus->GdipDeleteGraphics(FGraphics);
        if (FMetafileInfo.MetafileHandle != nullptr)
            FGDIPlus->GdipDisposeImage(reinterpret_cast<GpImage*>(FMetafileInfo.MetafileHandle));
        if (FGDIPlusCallStartup) {
            if (FGDIPlusStartupOutput.NotificationUnhook != nullptr)
                FGDIPlusStartupOutput.NotificationUnhook(FGDIPlusThreadToken);
            FGDIPlus->GdiplusShutdown(FToken);
        }
    }
    FMetafileInfo.MetafileHandle = nullptr;
    if (FMetafileInfo.MetafileDC != nullptr) DeleteDC(FMetafileInfo.MetafileDC);
    FMetafileInfo.MetafileDC = nullptr;
    FGDIPlusCallStartup = false;
    FGDIPlusStartupOutput = TGdiplusStartupOutput{};
    FGraphics = nullptr;
    FToken = 0;
    FModel = pmGDI;
    UnloadGDIPlus();
}

bool TPDFPicasso::StartMetafileRecording(HDC ReferenceDC) {
    if (FModel != pmGDIPlus || !FGDIPlus || FMetafileInfo.Adapter == nullptr) return false;
    GpRectF Frame;
    Frame.X = 0;
    Frame.Y = 0;
    Frame.Width = static_cast<GpREAL>(FMetafileInfo.Width);
    Frame.Height = static_cast<GpREAL>(FMetafileInfo.Height);
    return FGDIPlus->GdipRecordMetafileStream(FMetafileInfo.Adapter, ReferenceDC, 4, &Frame,
                                              UnitPixel, nullptr,
                                              &FMetafileInfo.MetafileHandle) == gsOk;
}

void TPDFPicasso::SetupMetafile(int32_t Width, int32_t Height, TStream& Target) {
    if (FMetafileInfo.Adapter != nullptr) FMetafileInfo.Adapter->Release();
    // The facade records EMF+ through the metafile layer's writer.
    metafile::InstallMetafileRecording();
    FMetafileInfo.UseMetafile = true;
    FMetafileInfo.Width = Width;
    FMetafileInfo.Height = Height;
    FMetafileInfo.Adapter = new TImageBytesStreamAdapter(Target);
    FMetafileInfo.MetafileHandle = nullptr;
}

void TPDFPicasso::SetupDeviceContext(int32_t Width, int32_t Height, HDC TargetDC) {
    FDeviceContextInfo.UseDeviceContext = true;
    FDeviceContextInfo.Width = Width;
    FDeviceContextInfo.Height = Height;
    FDeviceContextInfo.TargetDC = TargetDC;
}

void TPDFPicasso::UseCairoModel(HDC TargetDC, const std::u16string& CairoDLL,
                                bool EraseBackground) {
    auto Binding = std::make_unique<TCairoDLL>();
    if (!Binding->Attach(CairoDLL)) return;
    FCairoDLL = std::move(Binding);
    FModel = pmCairo;
    if (FCairoDLL->cairo_win32_surface_create != nullptr)
        FCairoSurface = FCairoDLL->cairo_win32_surface_create(TargetDC);
    if (FCairoDLL->cairo_create != nullptr && FCairoSurface != nullptr)
        FCairoHandle = FCairoDLL->cairo_create(FCairoSurface);
    if (EraseBackground && FCairoHandle != nullptr) {
        VPL_CAIRO(cairo_set_source_rgba, FCairoHandle, 1, 1, 1, 1);
        VPL_CAIRO(cairo_paint, FCairoHandle);
    }
}

void TPDFPicasso::UseRendererModel(HDC TargetDC, const std::u16string& RendererDLL, bool) {
    auto Binding = std::make_unique<TKorbexPDFLibraryKPLR>();
    if (!Binding->Attach(RendererDLL)) return;
    FRendererDLL = std::move(Binding);
    FModel = pmKPLR;
    if (FRendererDLL->KPLR_renderer_win32_create != nullptr)
        FRendererHandle = FRendererDLL->KPLR_renderer_win32_create(TargetDC);
}

void TPDFPicasso::UseRendererModelMemory(int32_t Width, int32_t Height,
                                         const std::u16string& RendererDLL) {
    auto Binding = std::make_unique<TKorbexPDFLibraryKPLR>();
    if (!Binding->Attach(RendererDLL)) return;
    FRendererDLL = std::move(Binding);
    FModel = pmKPLR;
    if (FRendererDLL->KPLR_renderer_create != nullptr)
        FRendererHandle = FRendererDLL->KPLR_renderer_create(Width, Height);
}

void TPDFPicasso::FinishKPLR(HDC TargetDC) {
    if (FModel != pmKPLR) return;
    ReleasePrivateGDIPlus();
    VPL_KPLR(KPLR_renderer_draw_to_DC, FRendererHandle, TargetDC, 0, 0, 32);
}

void TPDFPicasso::FinishKPLRMemory(void* Target, int32_t Width, int32_t Height,
                                   int32_t BitsPerPixel) {
    if (FModel != pmKPLR) return;
    ReleasePrivateGDIPlus();
    VPL_KPLR(KPLR_renderer_draw_to_memory, FRendererHandle, static_cast<uint8_t*>(Target), Width,
             Height, BitsPerPixel);
}

void TPDFPicasso::SetupPrivateGDIPlus() {
    if (FGDIPlus) return;
    FGDIPlus = std::make_unique<TKVPLGDIPlus>();
    if (FGDIPlus->GDIPlusLoad(u"gdiplus.dll", true) != gpReady) {
        FGDIPlus.reset();
        return;
    }
    GdiplusStartupInput Input;
    Input.GdiplusVersion = 1;
    const bool Started = FGDIPlus->GdiplusStartup(&FToken, &Input, nullptr) == gsOk;
    if (!Started) FToken = 0;
    if (!FGDIPlus->GetEncoderClsid(u"image/bmp", FBMPEncoderGUID)) {
        FBMPEncoderGUID = CLSID{};
        if (Started) FGDIPlus->GdiplusShutdown(FToken);
        FToken = 0;
        FGDIPlus.reset();
    }
}

void TPDFPicasso::ReleasePrivateGDIPlus() {
    // Only the other models hold a private binding; the GDI+ model's own
    // binding is released with the canvas.
    if (!FGDIPlus || FModel == pmGDIPlus) return;
    if (FGDIPlus->GDIPlusStatus == gpReady) FGDIPlus->GdiplusShutdown(FToken);
    FToken = 0;
    FGDIPlus.reset();
}

// ---------------------------------------------------------------------------
// Graphics state

void TPDFPicasso::SetFillColor(uint8_t Red, uint8_t Green, uint8_t Blue) {
    SetFillColor(uint32_t(Blue) * 65536 + uint32_t(Green) * 256 + Red);
}
void TPDFPicasso::SetFillColor(uint32_t Color) {
    FFillColor = Color;
    FFillPattern = nullptr;
    FHasFillPatternSpace = false;
    FFillForShading = false;
}
void TPDFPicasso::SetStrokeColor(uint8_t Red, uint8_t Green, uint8_t Blue) {
    SetStrokeColor(uint32_t(Blue) * 65536 + uint32_t(Green) * 256 + Red);
}
void TPDFPicasso::SetStrokeColor(uint32_t Color) {
    FStrokeColor = Color;
    FStrokePattern = nullptr;
    FHasStrokePatternSpace = false;
}
void TPDFPicasso::SetFillPattern(const TVPLPattern* Pattern) {
    FFillPattern = Pattern;
    FHasFillPatternSpace = false;
    FFillForShading = false;
}
void TPDFPicasso::SetFillPattern(const TVPLPattern* Pattern, const TPDFXForm& PatternToDevice,
                                 bool ForShading) {
    FFillPattern = Pattern;
    FFillPatternSpace = PatternToDevice;
    FHasFillPatternSpace = true;
    FFillForShading = ForShading;
}
void TPDFPicasso::SetStrokePattern(const TVPLPattern* Pattern) {
    FStrokePattern = Pattern;
    FHasStrokePatternSpace = false;
}
void TPDFPicasso::SetStrokePattern(const TVPLPattern* Pattern, const TPDFXForm& PatternToDevice) {
    FStrokePattern = Pattern;
    FStrokePatternSpace = PatternToDevice;
    FHasStrokePatternSpace = true;
}
void TPDFPicasso::SetFillAlpha(double NewFillAlpha) { FFillAlpha = ClampAlpha(NewFillAlpha); }
void TPDFPicasso::SetStrokeAlpha(double NewStrokeAlpha) {
    FStrokeAlpha = ClampAlpha(NewStrokeAlpha);
}
void TPDFPicasso::SetBlendMode(TPDFBlendMode NewBlendMode) { FBlendMode = NewBlendMode; }
void TPDFPicasso::SetLineCapStyle(int32_t Style) { FLineCapStyle = Style; }
void TPDFPicasso::SetLineJoinStyle(int32_t Style) { FLineJoinStyle = Style; }
void TPDFPicasso::SetMiterLimit(double Limit) { FMiterLimit = Limit; }

void TPDFPicasso::SetLineWidth(double NewWidth) {
    FLineWidth = NewWidth;
    if (FModel == pmGDIPlus && FSettings.EnhanceThinLines != 0 && NewWidth <= 1.0)
        FLineWidth = static_cast<double>(FSettings.EnhanceThinLines);
}

void TPDFPicasso::SetLineDash(const TGPDashArray& DashArray, double Phase) {
    FLineDashArray = DashArray;
    FLineDashPhase = Phase;
}

void TPDFPicasso::SetLineDashDouble(const std::vector<double>& DashArray, double Phase) {
    FLineDashDoubleArray = DashArray;
    FLineDashDoublePhase = Phase;
}

void TPDFPicasso::SetFillMode(TPDFFillMode NewMode) {
    FFillMode = NewMode;
    switch (FModel) {
        case pmGDIPlus:
            if (FPath != nullptr && NewMode != pfUnknown)
                FGDIPlus->GdipSetPathFillMode(
                    FPath, NewMode == pfWinding ? FillModeWinding : FillModeAlternate);
            break;
        case pmCairo:
            if (NewMode != pfUnknown)
                VPL_CAIRO(
                    cairo_set_fill_rule, FCairoHandle,
                    NewMode == pfWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
            break;
        case pmKPLR:
            if (NewMode != pfUnknown)
                VPL_KPLR(KPLR_set_fill_rule, FRendererHandle,
                         NewMode == pfWinding ? KPLR_FILL_RULE_WINDING : KPLR_FILL_RULE_EVEN_ODD);
            break;
        default:
            break;
    }
}

GpARGB TPDFPicasso::FillARGB() const { return ToARGB(FFillColor, FFillAlpha); }
GpARGB TPDFPicasso::StrokeARGB() const { return ToARGB(FStrokeColor, FStrokeAlpha); }

// ---------------------------------------------------------------------------
// State stack, transform, clip snapshots

void TPDFPicasso::SaveState() {
    if (FModel == pmCairo) {
        VPL_CAIRO(cairo_save, FCairoHandle);
    } else if (FModel == pmKPLR) {
        VPL_KPLR(KPLR_save, FRendererHandle);
    }
}

void TPDFPicasso::RestoreState() {
    if (FModel == pmCairo) {
        VPL_CAIRO(cairo_restore, FCairoHandle);
    } else if (FModel == pmKPLR) {
        VPL_KPLR(KPLR_restore, FRendererHandle);
    }
}

void TPDFPicasso::SetCurrentXForm(const TPDFXForm& NewCurrentXForm) {
    FCurrentXForm = NewCurrentXForm;
}

TPDFXForm TPDFPicasso::GetCurrentXForm() { return FCurrentXForm; }

void TPDFPicasso::SetPageMatrix(const TPDFXForm& MR) {
    if (FModel != pmKPLR) return;
    VPL_KPLR(KPLR_set_page_matrix, FRendererHandle, MR.eM11, MR.eM12, MR.eM21, MR.eM22, MR.eDx,
             MR.eDy);
}

GpRegion* TPDFPicasso::GetCurrentClipRegion() {
    if (FModel != pmGDIPlus) return nullptr;
    if (!FNeedClipRegion) return FLastClipRegion;
    FNeedClipRegion = false;
    GpRegion* Region = nullptr;
    if (FGDIPlus->GdipCreateRegion(&Region) != gsOk || Region == nullptr) {
        // Without a snapshot the next call tries again.
        FNeedClipRegion = true;
        return nullptr;
    }
    FGDIPlus->GdipGetClip(FGraphics, Region);
    FLastClipRegion = Region;
    if (size_t(FClipRegionCount) >= FClipRegions.size())
        FClipRegions.resize(size_t(FClipRegionCount) + 100, nullptr);
    FClipRegions[size_t(FClipRegionCount)] = Region;
    ++FClipRegionCount;
    // The array grows by 100 entries as soon as it is full.
    if (size_t(FClipRegionCount) == FClipRegions.size())
        FClipRegions.resize(FClipRegions.size() + 100, nullptr);
    return Region;
}

void TPDFPicasso::SetClippingRegion(GpRegion* ClipRegion) {
    if (FModel != pmGDIPlus || ClipRegion == FLastClipRegion) return;
    FLastClipRegion = ClipRegion;
    FGDIPlus->GdipSetClipRegion(FGraphics, ClipRegion, CombineModeReplace);
}

// ---------------------------------------------------------------------------
// Quality modes

void TPDFPicasso::ForceQualitySettings() {
    if (FSettings.SmoothingMode > 0)
        FGDIPlus->GdipSetSmoothingMode(FGraphics, FSettings.SmoothingMode);
    if (FSettings.InterpolationMode > 0)
        FGDIPlus->GdipSetInterpolationMode(FGraphics, FSettings.InterpolationMode);
    if (FSettings.PixelOffsetMode > 0)
        FGDIPlus->GdipSetPixelOffsetMode(FGraphics, FSettings.PixelOffsetMode);
}

void TPDFPicasso::SetGDIPlusTextMode() {
    if (FModel != pmGDIPlus || FGraphics == nullptr) return;
    if (FSettings.IsPrinting) {
        FGDIPlus->GdipSetSmoothingMode(FGraphics, SmoothingModeHighQuality);
        FGDIPlus->GdipSetInterpolationMode(FGraphics, InterpolationModeHighQuality);
        FGDIPlus->GdipSetPixelOffsetMode(FGraphics, PixelOffsetModeHighQuality);
        return;
    }
    if (FSettings.Smoothing) {
        FGDIPlus->GdipSetSmoothingMode(FGraphics, SmoothingModeAntiAlias);
        FGDIPlus->GdipSetInterpolationMode(FGraphics, InterpolationModeBicubic);
        FGDIPlus->GdipSetPixelOffsetMode(FGraphics, PixelOffsetModeHalf);
    } else {
        FGDIPlus->GdipSetSmoothingMode(FGraphics, SmoothingModeNone);
        FGDIPlus->GdipSetInterpolationMode(FGraphics, InterpolationModeNearestNeighbor);
        FGDIPlus->GdipSetPixelOffsetMode(FGraphics, PixelOffsetModeHalf);
    }
    ForceQualitySettings();
}

void TPDFPicasso::SetGDIPlusImageMode() {
    if (FModel != pmGDIPlus || FGraphics == nullptr || FSettings.IsPrinting) return;
    if (FSettings.SmoothImages) {
        FGDIPlus->GdipSetSmoothingMode(FGraphics, SmoothingModeHighQuality);
        FGDIPlus->GdipSetInterpolationMode(FGraphics, InterpolationModeHighQualityBilinear);
        FGDIPlus->GdipSetPixelOffsetMode(FGraphics, PixelOffsetModeHighQuality);
    } else if (FSettings.Smoothing) {
        FGDIPlus->GdipSetSmoothingMode(FGraphics, SmoothingModeNone);
        FGDIPlus->GdipSetInterpolationMode(FGraphics, InterpolationModeNearestNeighbor);
        FGDIPlus->GdipSetPixelOffsetMode(FGraphics, PixelOffsetModeHalf);
    } else {
        FGDIPlus->GdipSetSmoothingMode(FGraphics, SmoothingModeHighQuality);
        FGDIPlus->GdipSetInterpolationMode(FGraphics, InterpolationModeBicubic);
        FGDIPlus->GdipSetPixelOffsetMode(FGraphics, PixelOffsetModeHighQuality);
    }
    ForceQualitySettings();
}

void TPDFPicasso::SetFastestMode() {
    if (FModel != pmGDIPlus || FGraphics == nullptr) return;
    FGDIPlus->GdipSetCompositingMode(FGraphics, CompositingModeSourceCopy);
    FGDIPlus->GdipSetCompositingQuality(FGraphics, 1);
    FGDIPlus->GdipSetSmoothingMode(FGraphics, SmoothingModeNone);
    FGDIPlus->GdipSetInterpolationMode(FGraphics, InterpolationModeDefault);
    FGDIPlus->GdipSetPixelOffsetMode(FGraphics, PixelOffsetModeHighSpeed);
}

// ---------------------------------------------------------------------------
// Paths

double TPDFPicasso::TransformScale() const {
    const TPDFXForm& T = FCurrentXForm;
    const double Det = std::fabs(T.eM11 * T.eM22 - T.eM12 * T.eM21);
    const double S = std::sqrt(Det);
    return std::isfinite(S) && S > 0 ? S : 1.0;
}

int32_t TPDFPicasso::GDIPenWidth() const {
    if (!(FLineWidth > 0)) return 1;
    const double W = std::nearbyint(std::min(FLineWidth * TransformScale(), 1.0e6));
    return W >= 1 ? static_cast<int32_t>(W) : 1;
}

bool TPDFPicasso::GDIReady() { return FCanvas != nullptr && FCanvas->Handle() != nullptr; }

void TPDFPicasso::AppendCombinedPoint(double X, double Y, uint8_t Type) {
    if (size_t(FCombinedPathPointCount) >= FCombinedPathPoints.size()) {
        const size_t NewSize = std::max<size_t>(32, FCombinedPathPoints.size() * 2);
        FCombinedPathPoints.resize(NewSize);
        FCombinedPathPointTypes.resize(NewSize);
    }
    GpPointF& P = FCombinedPathPoints[size_t(FCombinedPathPointCount)];
    P.X = static_cast<GpREAL>(X);
    P.Y = static_cast<GpREAL>(Y);
    FCombinedPathPointTypes[size_t(FCombinedPathPointCount)] = Type;
    ++FCombinedPathPointCount;
}

void TPDFPicasso::BeginPath() {
    FValidPath = true;
    FPathInvalid = false;
    switch (FModel) {
        case pmGDI:
            if (GDIReady()) ::velmo::BeginPath(FCanvas->Handle());
            break;
        case pmGDIPlus:
            if (FPathCombineMode == cmCombinePaths) {
                DeleteGDIPlusPath();
                FCombinedPathPoints.assign(32, GpPointF{});
                FCombinedPathPointTypes.assign(32, 0);
                FCombinedPathPointCount = 0;
            } else {
                // A path begun twice without painting is replaced, not kept.
                DeleteGDIPlusPath();
                FGDIPlus->GdipCreatePath(
                    FFillMode == pfWinding ? FillModeWinding : FillModeAlternate, &FPath);
            }
            break;
        case pmHTML5:
            HTML5Write("ctx.beginPath();");
            break;
        case pmCairo:
            VPL_CAIRO(cairo_set_fill_rule, FCairoHandle,
                      FFillMode == pfWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
            VPL_CAIRO(cairo_new_path, FCairoHandle);
            if (FCairoHasBackdrop) VPL_CAIRO(cairo_new_path, FCairoPunchContext);
            break;
        case pmKPLR:
            VPL_KPLR(KPLR_set_fill_rule, FRendererHandle,
                     FFillMode == pfWinding ? KPLR_FILL_RULE_WINDING : KPLR_FILL_RULE_EVEN_ODD);
            VPL_KPLR(KPLR_new_path, FRendererHandle);
            break;
        default:
            break;
    }
}

void TPDFPicasso::MoveTo(double NewX, double NewY) {
    FX = NewX;
    FY = NewY;
    if (!Finite(NewX) || !Finite(NewY)) {
        FPathInvalid = true;
        return;
    }
    switch (FModel) {
        case pmGDI:
            if (GDIReady())
                MoveToEx(FCanvas->Handle(), RoundCoord(NewX), RoundCoord(NewY), nullptr);
            break;
        case pmGDIPlus:
            if (FPathCombineMode == cmCombinePaths)
                AppendCombinedPoint(NewX, NewY, PathPointTypeStart);
            else if (FPath != nullptr)
                FGDIPlus->GdipStartPathFigure(FPath);
            break;
        case pmHTML5:
            HTML5Write("ctx.moveTo(" + HTML5Number(NewX) + "," + HTML5Number(NewY) + ");");
            break;
        case pmCairo:
            VPL_CAIRO(cairo_move_to, FCairoHandle, NewX, NewY);
            if (FCairoHasBackdrop) VPL_CAIRO(cairo_move_to, FCairoPunchContext, NewX, NewY);
            break;
        case pmKPLR:
            VPL_KPLR(KPLR_move_to, FRendererHandle, NewX, NewY);
            break;
        default:
            break;
    }
}

void TPDFPicasso::AddLineToPath(double EndX, double EndY) {
    if (!Finite(EndX) || !Finite(EndY) || !Finite(FX) || !Finite(FY)) {
        FPathInvalid = true;
        FX = EndX;
        FY = EndY;
        return;
    }
    switch (FModel) {
        case pmGDI:
            if (GDIReady()) LineTo(FCanvas->Handle(), RoundCoord(EndX), RoundCoord(EndY));
            break;
        case pmGDIPlus:
            if (FPathCombineMode == cmCombinePaths)
                AppendCombinedPoint(EndX, EndY, PathPointTypeLine);
            else if (FPath != nullptr)
                FGDIPlus->GdipAddPathLine(FPath, GpREAL(FX), GpREAL(FY), GpREAL(EndX),
                                          GpREAL(EndY));
            break;
        case pmHTML5:
            HTML5Write("ctx.lineTo(" + HTML5Number(EndX) + "," + HTML5Number(EndY) + ");");
            break;
        case pmCairo:
            VPL_CAIRO(cairo_line_to, FCairoHandle, EndX, EndY);
            if (FCairoHasBackdrop) VPL_CAIRO(cairo_line_to, FCairoPunchContext, EndX, EndY);
            break;
        case pmKPLR:
            VPL_KPLR(KPLR_line_to, FRendererHandle, EndX, EndY);
            break;
        default:
            break;
    }
    FX = EndX;
    FY = EndY;
}

void TPDFPicasso::AddBezierToPath(double CtAX, double CtAY, double CtBX, double CtBY, double EndX,
                                  double EndY) {
    if (!Finite(CtAX) || !Finite(CtAY) || !Finite(CtBX) || !Finite(CtBY) || !Finite(EndX) ||
        !Finite(EndY) || !Finite(FX) || !Finite(FY)) {
        FPathInvalid = true;
        FX = EndX;
        FY = EndY;
        return;
    }
    switch (FModel) {
        case pmGDI:
            if (GDIReady()) {
                const POINT Points[3] = {{RoundCoord(CtAX), RoundCoord(CtAY)},
                                         {RoundCoord(CtBX), RoundCoord(CtBY)},
                                         {RoundCoord(EndX), RoundCoord(EndY)}};
                PolyBezierTo(FCanvas->Handle(), Points, 3);
            }
            break;
        case pmGDIPlus:
            if (FPathCombineMode == cmCombinePaths) {
                AppendCombinedPoint(CtAX, CtAY, PathPointTypeBezier);
                AppendCombinedPoint(CtBX, CtBY, PathPointTypeBezier);
                AppendCombinedPoint(EndX, EndY, PathPointTypeBezier);
            } else if (FPath != nullptr) {
                FGDIPlus->GdipAddPathBezier(FPath, GpREAL(FX), GpREAL(FY), GpREAL(CtAX),
                                            GpREAL(CtAY), GpREAL(CtBX), GpREAL(CtBY), GpREAL(EndX),
                                            GpREAL(EndY));
            }
            break;
        case pmHTML5:
            HTML5Write("ctx.bezierCurveTo(" + HTML5Number(CtAX) + "," + HTML5Number(CtAY) + "," +
                       HTML5Number(CtBX) + "," + HTML5Number(CtBY) + "," + HTML5Number(EndX) + "," +
                       HTML5Number(EndY) + ");");
            break;
        case pmCairo:
            VPL_CAIRO(cairo_curve_to, FCairoHandle, CtAX, CtAY, CtBX, CtBY, EndX, EndY);
            if (FCairoHasBackdrop)
                VPL_CAIRO(cairo_curve_to, FCairoPunchContext, CtAX, CtAY, CtBX, CtBY, EndX, EndY);
            break;
        case pmKPLR:
            VPL_KPLR(KPLR_curve_to, FRendererHandle, CtAX, CtAY, CtBX, CtBY, EndX, EndY);
            break;
        default:
            break;
    }
    FX = EndX;
    FY = EndY;
}

void TPDFPicasso::AddQBezierToPath(double QX, double QY, double EndX, double EndY) {
    if (FModel == pmHTML5) {
        if (!Finite(QX) || !Finite(QY) || !Finite(EndX) || !Finite(EndY)) {
            FPathInvalid = true;
        } else {
            HTML5Write("ctx.quadraticCurveTo(" + HTML5Number(QX) + "," + HTML5Number(QY) + "," +
                       HTML5Number(EndX) + "," + HTML5Number(EndY) + ");");
        }
        FX = EndX;
        FY = EndY;
        return;
    }
    // The quadratic curve raised to a cubic one from the current point.
    const double C1X = FX + 2.0 / 3.0 * (QX - FX), C1Y = FY + 2.0 / 3.0 * (QY - FY);
    const double C2X = QX + 1.0 / 3.0 * (EndX - QX), C2Y = QY + 1.0 / 3.0 * (EndY - QY);
    TPDFPicasso::AddBezierToPath(C1X, C1Y, C2X, C2Y, EndX, EndY);
}

void TPDFPicasso::ClosePath() {
    switch (FModel) {
        case pmGDI:
            if (GDIReady()) CloseFigure(FCanvas->Handle());
            break;
        case pmGDIPlus:
            if (FPathCombineMode == cmCombinePaths) {
                if (FCombinedPathPointCount > 0)
                    FCombinedPathPointTypes[size_t(FCombinedPathPointCount - 1)] |=
                        PathPointTypeCloseSubpath;
            } else if (FPath != nullptr) {
                FGDIPlus->GdipClosePathFigure(FPath);
            }
            break;
        case pmHTML5:
            HTML5Write("ctx.closePath();");
            break;
        case pmCairo:
            VPL_CAIRO(cairo_close_path, FCairoHandle);
            if (FCairoHasBackdrop) VPL_CAIRO(cairo_close_path, FCairoPunchContext);
            break;
        case pmKPLR:
            VPL_KPLR(KPLR_close_path, FRendererHandle);
            break;
        default:
            break;
    }
}

void TPDFPicasso::SetClippingPath(TPDFFillMode FillMode) {
    SetFillMode(FillMode);
    switch (FModel) {
        case pmGDIPlus:
            FIsClippingPath = true;
            FNeedClipRegion = true;
            break;
        case pmCairo:
        case pmKPLR:
            FIsClippingPath = true;
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------
// GDI+ painting helpers

void TPDFPicasso::PrepareGDIPlusPath() {
    if (FPathCombineMode == cmCombinePaths && FCombinedPathPointCount >= 1) {
        DeleteGDIPlusPath();
        if (!FPathInvalid)
            FGDIPlus->GdipCreatePath2(
                FCombinedPathPoints.data(), FCombinedPathPointTypes.data(), FCombinedPathPointCount,
                FFillMode == pfWinding ? FillModeWinding : FillModeAlternate, &FPath);
        // The points are consumed: a later fill of the clipping area must
        // not find them again.
        FCombinedPathPointCount = 0;
    }
    if (FPath != nullptr) {
        int32_t Count = 0;
        FGDIPlus->GdipGetPointCount(FPath, &Count);
        if (Count == 2 && Finite(FX) && Finite(FY))
            FGDIPlus->GdipAddPathLine(FPath, GpREAL(FX), GpREAL(FY), GpREAL(FX), GpREAL(FY));
    }
}

void TPDFPicasso::DeleteGDIPlusPath() {
    if (FPath != nullptr && FGDIPlus) FGDIPlus->GdipDeletePath(FPath);
    FPath = nullptr;
}

GpPen* TPDFPicasso::CreateGDIPlusPenOf(GpREAL Width, GpUnit Unit) {
    GpPen* Pen = nullptr;
    if (FStrokePattern == nullptr) {
        FGDIPlus->GdipCreatePen1(StrokeARGB(), Width, Unit, &Pen);
        return Pen;
    }
    // A stroke in a pattern colour space paints the pattern; a pattern that
    // gives no paint paints nothing.
    GpBrush* Brush = FStrokePattern->FShading && FHasStrokePatternSpace
                         ? CreateShadingBrush(FStrokePattern, true)
                         : CreatePatternBrush(FStrokePattern, true);
    if (Brush == nullptr) return nullptr;
    if (FGDIPlus->GdipCreatePen2(Brush, Width, Unit, &Pen) != gsOk) Pen = nullptr;
    FGDIPlus->GdipDeleteBrush(Brush);
    return Pen;
}

GpPen* TPDFPicasso::CreateGDIPlusPen() {
    if (FLineDashArray.size() % 2 == 1) {
        const size_t N = FLineDashArray.size();
        FLineDashArray.resize(N * 2);
        std::copy_n(FLineDashArray.begin(), N, FLineDashArray.begin() + std::ptrdiff_t(N));
    }
    // Device pixels per user unit; a singular or broken transform counts
    // as 1.
    const double S = TransformScale();
    GpPen* Pen = nullptr;
    if (!FSettings.IsPrinting) {
        // Width 0 asks for the thinnest line the device can show.
        if (!(FLineWidth > 0) || !Finite(FLineWidth)) FLineWidth = 1.0 / S;
        Pen = CreateGDIPlusPenOf(GpREAL(FLineWidth), UnitWorld);
        if (Pen == nullptr) return nullptr;
        const TPDFXForm& T = FCurrentXForm;
        GpMatrix* Matrix = nullptr;
        if (FGDIPlus->GdipCreateMatrix2(GpREAL(T.eM11), GpREAL(T.eM12), GpREAL(T.eM21),
                                        GpREAL(T.eM22), 0, 0, &Matrix) == gsOk &&
            Matrix != nullptr) {
            FGDIPlus->GdipSetPenTransform(Pen, Matrix);
            FGDIPlus->GdipDeleteMatrix(Matrix);
        }
    } else {
        if (!(FLineWidth > 0) || !Finite(FLineWidth))
            FLineWidth = 1.0;  // one device pixel
        else
            FLineWidth = FLineWidth * S;
        Pen = CreateGDIPlusPenOf(GpREAL(FLineWidth), UnitPixel);
        if (Pen == nullptr) return nullptr;
    }
    if (!FLineDashArray.empty()) {
        // Dash lengths are multiples of the pen width. Without printing the
        // pen transform scales dashes with the width, so user units divided
        // by the user width already give device lengths; when printing the
        // width is in device pixels and the dashes are scaled by S.
        const double Unit = FSettings.IsPrinting ? S / FLineWidth : 1.0 / FLineWidth;
        std::vector<GpREAL> Dashes(FLineDashArray.size());
        for (size_t I = 0; I < Dashes.size(); ++I)
            Dashes[I] = GpREAL(double(FLineDashArray[I]) * Unit);
        FGDIPlus->GdipSetPenDashArray(Pen, Dashes.data(), int32_t(Dashes.size()));
        FGDIPlus->GdipSetPenDashOffset(Pen, GpREAL(FLineDashPhase * Unit));
    }
    switch (FLineJoinStyle) {
        case 0:
            FGDIPlus->GdipSetPenLineJoin(Pen, LineJoinMiter);
            break;
        case 1:
            FGDIPlus->GdipSetPenLineJoin(Pen, LineJoinRound);
            break;
        case 2:
            FGDIPlus->GdipSetPenLineJoin(Pen, LineJoinBevel);
            break;
        default:
            break;
    }
    switch (FLineCapStyle) {
        case 0:
            FGDIPlus->GdipSetPenStartCap(Pen, LineCapFlat);
            FGDIPlus->GdipSetPenEndCap(Pen, LineCapFlat);
            FGDIPlus->GdipSetPenDashCap197819(Pen, DashCapFlat);
            break;
        case 1:
            FGDIPlus->GdipSetPenStartCap(Pen, LineCapRound);
            FGDIPlus->GdipSetPenEndCap(Pen, LineCapRound);
            FGDIPlus->GdipSetPenDashCap197819(Pen, DashCapRound);
            break;
        case 2:
            FGDIPlus->GdipSetPenStartCap(Pen, LineCapSquare);
            FGDIPlus->GdipSetPenEndCap(Pen, LineCapSquare);
            FGDIPlus->GdipSetPenDashCap197819(Pen, DashCapRound);
            break;
        default:
            break;
    }
    FGDIPlus->GdipSetPenMiterLimit(Pen, GpREAL(FMiterLimit));
    return Pen;
}

GpBrush* TPDFPicasso::CreateGDIPlusBrush() {
    // A pattern that gives no paint (an empty digest) paints nothing.
    if (FFillPattern != nullptr) {
        if (FFillPattern->FShading && FHasFillPatternSpace) return CreateShadingBrush(FFillPattern);
        return CreatePatternBrush(FFillPattern);
    }
    GpSolidFill* Brush = nullptr;
    FGDIPlus->GdipCreateSolidFill(FillARGB(), &Brush);
    return reinterpret_cast<GpBrush*>(Brush);
}

void TPDFPicasso::ApplyGDIPlusClip() {
    if (!FIsClippingPath) return;
    if (FPath != nullptr && !FPathInvalid)
        FGDIPlus->GdipSetClipPath(FGraphics, FPath, CombineModeIntersect);
    FLastClipRegion = nullptr;
    FIsClippingPath = false;
}

void TPDFPicasso::GDIFinish(bool Fill, bool Stroke) {
    if (!GDIReady()) return;
    if (FPathInvalid) {
        AbortPath(FCanvas->Handle());
        return;
    }
    if (Fill) {
        FCanvas->Brush().Color = TColor(FFillColor & 0xFFFFFF);
        FCanvas->Brush().Style = bsSolid;
    } else {
        FCanvas->Brush().Style = bsClear;
    }
    if (Stroke) {
        FCanvas->Pen().Color = TColor(FStrokeColor & 0xFFFFFF);
        FCanvas->Pen().Width = GDIPenWidth();
        FCanvas->Pen().Style = psSolid;
    } else {
        FCanvas->Pen().Style = psClear;
    }
    HDC Dc = FCanvas->Handle();
    EndPath(Dc);
    if (Fill) SetPolyFillMode(Dc, FFillMode == pfWinding ? WINDING : ALTERNATE);
    if (Fill && Stroke)
        ::velmo::StrokeAndFillPath(Dc);
    else if (Fill)
        ::velmo::FillPath(Dc);
    else
        ::velmo::StrokePath(Dc);
}

void TPDFPicasso::KPLRPrepare() {
    VPL_KPLR(KPLR_gState_init, FRendererHandle);
    const TPDFXForm& T = FCurrentXForm;
    VPL_KPLR(KPLR_set_matrix, FRendererHandle, T.eM11, T.eM12, T.eM21, T.eM22, T.eDx, T.eDy);
}

// ---------------------------------------------------------------------------
// Painting

void TPDFPicasso::FillPath() {
    switch (FModel) {
        case pmGDI:
            GDIFinish(true, false);
            break;
        case pmGDIPlus: {
            PrepareGDIPlusPath();
            GpBrush* Brush = nullptr;
            if (FPath != nullptr && !FPathInvalid) {
                Brush = CreateGDIPlusBrush();
                if (Brush != nullptr) GDIPlusFillWith(Brush);
            }
            ApplyGDIPlusClip();
            if (Brush != nullptr) FGDIPlus->GdipDeleteBrush(Brush);
            DeleteGDIPlusPath();
            break;
        }
        case pmHTML5:
            if (!FPathInvalid) {
                HTML5Write("ctx.fillStyle = \"#" + HTML5HexColor(int32_t(FFillColor)) + "\";");
                HTML5Write("ctx.fill();");
            }
            break;
        case pmCairo:
            if (FPathInvalid) {
                VPL_CAIRO(cairo_new_path, FCairoHandle);
                FIsClippingPath = false;
                break;
            }
            CairoKnockOut();
            VPL_CAIRO(cairo_set_operator, FCairoHandle, TCairoDLL::GetBlendMode(FBlendMode));
            CairoSource(false);
            if (FIsClippingPath) {
                VPL_CAIRO(cairo_fill_preserve, FCairoHandle);
                VPL_CAIRO(cairo_clip, FCairoHandle);
                FIsClippingPath = false;
            } else if (FCairoDLL && FCairoDLL->cairo_status &&
                       FCairoDLL->cairo_status(FCairoHandle) == CAIRO_STATUS_SUCCESS) {
                VPL_CAIRO(cairo_fill, FCairoHandle);
            }
            break;
        case pmKPLR:
            if (FPathInvalid) {
                VPL_KPLR(KPLR_clear_path, FRendererHandle);
                FIsClippingPath = false;
                break;
            }
            KPLRPrepare();
            VPL_KPLR(KPLR_set_fill_alpha, FRendererHandle, FFillAlpha);
            VPL_KPLR(KPLR_set_operator, FRendererHandle,
                     TKorbexPDFLibraryKPLR::GetBlendMode(FBlendMode));
            KPLRSource(false);
            VPL_KPLR(KPLR_fill_path, FRendererHandle);
            if (FIsClippingPath) {
                VPL_KPLR(KPLR_set_clip, FRendererHandle);
                FIsClippingPath = false;
            }
            VPL_KPLR(KPLR_clear_path, FRendererHandle);
            break;
        default:
            break;
    }
}

void TPDFPicasso::StrokePath() {
    switch (FModel) {
        case pmGDI:
            GDIFinish(false, true);
            break;
        case pmGDIPlus: {
            PrepareGDIPlusPath();
            GpPen* Pen = nullptr;
            if (FPath != nullptr && !FPathInvalid) {
                Pen = CreateGDIPlusPen();
                if (Pen != nullptr) FGDIPlus->GdipDrawPath(FGraphics, Pen, FPath);
            }
            ApplyGDIPlusClip();
            if (Pen != nullptr) FGDIPlus->GdipDeletePen(Pen);
            DeleteGDIPlusPath();
            break;
        }
        case pmHTML5:
            if (!FPathInvalid) {
                HTML5Write("ctx.strokeStyle = \"#" + HTML5HexColor(int32_t(FStrokeColor)) + "\";");
                HTML5Write("ctx.stroke();");
            }
            break;
        case pmCairo:
            if (FPathInvalid) {
                VPL_CAIRO(cairo_new_path, FCairoHandle);
                FIsClippingPath = false;
                break;
            }
            CairoSource(true);
            VPL_CAIRO(cairo_set_line_width, FCairoHandle, CairoLineWidth());
            if (FIsClippingPath) {
                VPL_CAIRO(cairo_stroke_preserve, FCairoHandle);
                VPL_CAIRO(cairo_clip, FCairoHandle);
                FIsClippingPath = false;
            } else {
                VPL_CAIRO(cairo_stroke, FCairoHandle);
            }
            break;
        case pmKPLR:
            if (FPathInvalid) {
                VPL_KPLR(KPLR_clear_path, FRendererHandle);
                FIsClippingPath = false;
                break;
            }
            KPLRPrepare();
            VPL_KPLR(KPLR_set_stroke_alpha, FRendererHandle, FStrokeAlpha);
            VPL_KPLR(KPLR_set_operator, FRendererHandle,
                     TKorbexPDFLibraryKPLR::GetBlendMode(FBlendMode));
            KPLRSource(true);
            if (FLineCapStyle >= 0 && FLineCapStyle <= 2)
                VPL_KPLR(KPLR_set_line_cap, FRendererHandle, KPLR_line_cap_t(FLineCapStyle));
            if (FLineJoinStyle >= 0 && FLineJoinStyle <= 2)
                VPL_KPLR(KPLR_set_line_join, FRendererHandle, KPLR_line_join_t(FLineJoinStyle));
            VPL_KPLR(KPLR_set_line_width, FRendererHandle, FLineWidth);
            VPL_KPLR(KPLR_set_miter_limit, FRendererHandle, FMiterLimit);
            VPL_KPLR(KPLR_set_dash, FRendererHandle, FLineDashDoubleArray.data(),
                     int32_t(FLineDashDoubleArray.size()), FLineDashDoublePhase);
            VPL_KPLR(KPLR_stroke_path, FRendererHandle);
            if (FIsClippingPath) {
                VPL_KPLR(KPLR_set_clip, FRendererHandle);
                FIsClippingPath = false;
            }
            VPL_KPLR(KPLR_clear_path, FRendererHandle);
            break;
        default:
            break;
    }
}

void TPDFPicasso::StrokeAndFillPath() {
    switch (FModel) {
        case pmGDI:
            GDIFinish(true, true);
            break;
        case pmGDIPlus: {
            PrepareGDIPlusPath();
            GpPen* Pen = nullptr;
            GpBrush* Brush = nullptr;
            if (FPath != nullptr && !FPathInvalid) {
                Pen = CreateGDIPlusPen();
                Brush = CreateGDIPlusBrush();
                if (Brush != nullptr) GDIPlusFillWith(Brush);
                if (Pen != nullptr) FGDIPlus->GdipDrawPath(FGraphics, Pen, FPath);
            }
            ApplyGDIPlusClip();
            if (Pen != nullptr) FGDIPlus->GdipDeletePen(Pen);
            if (Brush != nullptr) FGDIPlus->GdipDeleteBrush(Brush);
            DeleteGDIPlusPath();
            break;
        }
        case pmHTML5:
            if (!FPathInvalid) {
                HTML5Write("ctx.fillStyle = \"#" + HTML5HexColor(int32_t(FFillColor)) + "\";");
                HTML5Write("ctx.fill();");
            }
            break;
        case pmCairo:
            if (FPathInvalid) {
                VPL_CAIRO(cairo_new_path, FCairoHandle);
                FIsClippingPath = false;
                break;
            }
            VPL_CAIRO(cairo_set_operator, FCairoHandle, TCairoDLL::GetBlendMode(FBlendMode));
            CairoSource(false);
            VPL_CAIRO(cairo_fill_preserve, FCairoHandle);
            CairoSource(true);
            VPL_CAIRO(cairo_set_line_width, FCairoHandle, CairoLineWidth());
            if (FIsClippingPath) {
                VPL_CAIRO(cairo_stroke_preserve, FCairoHandle);
                VPL_CAIRO(cairo_clip, FCairoHandle);
                FIsClippingPath = false;
            } else {
                VPL_CAIRO(cairo_stroke, FCairoHandle);
            }
            break;
        case pmKPLR:
            if (FPathInvalid) {
                VPL_KPLR(KPLR_clear_path, FRendererHandle);
                FIsClippingPath = false;
                break;
            }
            KPLRPrepare();
            VPL_KPLR(KPLR_set_operator, FRendererHandle,
                     TKorbexPDFLibraryKPLR::GetBlendMode(FBlendMode));
            KPLRSource(false);
            VPL_KPLR(KPLR_set_fill_alpha, FRendererHandle, FFillAlpha);
            KPLRSource(true);
            VPL_KPLR(KPLR_set_stroke_alpha, FRendererHandle, FStrokeAlpha);
            if (FLineCapStyle >= 0 && FLineCapStyle <= 2)
                VPL_KPLR(KPLR_set_line_cap, FRendererHandle, KPLR_line_cap_t(FLineCapStyle));
            if (FLineJoinStyle >= 0 && FLineJoinStyle <= 2)
                VPL_KPLR(KPLR_set_line_join, FRendererHandle, KPLR_line_join_t(FLineJoinStyle));
            VPL_KPLR(KPLR_set_line_width, FRendererHandle, FLineWidth);
            VPL_KPLR(KPLR_set_miter_limit, FRendererHandle, FMiterLimit);
            VPL_KPLR(KPLR_set_dash, FRendererHandle, FLineDashDoubleArray.data(),
                     int32_t(FLineDashDoubleArray.size()), FLineDashDoublePhase);
            VPL_KPLR(KPLR_stroke_and_fill_path, FRendererHandle);
            if (FIsClippingPath) {
                VPL_KPLR(KPLR_set_clip, FRendererHandle);
                FIsClippingPath = false;
            }
            VPL_KPLR(KPLR_clear_path, FRendererHandle);
            break;
        default:
            break;
    }
}

void TPDFPicasso::NullPath() {
    switch (FModel) {
        case pmCairo:
            if (FIsClippingPath && !FPathInvalid) {
                VPL_CAIRO(cairo_clip, FCairoHandle);
            } else {
                VPL_CAIRO(cairo_new_path, FCairoHandle);
            }
            FIsClippingPath = false;
            break;
        case pmKPLR:
            if (FIsClippingPath && !FPathInvalid) {
                KPLRPrepare();
                VPL_KPLR(KPLR_set_clip, FRendererHandle);
                VPL_KPLR(KPLR_clear_path, FRendererHandle);
            } else {
                VPL_KPLR(KPLR_new_path, FRendererHandle);
            }
            FIsClippingPath = false;
            break;
        case pmGDIPlus:
            // A combined path exists only as points until it is prepared.
            if (FPath != nullptr ||
                (FPathCombineMode == cmCombinePaths && FCombinedPathPointCount > 0)) {
                PrepareGDIPlusPath();
                if (FIsClippingPath) {
                    if (FSettings.ProcessNullPath && FValidPath && FPath != nullptr &&
                        !FPathInvalid)
                        FGDIPlus->GdipSetClipPath(FGraphics, FPath, CombineModeIntersect);
                    FLastClipRegion = nullptr;
                }
                DeleteGDIPlusPath();
            }
            // A clipping request without a path must not wait for the next
            // path.
            FIsClippingPath = false;
            break;
        case pmGDI:
            if (GDIReady()) AbortPath(FCanvas->Handle());
            break;
        default:
            break;
    }
    FPath = nullptr;
}

void TPDFPicasso::FillClippingPath() {
    if (FModel == pmCairo) {
        double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
        VPL_CAIRO(cairo_clip_extents, FCairoHandle, &X1, &Y1, &X2, &Y2);
        VPL_CAIRO(cairo_new_path, FCairoHandle);
        VPL_CAIRO(cairo_move_to, FCairoHandle, X1, Y1);
        VPL_CAIRO(cairo_line_to, FCairoHandle, X2, Y1);
        VPL_CAIRO(cairo_line_to, FCairoHandle, X2, Y2);
        VPL_CAIRO(cairo_line_to, FCairoHandle, X1, Y2);
        VPL_CAIRO(cairo_close_path, FCairoHandle);
        FPathInvalid = false;
    } else if (FModel == pmGDIPlus) {
        GpRectF R;
        FGDIPlus->GdipGetVisibleClipBounds(FGraphics, &R);
        DeleteGDIPlusPath();
        FCombinedPathPointCount = 0;
        FPathInvalid = false;
        FGDIPlus->GdipCreatePath(FillModeWinding, &FPath);
        if (FPath != nullptr) {
            FGDIPlus->GdipStartPathFigure(FPath);
            FGDIPlus->GdipAddPathLine(FPath, R.X, R.Y, R.X + R.Width, R.Y);
            FGDIPlus->GdipAddPathLine(FPath, R.X + R.Width, R.Y, R.X + R.Width, R.Y + R.Height);
            FGDIPlus->GdipAddPathLine(FPath, R.X + R.Width, R.Y + R.Height, R.X, R.Y + R.Height);
            FGDIPlus->GdipClosePathFigure(FPath);
        }
    }
    FillPath();
}

void TPDFPicasso::GetPathBounds(GpRectF* Bounds) {
    if (FModel != pmGDIPlus || FPath == nullptr || Bounds == nullptr) return;
    FGDIPlus->GdipGetPathWorldBounds(FPath, Bounds, nullptr, nullptr);
    Bounds->X -= GpREAL(FLineWidth);
    Bounds->Y -= GpREAL(FLineWidth);
    Bounds->Width += GpREAL(2 * FLineWidth);
    Bounds->Height += GpREAL(2 * FLineWidth);
}

}  // namespace velmo
