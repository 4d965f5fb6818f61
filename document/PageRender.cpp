// The page tree's render and text entry points: each runs a renderer over
// pages of the tree and hands the result to the writer of the chosen format,
// to the caller's targets, to a printer or to the text classes.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "core/FileHelpers.h"
#include "core/PNG.h"
#include "core/StringHelpers.h"
#include "document/PageTree.h"
#include "platform/ui/Messages.h"

namespace velmo {

namespace {

// A renderer of the installed kind for one page pass at DPI, with the
// optional-content states and the crop box to use.
std::unique_ptr<TPDFRendererBase> NewPageRenderer(TPDFFontCollectionBase* Fonts, double DPI,
                                                  const TVPLOCGStateList& OCGStateList,
                                                  int32_t CropType) {
    std::unique_ptr<TPDFRendererBase> R = NewPageRenderer(Fonts);
    R->FDPI = DPI;
    R->FOCGStateList = OCGStateList;
    R->FCropType = CropType;
    return R;
}

// DPI rounded to the nearest integer for the image writers; values that are
// not finite or do not fit give 0 (the writers' default).
int32_t RoundDPI(double DPI) {
    if (!std::isfinite(DPI) || DPI < 0 || DPI > std::numeric_limits<int32_t>::max()) return 0;
    return static_cast<int32_t>(std::lround(DPI));
}

// Destination by output format; NoLibrary: the built-in back ends draw.
void SetDestination(TPDFRendererBase& R, int32_t Options, bool NoLibrary) {
    switch (Options) {
        case 2:
            R.FDestination = rdWMF;
            break;
        case 3:
            R.FDestination = rdEMF;
            break;
        case 4:
            R.FDestination = rdEPS;
            break;
        case 8:
            R.FDestination = rdEMFPlus;
            break;
        case 9:
            R.FDestination = rdHTML5;
            break;
        default:
            if (NoLibrary) R.FDestination = rdBitmap;
            break;
    }
}

void SetStreamTargets(TPDFRendererBase& R, int32_t Options, TStream* Target) {
    if (Options == 8) R.SetEMFPlusTarget(Target);
    if (Options == 9) R.SetHTML5Target(Target);
}

// How the writers of one variant behave.
struct TPageWriterOptions {
    int32_t JPEGQuality = 0;
    int32_t JPEGDPI = 0;
    bool HasPNGTransparency = false;
    TColor PNGTransparencyColor = 0;
    bool WriteTIFF = true;
    const TGDIPlusSettings* TIFFSettings = nullptr;
};

// The writer of Options; a refused page raises.
void WritePageData(TPDFRendererBase& R, int32_t Options, double DPI, TStream& Target,
                   const TPageWriterOptions& W) {
    const TPDFPageWriterHooks& Hooks = PageWriterHooks();
    switch (Options) {
        case 0: {
            const int64_t Start = Target.Position();
            R.FBitmap.SaveToStream(Target);
            PatchBMPResolution(Target, Start, DPI);
            break;
        }
        case 1:
            if (Hooks.WriteJPEG) Hooks.WriteJPEG(R.FBitmap, Target, W.JPEGQuality, W.JPEGDPI);
            break;
        case 2:
        case 3:
            R.SaveMetafileToStream(Target);
            break;
        case 4:
            R.SaveEPSToStream(Target);
            break;
        case 5: {
            TPNGWriter Writer(R.FBitmap);
            if (W.HasPNGTransparency) Writer.SetTransparencyColor(W.PNGTransparencyColor);
            Writer.SetDPI(RoundDPI(DPI));
            Writer.SaveToStream(Target);
            break;
        }
        case 6:
            if (Hooks.WriteGIF) Hooks.WriteGIF(R.FBitmap, Target);
            break;
        case 7:
            if (W.WriteTIFF && Hooks.WriteTIFF)
                Hooks.WriteTIFF(R.FBitmap, Target, W.TIFFSettings, DPI);
            break;
        case 10:
            if (W.WriteTIFF && Hooks.WriteG4TIFF)
                Hooks.WriteG4TIFF(R.FBitmap, Target, W.TIFFSettings, DPI);
            break;
        default:
            break;  // 8 and 9 were written while rendering; others write nothing
    }
}

// Writes the rendered page in the format of Options at Target's position.
// False with Reason when a writer refused the page (its bytes are then
// incomplete or missing).
bool WritePage(TPDFRendererBase& R, int32_t Options, double DPI, TStream& Target,
               const TPageWriterOptions& W, std::string& Reason) {
    try {
        WritePageData(R, Options, DPI, Target, W);
        return true;
    } catch (const std::exception& E) {
        Reason = E.what();
    } catch (...) {
        Reason = "unknown error";
    }
    return false;
}

// One page into a stream: a refused page is a failure named in RenderError.
bool WriteStreamPage(TPDFRendererBase& R, int32_t Options, double DPI, TStream& Target,
                     const TPageWriterOptions& W, std::string& RenderError) {
    std::string Reason;
    if (WritePage(R, Options, DPI, Target, W, Reason)) return true;
    RenderError = "The page could not be written: " + Reason;
    return false;
}

// Four integers at a time: left, top, width, height. Only complete groups
// are read; a malformed number raises.
void FillInitialClip(TPDFRendererBase& R, std::string_view Clip) {
    R.ClearInitialClip();
    std::vector<std::string_view> Items;
    size_t I = 0;
    while (I < Clip.size()) {
        while (I < Clip.size() && Clip[I] == ' ') ++I;
        size_t J = I;
        while (J < Clip.size() && Clip[J] != ' ') ++J;
        if (J > I) Items.push_back(Clip.substr(I, J - I));
        I = J;
    }
    auto ToInt = [](std::string_view S) {
        int32_t V = 0;
        std::string_view T = S;
        if (!T.empty() && T.front() == '+') T.remove_prefix(1);
        auto [P, Ec] = std::from_chars(T.data(), T.data() + T.size(), V);
        if (T.empty() || Ec != std::errc() || P != T.data() + T.size())
            throw std::invalid_argument("'" + std::string(S) + "' is not a valid integer value");
        return V;
    };
    for (size_t G = 0; G + 3 < Items.size(); G += 4)
        R.AddToInitialClip(ToInt(Items[G]), ToInt(Items[G + 1]), ToInt(Items[G + 2]),
                           ToInt(Items[G + 3]));
}

void SendProgress(const TPDFProgressTarget& T, int32_t Value) {
    if (!T.Window) return;
    SendMessageW(T.Window, static_cast<UINT>(T.Message),
                 static_cast<WPARAM>(static_cast<intptr_t>(T.Data)), static_cast<LPARAM>(Value));
}

// The largest page list a print call builds (as the range-list parser).
constexpr int32_t kMaxPrintPages = int32_t{1} << 22;

}  // namespace

void PatchBMPResolution(TStream& Target, int64_t Start, double DPI) {
    const int64_t End = Target.Size();
    if (End - Start < 48) return;
    double PPM = DPI * 1000 / 25.4;
    int32_t V = 0;
    if (std::isfinite(PPM))
        V = static_cast<int32_t>(std::clamp(std::trunc(PPM), double(INT32_MIN), double(INT32_MAX)));
    const uint32_t U = static_cast<uint32_t>(V);
    const char Bytes[4] = {static_cast<char>(U & 0xFF), static_cast<char>((U >> 8) & 0xFF),
                           static_cast<char>((U >> 16) & 0xFF), static_cast<char>(U >> 24)};
    Target.Seek(Start + 38, soBeginning);
    Target.WriteBuffer(Bytes, 4);
    Target.Seek(Start + 42, soBeginning);
    Target.WriteBuffer(Bytes, 4);
    Target.Seek(End, soBeginning);
}

std::u16string PageFileName(const std::u16string& FileName, int32_t Page) {
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "%.4d", Page);
    const std::u16string Number(Buf, Buf + std::char_traits<char>::length(Buf));
    if (FileName.find(u"%p") != std::u16string::npos) {
        std::u16string Out;
        Out.reserve(FileName.size() + 8);
        for (size_t I = 0; I < FileName.size();) {
            if (FileName.compare(I, 2, u"%p") == 0) {
                Out += Number;
                I += 2;
            } else {
                Out += FileName[I++];
            }
        }
        return Out;
    }
    // The extension is looked for in the file-name part only, so a dot in a
    // folder name is left alone; without one the number ends the name.
    const size_t Slash = FileName.find_last_of(u"/\\");
    const size_t NameStart = Slash == std::u16string::npos ? 0 : Slash + 1;
    const size_t Dot = FileName.rfind(u'.');
    if (Dot == std::u16string::npos || Dot < NameStart) return FileName + Number;
    return FileName.substr(0, Dot) + Number + FileName.substr(Dot);
}

