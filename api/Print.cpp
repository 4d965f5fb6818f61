// Printing operations of the public class: print jobs on named printers,
// files and printer objects, the preview, printer lists, bins, media types,
// device-mode bytes, custom printers and print-job status.
#include <algorithm>
#include <cmath>
#include <functional>

#include "api/VelmoPDF.h"
#include "core/StringHelpers.h"
#include "core/Unicode.h"
#include "document/PageTree.h"
#include "platform/fonts/DCText.h"
#include "platform/text/AnsiCodePage.h"
#include "platform/ui/Messages.h"
#include "render/Picasso.h"
#include "render/Printing.h"

namespace velmo {

namespace {

// The selected page is put back however the job ends.
struct TKeepPage {
    TPDFPageTree* Tree;
    int32_t Page;
    explicit TKeepPage(TPDFPageTree* T) : Tree(T), Page(T ? T->Page() : 0) {}
    ~TKeepPage() {
        try {
            if (Tree != nullptr && Tree->Page() != Page) Tree->SetPage(Page);
        } catch (...) {
        }
    }
};

std::string UpperUtf8(const std::string& S) {
    std::string R = S;
    for (char& C : R)
        if (C >= 'a' && C <= 'z') C = char(C - 'a' + 'A');
    return R;
}

std::u16string QuotedList(const std::vector<std::string>& Names) {
    std::u16string R;
    for (size_t I = 0; I < Names.size(); ++I) {
        if (I > 0) R += u',';
        R += u'"';
        R += UTF8ToWide(Names[I]);
        R += u'"';
    }
    return R;
}

}  // namespace

TPrinter* TVelmoPDF::CurrentPrinter() { return FPrinter ? FPrinter.get() : &GlobalPrinter(); }

namespace {

// The custom printer of an (upper-cased ANSI) name, or null.
TPDFCustomPrinter* FindCustom(
    std::vector<std::pair<std::string, std::unique_ptr<TPDFCustomPrinter>>>& List,
    const std::u16string& Name) {
    const std::string Key = UpperCaseA(WideToAnsi(Name));
    for (auto& [K, P] : List)
        if (K == Key) return P.get();
    return nullptr;
}

bool IsKnownPrinterName(
    std::vector<std::pair<std::string, std::unique_ptr<TPDFCustomPrinter>>>& Custom,
    const std::u16string& Name) {
    if (Name.empty()) return false;
    if (FindCustom(Custom, Name) != nullptr) return true;
    std::vector<std::string> Installed;
    ListPrinterNames(Installed);
    const std::string Key = UpperUtf8(WideToUTF8(Name));
    return std::any_of(Installed.begin(), Installed.end(),
                       [&](const std::string& N) { return UpperUtf8(N) == Key; });
}

}  // namespace

// Selects a printer by name on the current printer object: a custom
// printer by its original name, with its settings applied when asked.
static void SelectPrinterByName(TVelmoPDF& V, const std::u16string& Name, bool ApplyCustom,
                                bool UseDevMode) {
    TPrinter* P = V.CurrentPrinter();
    TPDFCustomPrinter* Custom = FindCustom(V.FCustomPrinters, Name);
    const std::u16string Device = Custom ? Custom->OriginalPrinterName() : Name;
    P->SetPrinter(WideToUTF8(Device), "WINSPOOL", "", nullptr);
    if (Custom && ApplyCustom) Custom->SetPrinter(*P, UseDevMode ? V.FPrinterDevMode : std::string());
}

int32_t TVelmoPDF::PrintDocument(const std::u16string& PrinterName, int32_t StartPage,
                                 int32_t EndPage, int32_t Options) {
    if (!IsKnownPrinterName(FCustomPrinters, PrinterName)) return 0;
    FLastRenderError.clear();
    SelectPrinterByName(*this, PrinterName, true, true);
    return PrintDocumentToPrinterObject(CurrentPrinter(), StartPage, EndPage, Options);
}

int32_t TVelmoPDF::PrintDocumentToFile(const std::u16string& PrinterName, int32_t StartPage,
                                       int32_t EndPage, int32_t Options,
                                       const std::u16string& FileName) {
    if (!IsKnownPrinterName(FCustomPrinters, PrinterName)) return 0;
    struct TClear {
        std::u16string& F;
        ~TClear() { F.clear(); }
    } Clear{FPrintToFile};
    FPrintToFile = FileName;
    return PrintDocument(PrinterName, StartPage, EndPage, Options);
}

int32_t TVelmoPDF::PrintPages(const std::u16string& PrinterName, const std::u16string& PageRanges,
                              int32_t Options) {
    if (!IsKnownPrinterName(FCustomPrinters, PrinterName)) return 0;
    FLastRenderError.clear();
    SelectPrinterByName(*this, PrinterName, true, true);
    return PrintPagesToPrinterObject(CurrentPrinter(), PageRanges, Options);
}

int32_t TVelmoPDF::PrintPagesToFile(const std::u16string& PrinterName,
                                    const std::u16string& PageRanges, int32_t Options,
                                    const std::u16string& FileName) {
    if (!IsKnownPrinterName(FCustomPrinters, PrinterName)) return 0;
    struct TClear {
        std::u16string& F;
        ~TClear() { F.clear(); }
    } Clear{FPrintToFile};
    FPrintToFile = FileName;
    return PrintPages(PrinterName, PageRanges, Options);
}

// The print job over a page range text (PageRanges) or the pages
// StartPage..EndPage (PageRanges null).
static int32_t RunPrintJob(TVelmoPDF& V, TPrinter* APrinter, const std::u16string* PageRanges,
                           int32_t StartPage, int32_t EndPage, int32_t Options) {
    V.FLastRenderError.clear();
    V.FPrinterJobID = 0;
    TPDFPageTree* Tree = V.FSelDoc ? V.FSelDoc->PageTree() : nullptr;
    if (Tree == nullptr) return 0;
    TKeepPage Keep(Tree);
    int32_t Result = 1;
    const bool UseLocal =
        V.FPrinterStatusNeeded || !V.FPrintToFile.empty() || V.FPrinterStartPaused;
    TVPLPrinterJob Job(APrinter, V.FPrintToFile, UseLocal);
    if (V.FPrintPreview) Job.SetupPreview(V.FPrintPreviewMaxDimension);
    if (V.FPrinterStartPaused) Job.SetStartPaused(true);
    const int32_t N = ((Options >> 8) & 0xFFFF) - 450;
    if (N >= 0 && size_t(N) < V.FPrintTitles.size()) {
        std::u16string Title;
        for (char C : V.FPrintTitles[size_t(N)]) Title += char16_t(uint8_t(C));
        Job.SetTitle(Title);
    } else {
        Job.SetTitle(u"Velmo PDF Library Document");
    }
    const TGDIPlusSettings& S = *V.FGDIPlusSettings;
    auto Post = [&](int32_t Code) {
        if (S.ProgressWindow != nullptr)
            SendMessageW(S.ProgressWindow, UINT(S.ProgressMessage), WPARAM(S.ProgressData),
                         LPARAM(Code));
    };
    Job.BeginDoc();
    Post(1020);
    if (Job.Printing()) {
        // The job's first mark: one space in white Arial 12 at the origin
        // over a clear background, so the page has begun before rendering.
        if (HDC Dc = Job.Handle()) {
            LOGFONTW F;
            F.lfFaceName = u"Arial";
            F.lfHeight = -std::max(1, int32_t(std::lround(12.0 * Job.GetDPI() / 72)));
            if (HFONT Font = CreateFontIndirectW(F)) {
                HGDIOBJ Old = SelectObject(Dc, Font);
                const COLORREF OldColor = SetTextColor(Dc, 0xFFFFFF);
                const int OldMode = SetBkMode(Dc, TRANSPARENT);
                TextOutW(Dc, 0, 0, u" ", 1);
                SetBkMode(Dc, OldMode);
                SetTextColor(Dc, OldColor);
                SelectObject(Dc, Old);
                DeleteObject(Font);
            }
        }
        struct TEnd {
            TVPLPrinterJob& J;
            std::function<void(int32_t)> Post;
            ~TEnd() {
                try {
                    J.EndDoc();
                } catch (...) {
                }
                Post(1090);
            }
        } End{Job, Post};
        const TVPLOCGStateList States = V.FSelDoc->GetPrintOCGList();
        const std::u16string Library = V.FUseKPLR ? V.FKPLRFileName : std::u16string();
        bool Done;
        if (PageRanges != nullptr) {
            Done = Tree->RenderPageToPrinter(&Job, *PageRanges, Options, &S, States, Library);
        } else {
            Done = Tree->RenderPageToPrinter(&Job, StartPage, EndPage, Options, &S, States, Library);
        }
        if (!Done) Result = 0;
    } else {
        Result = 0;
        Post(1080);
    }
    if (V.FPrinterStatusNeeded) {
        V.FPrinterJobID = Job.PrinterJobID();
        V.FPrinterJobPrinterName = Job.PrinterName();
    }
    if (V.FPrintPreview) V.FPrintPreviewBitmapData = Job.SavePreviewToString();
    return Result;
}

int32_t TVelmoPDF::PrintDocumentToPrinterObject(TPrinter* APrinter, int32_t StartPage,
                                                int32_t EndPage, int32_t Options) {
    TPDFPageTree* Tree = FSelDoc ? FSelDoc->PageTree() : nullptr;
    if (Tree == nullptr) return 0;
    if (StartPage < 1) StartPage = 1;
    if (EndPage < StartPage) EndPage = StartPage;
    EndPage = std::min(EndPage, Tree->PageCount());
    return RunPrintJob(*this, APrinter, nullptr, StartPage, EndPage, Options);
}

int32_t TVelmoPDF::PrintPagesToPrinterObject(TPrinter* APrinter, const std::u16string& PageRanges,
                                             int32_t Options) {
    return RunPrintJob(*this, APrinter, &PageRanges, 0, 0, Options);
}

int32_t TVelmoPDF::PrintOptions(int32_t PageScaling, int32_t AutoRotateCenter,
                                const std::u16string& Title) {
    FPrintTitles.push_back(WideToAnsi(Title));
    int32_t R = PageScaling & 15;
    if (AutoRotateCenter != 0) R += 16;
    if (AutoRotateCenter == -1) R += 32;
    return R | ((449 + int32_t(FPrintTitles.size())) << 8);
}

std::string TVelmoPDF::GetPrintPreviewBitmapToString(const std::u16string& PrinterName,
                                                     int32_t PreviewPage, int32_t PrintOptions,
                                                     int32_t MaxDimension,
                                                     int32_t PreviewOptions) {
    (void)PreviewOptions;
    if (!IsKnownPrinterName(FCustomPrinters, PrinterName)) return {};
    struct TClear {
        TVelmoPDF& V;
        ~TClear() {
            V.FPrintPreview = false;
            V.FPrintPreviewMaxDimension = 0;
        }
    } Clear{*this};
    FPrintPreviewMaxDimension = MaxDimension;
    FPrintPreview = true;
    if (PrintDocument(PrinterName, PreviewPage, PreviewPage, PrintOptions) != 1) return {};
    std::string R = std::move(FPrintPreviewBitmapData);
    FPrintPreviewBitmapData.clear();
    return R;
}

int32_t TVelmoPDF::NewInternalPrinterObject(int32_t Options) {
    if (Options != 0) return 0;
    FPrinter = std::make_unique<TPrinter>();
    return 1;
}

std::u16string TVelmoPDF::GetPrinterNames() { return QuotedList(CurrentPrinter()->Printers()); }

std::u16string TVelmoPDF::GetLatestPrinterNames() {
    std::vector<std::string> Names;
    ListPrinterNames(Names);
    return QuotedList(Names);
}

std::u16string TVelmoPDF::GetDefaultPrinterName() { return GetSystemDefaultPrinterName(); }

std::u16string TVelmoPDF::GetPrinterBins(const std::u16string& PrinterName) {
    SelectPrinterByName(*this, PrinterName, false, false);
    return AnsiToWide(GetPrinterBinList(*CurrentPrinter()));
}

std::u16string TVelmoPDF::GetPrinterMediaTypes(const std::u16string& PrinterName) {
    SelectPrinterByName(*this, PrinterName, false, false);
    return AnsiToWide(GetPrinterMediaTypeList(*CurrentPrinter()));
}

std::string TVelmoPDF::GetPrinterDevModeToString(const std::u16string& PrinterName) {
    FLastRenderError.clear();
    SelectPrinterByName(*this, PrinterName, true, false);
    TPrinter* P = CurrentPrinter();
    if (P->DevMode() == nullptr && P->PrinterIndex() >= 0) P->SetPrinterIndex(P->PrinterIndex());
    return GetPrinterDevModeData(*P);
}

int32_t TVelmoPDF::SetPrinterDevModeFromString(const std::string& Source) {
    FPrinterDevMode = Source;
    return 1;
}

std::u16string TVelmoPDF::NewCustomPrinter(const std::u16string& OriginalPrinterName) {
    if (!IsKnownPrinterName(FCustomPrinters, OriginalPrinterName)) return {};
    const std::string Name = "VPLPrinter" + NewUniqueID();
    FCustomPrinters.emplace_back(UpperCaseA(Name),
                                 std::make_unique<TPDFCustomPrinter>(OriginalPrinterName));
    return AnsiToWide(Name);
}

int32_t TVelmoPDF::SetupCustomPrinter(const std::u16string& CustomPrinterName, int32_t Setting,
                                      int32_t NewValue) {
    TPDFCustomPrinter* P = FindCustom(FCustomPrinters, CustomPrinterName);
    if (P == nullptr) return 0;
    return P->Setup(Setting, NewValue) ? 1 : 0;
}

int32_t TVelmoPDF::RequestPrinterStatus(int32_t StatusCommand) {
    switch (StatusCommand) {
        case 100: FPrinterStatusNeeded = false; return 1;
        case 101: FPrinterStatusNeeded = true; return 1;
        case 102: return FPrinterStatusNeeded ? 1 : 0;
        case 103:
            FPrinterStartPaused = true;
            FPrinterStatusNeeded = true;
            return 1;
        case 104: FPrinterStartPaused = false; return 1;
        case 105: return FPrinterStartPaused ? 1 : 0;
        default: break;
    }
    const bool Job = (StatusCommand >= 200 && StatusCommand <= 207) ||
                     (StatusCommand >= 300 && StatusCommand <= 314) ||
                     (StatusCommand >= 401 && StatusCommand <= 403);
    if (!Job || !FPrinterStatusNeeded) return 0;
    return RequestPrintJobStatus(StatusCommand, FPrinterJobID, FPrinterJobPrinterName);
}

int32_t TVelmoPDF::PrintMode(int32_t Mode) {
    if (Mode > 0) FGDIPlusSettings->PrintMode = Mode;
    return FGDIPlusSettings->PrintMode;
}

}  // namespace velmo
