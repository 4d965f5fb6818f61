// Rendering operations of the public class: pages of the selected document
// to image files, streams, device contexts and memory, and the settings
// that steer them (resolution scale, JPEG quality, PNG transparent colour,
// crop box, drawing options, back-end choice).
#include <cmath>
#include <exception>

#include "api/VelmoPDF.h"
#include "codecs/TIFFWriters.h"
#include "core/StringHelpers.h"
#include "core/FileHelpers.h"
#include "document/PageTree.h"
#include "platform/files/Stream.h"
#include "render/LibraryBindings.h"
#include "render/Picasso.h"

namespace velmo {

namespace {

// The selected page is put back however the operation ends.
class TKeepSelectedPage {
public:
    explicit TKeepSelectedPage(TPDFPageTree* Tree) : FTree(Tree), FPage(Tree ? Tree->Page() : 0) {}
    ~TKeepSelectedPage() {
        try {
            if (FTree != nullptr && FTree->Page() != FPage) FTree->SetPage(FPage);
        } catch (...) {
        }
    }
    TKeepSelectedPage(const TKeepSelectedPage&) = delete;
    TKeepSelectedPage& operator=(const TKeepSelectedPage&) = delete;

private:
    TPDFPageTree* FTree;
    int32_t FPage;
};

// A 0/1 setting: stored and 1, or 0 with nothing changed.
int32_t StoreFlag(bool& Field, int32_t Value) {
    if (Value != 0 && Value != 1) return 0;
    Field = Value == 1;
    return 1;
}


}  // namespace

// ---------------------------------------------------------------------------
// Page images

int32_t TVelmoPDF::RenderDocumentToFile(double DPI, int32_t StartPage, int32_t EndPage,
                                        int32_t Options, const std::u16string& FileName) {
    FLastRenderError.clear();
    TPDFPageTree* Tree = FSelDoc->PageTree();
    if (Tree == nullptr) return 0;
    TKeepSelectedPage Keep(Tree);
    if (EndPage < StartPage) std::swap(StartPage, EndPage);
    if (StartPage < 1) StartPage = 1;
    const int32_t Count = Tree->PageCount();
    if (EndPage > Count) EndPage = Count;
    const double Scaled = DPI * FRenderScale;
    const TVPLOCGStateList States = FSelDoc->GetViewOCGList();
    bool Done;
    if (FUseCairo)
        Done = Tree->RenderPageToCairoFile(Scaled, StartPage, EndPage, Options, FJPEGQuality,
                                           FCairoFileName, FileName, HasPNGTransparency,
                                           PNGTransparencyColor, FLastRenderError, States);
    else if (FUseKPLR)
        Done = Tree->RenderPageToKPLRFile(Scaled, StartPage, EndPage, Options, FJPEGQuality,
                                          FKPLRFileName, FileName, FGDIPlusSettings.get(),
                                          HasPNGTransparency, PNGTransparencyColor,
                                          FLastRenderError, States);
    else
        Done = Tree->RenderPageToFile(Scaled, StartPage, EndPage, Options, FJPEGQuality, FileName,
                                      FGDIPlusSettings.get(), HasPNGTransparency,
                                      PNGTransparencyColor, FLastRenderError, States);
    return Done ? 1 : 0;
}

int32_t TVelmoPDF::RenderPageToFile(double DPI, int32_t Page, int32_t Options,
                                    const std::u16string& FileName) {
    FLastRenderError.clear();
    std::unique_ptr<TVelmoPDFWideFileStream> File;
    try {
        File = CreateWideFileStream(FileName, 0xFF00);
    } catch (const std::exception&) {
        return 2;
    }
    return RenderPageToStream(DPI, Page, Options, *File);
}

int32_t TVelmoPDF::RenderPageToStream(double DPI, int32_t Page, int32_t Options, TStream& Target) {
    FLastRenderError.clear();
    TPDFPageTree* Tree = FSelDoc->PageTree();
    if (Tree == nullptr) return 0;
    TKeepSelectedPage Keep(Tree);
    const int32_t Count = Tree->PageCount();
    Page = std::clamp(Page, 1, std::max(Count, 1));
    const double Scaled = DPI * FRenderScale;
    const TVPLOCGStateList States = FSelDoc->GetViewOCGList();
    // The metafile, EPS and canvas formats have no road through the
    // external renderer library.
    const bool LibraryFormat = Options != 2 && Options != 3 && Options != 4 && Options != 8 &&
                               Options != 9;
    bool Done;
    if (FUseCairo)
        Done = Tree->RenderPageToCairoStream(Scaled, Page, Options, FJPEGQuality, FCairoFileName,
                                             Target, FLastRenderError, FRenderCropType, States);
    else if (FUseKPLR && LibraryFormat)
        Done = Tree->RenderPageToKPLRStream(Scaled, Page, Options, FJPEGQuality,
                                            FGDIPlusSettings.get(), FKPLRFileName, Target,
                                            FLastRenderError, FRenderCropType, States);
    else
        Done = Tree->RenderPageToStream(Scaled, Page, Options, FJPEGQuality,
                                        FGDIPlusSettings.get(), Target, FLastRenderError,
                                        FRenderCropType, States);
    return Done ? 1 : 0;
}

std::string TVelmoPDF::RenderPageToString(double DPI, int32_t Page, int32_t Options) {
    TMemoryStream Memory;
    RenderPageToStream(DPI, Page, Options, Memory);
    std::string Bytes(size_t(Memory.Size()), '\0');
    if (!Bytes.empty()) {
        Memory.Seek(0, soBeginning);
        Memory.ReadBuffer(Bytes.data(), int64_t(Bytes.size()));
    }
    return Bytes;
}

int32_t TVelmoPDF::RenderPageToDC(double DPI, int32_t Page, HDC DC) {
    return RenderPageToDCClip(DPI, Page, DC, std::string());
}

int32_t TVelmoPDF::RenderPageToDCClip(double DPI, int32_t Page, HDC DC, const std::string& Clip) {
    FLastRenderError.clear();
    TPDFPageTree* Tree = FSelDoc->PageTree();
    if (Tree == nullptr) return 0;
    TKeepSelectedPage Keep(Tree);
    const int32_t Count = Tree->PageCount();
    Page = std::clamp(Page, 1, std::max(Count, 1));
    const double Scaled = DPI * FRenderScale;
    const TVPLOCGStateList States = FSelDoc->GetViewOCGList();
    bool Done;
    if (FUseCairo)
        Done = Tree->RenderPageToCairoDC(Scaled, Page, FJPEGQuality, FCairoFileName, DC,
                                         FLastRenderError, FRenderCropType, FRenderDCOffsetX,
                                         FRenderDCOffsetY, FRenderDCErasePage, States);
    else if (FUseKPLR)
        Done = Tree->RenderPageToKPLRDC(Scaled, Page, FJPEGQuality, FGDIPlusSettings.get(),
                                        FKPLRFileName, DC, FLastRenderError, FRenderCropType,
                                        FRenderDCOffsetX, FRenderDCOffsetY, FRenderDCErasePage,
                                        States, Clip);
    else
        Done = Tree->RenderPageToDC(Scaled, Page, FJPEGQuality, FGDIPlusSettings.get(), DC,
                                    FLastRenderError, FRenderCropType, FRenderDCOffsetX,
                                    FRenderDCOffsetY, FRenderDCErasePage, States, Clip);
    return Done ? 1 : 0;
}

int32_t TVelmoPDF::RenderPageToMemory(double DPI, int32_t Page, void* Target, int32_t Width,
                                      int32_t Height, int32_t BitsPerPixel) {
    FLastRenderError.clear();
    if (BitsPerPixel != 24 && BitsPerPixel != 32) return 0;
    // Only the external renderer library draws into a caller's buffer; the
    // buffer is left alone otherwise.
    if (!FUseKPLR || FUseCairo) return 0;
    TPDFPageTree* Tree = FSelDoc->PageTree();
    if (Tree == nullptr || Target == nullptr || Width <= 0 || Height <= 0) return 0;
    TKeepSelectedPage Keep(Tree);
    const int32_t Count = Tree->PageCount();
    Page = std::clamp(Page, 1, std::max(Count, 1));
    const bool Done = Tree->RenderPageToKPLRMemory(
        DPI * FRenderScale, Page, FJPEGQuality, FGDIPlusSettings.get(), FKPLRFileName, Target,
        Width, Height, BitsPerPixel, FLastRenderError, FRenderCropType, FSelDoc->GetViewOCGList());
    return Done ? 1 : 0;
}

int32_t TVelmoPDF::RenderAsMultipageTIFFToFile(double DPI, const std::u16string& PageRanges,
                                               int32_t ImageOptions, int32_t OutputOptions,
                                               const std::u16string& FileName) {
    FLastRenderError.clear();
    if ((ImageOptions != 0 && ImageOptions != 1) || OutputOptions != 0) return 0;
    TPDFPageTree* Tree = FSelDoc->PageTree();
    if (Tree == nullptr) return 0;
    std::string Ranges;
    Ranges.reserve(PageRanges.size());
    // Only ASCII takes part in a range list; anything else separates items.
    for (char16_t C : PageRanges) Ranges += C < 0x80 ? char(C) : ',';
    TVelmoPDFPageList Pages;
    ParsePageRangeList(Ranges, 1, Tree->PageCount(), false, false, false, true, false, Pages);
    if (Pages.empty()) return 0;
    // A file that cannot be created raises out of here.
    auto File = CreateWideFileStream(FileName, 0xFF10);
    TMultipageTIFFWriter Writer(*File);
    const int32_t Format = ImageOptions == 1 ? 10 : 7;
    for (const int32_t Page : Pages) {
        TMemoryStream Image;
        if (RenderPageToStream(DPI, Page, Format, Image) == 0) return 0;
        Image.Seek(0, soBeginning);
        // A page that would carry the file past the classic TIFF limit is
        // left out, with the pages after it: those before it stay a valid
        // file.
        if (!Writer.AddPage(Image)) {
            FLastRenderError = "Page " + std::to_string(Page) +
                               " does not fit into the TIFF file; the file ends before it";
            return 0;
        }
    }
    return 1;
}

std::u16string TVelmoPDF::LastRenderError() const { return AnsiBytesToWide(FLastRenderError); }

int32_t TVelmoPDF::CreateRenderer() {
    TPDFPageTree* Tree = FSelDoc->PageTree();
    if (Tree == nullptr) return 0;
    DestroyRenderer();
    std::unique_ptr<TPDFRendererBase> R = NewPageRenderer(Tree->RRenderFontCol());
    if (!R) return 0;
    R->FDPI = -1.0;  // unset: the next drawing sets it up
    Tree->FRenderer = R.get();
    FRenderers[FSelDoc] = std::move(R);
    return 1;
}

int32_t TVelmoPDF::DestroyRenderer() {
    if (TPDFPageTree* Tree = FSelDoc->PageTree()) Tree->FRenderer = nullptr;
    FRenderers.erase(FSelDoc);
    return 1;
}

// ---------------------------------------------------------------------------
// Settings

int32_t TVelmoPDF::SetRenderScale(double NewScale) {
    FRenderScale = NewScale;
    return 1;
}

int32_t TVelmoPDF::SetJPEGQuality(int32_t Quality) {
    FJPEGQuality = std::clamp(Quality, 1, 100);
    return 1;
}

int32_t TVelmoPDF::SetPNGTransparencyColor(int32_t RedByte, int32_t GreenByte, int32_t BlueByte) {
    HasPNGTransparency = true;
    PNGTransparencyColor = uint32_t(RedByte & 0xFF) | uint32_t(GreenByte & 0xFF) << 8 |
                           uint32_t(BlueByte & 0xFF) << 16;
    return 1;
}

int32_t TVelmoPDF::SetRenderCropType(int32_t NewCropType) {
    if (NewCropType < 1 || NewCropType > 5) return 0;
    FRenderCropType = NewCropType;
    return 1;
}

int32_t TVelmoPDF::SetRenderDCOffset(int32_t NewOffsetX, int32_t NewOffsetY) {
    FRenderDCOffsetX = NewOffsetX;
    FRenderDCOffsetY = NewOffsetY;
    return 1;
}

int32_t TVelmoPDF::SetRenderDCErasePage(int32_t NewErasePage) {
    FRenderDCErasePage = NewErasePage != 0;
    return 1;
}

int32_t TVelmoPDF::SetGDIPlusFileName(const std::u16string& DLLFileName) {
    if (!FileExistsWide(DLLFileName)) return 0;
    FGDIPlusSettings->FileName = DLLFileName;
    return 1;
}

int32_t TVelmoPDF::SetGDIPlusOptions(int32_t OptionID, int32_t NewValue) {
    TGDIPlusSettings& S = *FGDIPlusSettings;
    auto Flag = [&](bool& Field) { return StoreFlag(Field, NewValue); };
    auto Range = [&](int32_t& Field, int32_t Low, int32_t High) {
        if (NewValue < Low || NewValue > High) return 0;
        Field = NewValue;
        return 1;
    };
    switch (OptionID) {
        case 0:
            return Flag(S.UseGDIPlus);
        case 1:
            return Flag(S.Smoothing);
        case 2:
            return Flag(S.AccurateInterpolation);
        case 3:
            return Flag(S.SmoothImages);
        case 4:
            return Flag(S.ProcessNullPath);
        case 5:
            return Range(S.MonoThreshold, 0, 255);
        case 6:
            return Flag(S.DLLAllowPiggyBack);
        case 7:
            if (NewValue < 0 || NewValue > 2) return 0;
            S.DLLStartup = static_cast<TGDIPlusDLLStartup>(NewValue);
            return 1;
        case 8:
            return Flag(S.DLLSuppressBackgroundThread);
        case 9:
            return Range(S.EnhanceThinLines, 0, 10);
        case 10:
            return Range(S.SmoothingMode, 1, 4);
        case 11:
            return Range(S.InterpolationMode, 1, 7);
        case 12:
            return Range(S.PixelOffsetMode, 1, 4);
        default:
            return 0;
    }
}

int32_t TVelmoPDF::SetRenderOptions(int32_t OptionID, int32_t NewValue) {
    TGDIPlusSettings& S = *FGDIPlusSettings;
    auto Flag = [&](bool& Field) { return StoreFlag(Field, NewValue); };
    switch (OptionID) {
        case 1:
            return Flag(S.RenderFormFields);
        case 2:
            return Flag(S.RenderAnnotations);
        case 3:
            return Flag(S.RenderFormFieldsOnly);
        case 4:
            return Flag(S.UseGammaCorrection);
        case 5:
            return Flag(S.IgnoreICCProfiles);
        // The progress target is stored; these report 0 all the same.
        case 6:
            S.ProgressWindow = reinterpret_cast<HWND>(static_cast<intptr_t>(NewValue));
            return 0;
        case 7:
            S.ProgressMessage = NewValue;
            return 0;
        case 8:
            S.ProgressData = NewValue;
            return 0;
        case 9: {
            bool Combine = S.PathCombineMode == cmCombinePaths;
            if (!Flag(Combine)) return 0;
            S.PathCombineMode = Combine ? cmCombinePaths : cmNormalPaths;
            return 1;
        }
        case 10:
            return Flag(S.DirectFonts);
        default:
            return 0;
    }
}

int32_t TVelmoPDF::SetCairoFileName(const std::u16string& FileName) {
    TCairoDLL Probe;
    if (!Probe.Attach(FileName)) return 0;
    FCairoFileName = FileName;
    return 1;
}

int32_t TVelmoPDF::SetKPLRFileName(const std::u16string& FileName) {
    TKorbexPDFLibraryKPLR Probe;
    if (!Probe.Attach(FileName)) return 0;
    FKPLRFileName = FileName;
    return 1;
}

int32_t TVelmoPDF::SelectRenderer(int32_t RendererID) {
    FUseCairo = RendererID == 2;
    FUseKPLR = RendererID == 3;
    return RendererID >= 1 && RendererID <= 3 ? RendererID : 0;
}

int32_t TVelmoPDF::SelectedRenderer() const {
    if (FUseKPLR) return 3;
    if (FUseCairo) return 2;
    return 1;
}

}  // namespace velmo