// ---- Files ----

bool TPDFPageTree::RenderPageToFile(double DPI, int32_t StartPage, int32_t EndPage, int32_t Options,
                                    int32_t JPEGQuality, const std::u16string& FileName,
                                    const TGDIPlusSettings* GDIPlusSettings,
                                    bool HasPNGTransparency, TColor PNGTransparencyColor,
                                    std::string& RenderError, const TVPLOCGStateList& OCGStateList,
                                    const std::u16string& CairoFileName,
                                    const std::u16string& KPLRFileName) {
    std::unique_ptr<TPDFRendererBase> R = NewPageRenderer(RenderFontCol.get());
    const bool NoLibrary = CairoFileName.empty() && KPLRFileName.empty();
    if (NoLibrary) R->SetGDIPlusSettings(GDIPlusSettings);
    R->FDPI = DPI;
    R->FOCGStateList = OCGStateList;
    if (!CairoFileName.empty()) {
        R->FDestination = rdCairoBitmap;
        R->SetCairoTarget(CairoFileName, nullptr, true, 0, 0);
    }
    if (!KPLRFileName.empty()) {
        R->FDestination = rdKPLRBitmap;
        R->SetKPLRTarget(KPLRFileName, nullptr, true, 0, 0);
    }
    SetDestination(*R, Options, NoLibrary);

    TPageWriterOptions W;
    W.JPEGQuality = JPEGQuality;
    W.JPEGDPI = RoundDPI(DPI);
    W.HasPNGTransparency = HasPNGTransparency;
    W.PNGTransparencyColor = PNGTransparencyColor;
    W.TIFFSettings = GDIPlusSettings;
    bool Failed = false;
    for (int64_t P = StartPage; P <= EndPage; ++P) {
        const int32_t Page = static_cast<int32_t>(P);
        auto File = CreateWideFileStream(PageFileName(FileName, Page), 0xFF00);
        R->ClearCachedResources();
        R->FPageDict = GetPage(Page);
        SetStreamTargets(*R, Options, File.get());
        R->Render();
        std::string Reason;
        if (WritePage(*R, Options, DPI, *File, W, Reason)) {
            if (!Failed) RenderError = R->FErrorDesc;
        } else {
            // A page the writer refused is no success; the error names the
            // first such page and stays, whatever later pages report.
            if (!Failed)
                RenderError = "Page " + std::to_string(Page) + " could not be written: " + Reason;
            Failed = true;
        }
        // The stream is closed below; the renderer must not keep it.
        SetStreamTargets(*R, Options, nullptr);
    }
    return !Failed;
}

bool TPDFPageTree::RenderPageToCairoFile(double DPI, int32_t StartPage, int32_t EndPage,
                                         int32_t Options, int32_t JPEGQuality,
                                         const std::u16string& CairoFileName,
                                         const std::u16string& FileName, bool HasPNGTransparency,
                                         TColor PNGTransparencyColor, std::string& RenderError,
                                         const TVPLOCGStateList& OCGStateList) {
    // No settings record: the TIFF writers take their defaults.
    return RenderPageToFile(DPI, StartPage, EndPage, Options, JPEGQuality, FileName, nullptr,
                            HasPNGTransparency, PNGTransparencyColor, RenderError, OCGStateList,
                            CairoFileName, {});
}

bool TPDFPageTree::RenderPageToKPLRFile(
    double DPI, int32_t StartPage, int32_t EndPage, int32_t Options, int32_t JPEGQuality,
    const std::u16string& KPLRFileName, const std::u16string& FileName,
    const TGDIPlusSettings* GDIPlusSettings, bool HasPNGTransparency, TColor PNGTransparencyColor,
    std::string& RenderError, const TVPLOCGStateList& OCGStateList) {
    return RenderPageToFile(DPI, StartPage, EndPage, Options, JPEGQuality, FileName,
                            GDIPlusSettings, HasPNGTransparency, PNGTransparencyColor, RenderError,
                            OCGStateList, {}, KPLRFileName);
}

// ---- Streams and memory ----

bool TPDFPageTree::RenderPageToStream(double DPI, int32_t Page, int32_t Options,
                                      int32_t JPEGQuality, const TGDIPlusSettings* GDIPlusSettings,
                                      TStream& Target, std::string& RenderError,
                                      int32_t RenderCropType,
                                      const TVPLOCGStateList& OCGStateList) {
    std::unique_ptr<TPDFRendererBase> R =
        NewPageRenderer(RenderFontCol.get(), DPI, OCGStateList, RenderCropType);
    R->SetGDIPlusSettings(GDIPlusSettings);
    SetDestination(*R, Options, true);
    R->FPageDict = GetPage(Page);
    SetStreamTargets(*R, Options, &Target);
    R->Render();
    RenderError = R->FErrorDesc;
    TPageWriterOptions W;
    W.JPEGQuality = JPEGQuality;
    W.JPEGDPI = RoundDPI(DPI);
    W.TIFFSettings = GDIPlusSettings;
    return WriteStreamPage(*R, Options, DPI, Target, W, RenderError);
}

bool TPDFPageTree::RenderPageToCairoStream(double DPI, int32_t Page, int32_t Options,
                                           int32_t JPEGQuality, const std::u16string& CairoFileName,
                                           TStream& Target, std::string& RenderError,
                                           int32_t RenderCropType,
                                           const TVPLOCGStateList& OCGStateList) {
    std::unique_ptr<TPDFRendererBase> R =
        NewPageRenderer(RenderFontCol.get(), DPI, OCGStateList, RenderCropType);
    R->FDestination = rdCairoBitmap;
    R->SetCairoTarget(CairoFileName, nullptr, true, 0, 0);
    SetDestination(*R, Options, false);
    R->FPageDict = GetPage(Page);
    SetStreamTargets(*R, Options, &Target);
    R->Render();
    RenderError = R->FErrorDesc;
    TPageWriterOptions W;
    W.JPEGQuality = JPEGQuality;
    W.JPEGDPI = RoundDPI(DPI);
    W.WriteTIFF = false;
    return WriteStreamPage(*R, Options, DPI, Target, W, RenderError);
}

bool TPDFPageTree::RenderPageToKPLRStream(double DPI, int32_t Page, int32_t Options,
                                          int32_t JPEGQuality,
                                          const TGDIPlusSettings* GDIPlusSettings,
                                          const std::u16string& KPLRFileName, TStream& Target,
                                          std::string& RenderError, int32_t RenderCropType,
                                          const TVPLOCGStateList& OCGStateList) {
    std::unique_ptr<TPDFRendererBase> R =
        NewPageRenderer(RenderFontCol.get(), DPI, OCGStateList, RenderCropType);
    R->SetGDIPlusSettings(GDIPlusSettings);
    R->FDestination = rdKPLRBitmap;
    R->SetKPLRTarget(KPLRFileName, nullptr, true, 0, 0);
    SetDestination(*R, Options, false);
    R->FPageDict = GetPage(Page);
    SetStreamTargets(*R, Options, &Target);
    R->Render();
    RenderError = R->FErrorDesc;
    // No JPEG density here, and the TIFF writers take the default settings.
    TPageWriterOptions W;
    W.JPEGQuality = JPEGQuality;
    W.JPEGDPI = 0;
    W.TIFFSettings = nullptr;
    return WriteStreamPage(*R, Options, DPI, Target, W, RenderError);
}

bool TPDFPageTree::RenderPageToKPLRMemory(double DPI, int32_t Page, int32_t JPEGQuality,
                                          const TGDIPlusSettings* GDIPlusSettings,
                                          const std::u16string& KPLRFileName, void* Target,
                                          int32_t Width, int32_t Height, int32_t BitsPerPixel,
                                          std::string& RenderError, int32_t RenderCropType,
                                          const TVPLOCGStateList& OCGStateList) {
    std::unique_ptr<TPDFRendererBase> R =
        NewPageRenderer(RenderFontCol.get(), DPI, OCGStateList, RenderCropType);
    R->SetGDIPlusSettings(GDIPlusSettings);
    R->FDestination = rdKPLRMemory;
    R->SetKPLRMemoryTarget(KPLRFileName, Target, Width, Height, BitsPerPixel, true, 0, 0);
    R->FPageDict = GetPage(Page);
    R->Render();
    RenderError = R->FErrorDesc;
    return true;
}

// ---- Device contexts ----

bool TPDFPageTree::RenderPageToDC(double DPI, int32_t Page, int32_t JPEGQuality,
                                  const TGDIPlusSettings* GDIPlusSettings, HDC TargetDC,
                                  std::string& RenderError, int32_t RenderCropType, int32_t OffsetX,
                                  int32_t OffsetY, bool ErasePage,
                                  const TVPLOCGStateList& OCGStateList, std::string_view Clip) {
    std::unique_ptr<TPDFRendererBase> R =
        NewPageRenderer(RenderFontCol.get(), DPI, OCGStateList, RenderCropType);
    R->SetGDIPlusSettings(GDIPlusSettings);
    R->FDestination = rdDeviceContext;
    R->SetDeviceContextTarget(TargetDC, ErasePage, OffsetX, OffsetY);
    R->FPageDict = GetPage(Page);
    FillInitialClip(*R, Clip);
    R->Render();
    RenderError = R->FErrorDesc;
    return true;
}

bool TPDFPageTree::RenderPageToCairoDC(double DPI, int32_t Page, int32_t JPEGQuality,
                                       const std::u16string& CairoFileName, HDC TargetDC,
                                       std::string& RenderError, int32_t RenderCropType,
                                       int32_t OffsetX, int32_t OffsetY, bool ErasePage,
                                       const TVPLOCGStateList& OCGStateList) {
    std::unique_ptr<TPDFRendererBase> R =
        NewPageRenderer(RenderFontCol.get(), DPI, OCGStateList, RenderCropType);
    R->FDestination = rdCairo;
    R->SetCairoTarget(CairoFileName, TargetDC, ErasePage, OffsetX, OffsetY);
    R->FPageDict = GetPage(Page);
    R->Render();
    RenderError = R->FErrorDesc;
    return true;
}

bool TPDFPageTree::RenderPageToKPLRDC(double DPI, int32_t Page, int32_t JPEGQuality,
                                      const TGDIPlusSettings* GDIPlusSettings,
                                      const std::u16string& KPLRFileName, HDC TargetDC,
                                      std::string& RenderError, int32_t RenderCropType,
                                      int32_t OffsetX, int32_t OffsetY, bool ErasePage,
                                      const TVPLOCGStateList& OCGStateList, std::string_view Clip) {
    TPDFDictionary* PageDict = GetPage(Page);
    auto SetUp = [&](TPDFRendererBase& R) {
        R.SetGDIPlusSettings(GDIPlusSettings);
        R.FDPI = DPI;
        R.FDestination = rdKPLR;
        R.FOCGStateList = OCGStateList;
        R.SetKPLRTarget(KPLRFileName, TargetDC, ErasePage, OffsetX, OffsetY);
        R.FPageDict = PageDict;
    };
    auto Draw = [&](TPDFRendererBase& R) {
        R.FCropType = RenderCropType;
        FillInitialClip(R, Clip);
        R.Render();
        RenderError = R.FErrorDesc;
    };
    auto* Kept = dynamic_cast<TPDFRendererBase*>(FRenderer);
    if (Kept && Kept->FDPI == -1) {
        SetUp(*Kept);
        Draw(*Kept);
    } else if (Kept && Kept->FDestination == rdKPLR && Kept->FDPI == DPI &&
               Kept->FPageDict == PageDict && Kept->FKPLRFileName == KPLRFileName) {
        Kept->SetKPLRTarget(KPLRFileName, TargetDC, ErasePage, OffsetX, OffsetY);
        Draw(*Kept);
    } else {
        std::unique_ptr<TPDFRendererBase> R = NewPageRenderer(RenderFontCol.get());
        SetUp(*R);
        Draw(*R);
    }
    return true;
}

// ---- Printers ----

std::vector<int32_t> TPDFPageTree::PrintPageList(std::u16string_view PageRanges) {
    const int32_t Count = PageCount();
    std::vector<int32_t> Pages;
    auto Every = [&](int32_t First, int32_t Step) {
        for (int64_t P = First; P <= Count && Pages.size() < size_t(kMaxPrintPages); P += Step)
            Pages.push_back(static_cast<int32_t>(P));
    };
    auto Parse = [&](std::u16string_view Text) {
        std::string Narrow;
        Narrow.reserve(Text.size());
        // Only ASCII takes part; anything else separates items.
        for (char16_t C : Text) Narrow += C < 0x80 ? static_cast<char>(C) : ',';
        ParsePageRangeList(Narrow, 1, Count, false, false, false, true, false, Pages);
    };
    auto Keep = [&](int32_t Parity) {
        std::erase_if(Pages, [&](int32_t P) { return (P & 1) != Parity; });
    };
    if (PageRanges == u"All") {
        Every(1, 1);
    } else if (PageRanges == u"Odd") {
        Every(1, 2);
    } else if (PageRanges == u"Even") {
        Every(2, 2);
    } else if (PageRanges.starts_with(u"Odd")) {
        Parse(PageRanges.substr(3));
        Keep(1);
    } else if (PageRanges.starts_with(u"Even")) {
        Parse(PageRanges.substr(4));
        Keep(0);
    } else {
        Parse(PageRanges);
    }
    return Pages;
}

bool TPDFPageTree::RenderPageToPrinter(TVPLPrinterBase* VPLPrinter, int32_t StartPage,
                                       int32_t EndPage, int32_t Options,
                                       const TGDIPlusSettings* GDIPlusSettings,
                                       const TVPLOCGStateList& OCGStateList,
                                       const std::u16string& KPLRFileName) {
    const std::string Range = std::to_string(StartPage) + "-" + std::to_string(EndPage);
    return RenderPageToPrinter(VPLPrinter, std::u16string(Range.begin(), Range.end()), Options,
                               GDIPlusSettings, OCGStateList, KPLRFileName);
}

bool TPDFPageTree::RenderPageToPrinter(TVPLPrinterBase* VPLPrinter, std::u16string_view PageRanges,
                                       int32_t Options, const TGDIPlusSettings* GDIPlusSettings,
                                       const TVPLOCGStateList& OCGStateList,
                                       const std::u16string& KPLRFileName) {
    const std::vector<int32_t> Pages = PrintPageList(PageRanges);
    std::unique_ptr<TPDFRendererBase> R = NewPageRenderer(RenderFontCol.get());
    R->SetGDIPlusSettings(GDIPlusSettings);
    const int32_t Scaling = Options & 15;
    R->FPrintOptions.PageScaling = Scaling == 1   ? psFitToPaper
                                   : Scaling == 2 ? psShrinkLargePages
                                                  : psNone;
    R->FPrintOptions.AutoRotateCenter = (Options & 16) != 0;
    R->FPrintOptions.AutoRotateCenter180 = false;
    R->FDPI = VPLPrinter ? VPLPrinter->GetDPI() : 0;
    if (!KPLRFileName.empty()) {
        R->FDestination = rdKPLRPrinter;
        R->FKPLRFileName = KPLRFileName;
    } else {
        R->FDestination = rdPrinter;
    }
    R->FVPLPrinter = VPLPrinter;
    R->FOCGStateList = OCGStateList;

    const TPDFProgressTarget Progress = R->ProgressTarget();
    SendProgress(Progress, 1050);
    const int64_t N = static_cast<int64_t>(Pages.size());
    for (int64_t I = 0; I < N; ++I) {
        if (I > 0 && VPLPrinter) VPLPrinter->NewPage();
        R->ClearCachedResources();
        R->FPageDict = GetPage(Pages[static_cast<size_t>(I)]);
        R->Render();
        SendProgress(Progress, static_cast<int32_t>((I + 1) * 100 / N));
    }
    return true;
}

// ---- Text and images ----

TObject* TPDFPageTree::GetTextList(int32_t ExtractOptions, TObject* Funnel) {
    if (ExtractOptions != 3 && ExtractOptions != 4) return nullptr;
    std::unique_ptr<TPDFRendererBase> R = NewPageRenderer(TextExtractFontCol.get());
    R->FDestination = rdTextFunnel;
    R->FPageDict = FPageDict;
    if (Funnel) R->SetTextFunnel(Funnel);
    R->Render();
    std::unique_ptr<TObject> List = R->FunnelTextList();
    if (!List || !FTextLists) return nullptr;
    FTextLists->push_back(std::move(List));
    return FTextLists->back().get();
}

std::u16string TPDFPageTree::ExtractText(int32_t ExtractOptions, TObject* Funnel) {
    if (ExtractOptions >= 3 && ExtractOptions <= 8) {
        std::unique_ptr<TPDFRendererBase> R = NewPageRenderer(TextExtractFontCol.get());
        R->FDestination = rdTextFunnel;
        R->FPageDict = FPageDict;
        if (Funnel) R->SetTextFunnel(Funnel);
        R->Render();
        if (ExtractOptions <= 6) return R->FunnelCSV();
        if (ExtractOptions == 7) return R->FunnelTextLines();
        return R->FunnelRawText();
    }
    std::string Text;
    if (ExtractOptions < 3) {
        const int32_t Selected = FLayer;
        for (int32_t L = 1; L <= LayerCount(); ++L) {
            SetLayer(L);
            Text += ' ';
            Text += ExtractContent();
        }
        if (Selected >= 1 && Selected <= LayerCount() && FLayer != Selected) SetLayer(Selected);
        if (ExtractOptions == 1) ExtractOptions = 0;
    }
    std::unique_ptr<TPDFExtractorBase> X = NewPageExtractor(Resources(), TextExtractFontCol.get());
    return X->ExtractTextW(Text, ExtractOptions);
}

void TPDFPageTree::SplitPageText(int32_t Options) {
    std::unique_ptr<TPDFContentStreamTextSplitterBase> Splitter = NewPageTextSplitter(Options);
    if (!CombineLayers()) return;
    Splitter->Process(ExtractContent());
    SetContent(Splitter->FGraphicsStream);
    if (NewLayer() == 0) return;
    SetContent(Splitter->FTextStream);
    Compress();
    // The content writer reads the text layer again, so that drawing on the
    // page appends to the text instead of replacing it.
    SetLayer(LayerCount());
}

TPDFImageListBase* TPDFPageTree::GetImageList() {
    if (!FImageLists) return nullptr;
    std::unique_ptr<TPDFImageListBase> List = NewPageImageList();
    TPDFImageListBase* Result = List.get();
    FImageLists->push_back(std::move(List));
    std::unique_ptr<TPDFFontCollectionBase> Fonts = NewPageFontCollection();
    Fonts->FInstallFonts = true;
    std::unique_ptr<TPDFRendererBase> R = NewPageRenderer(Fonts.get());
    R->FDPI = 72;
    R->FDestination = rdImageList;
    R->FImageList = Result;
    R->FPageDict = FPageDict;
    R->Render();
    return Result;
}

}  // namespace velmo
