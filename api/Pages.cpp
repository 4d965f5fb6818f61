// Pages of the selected document: selection, sizes, boxes, page editing,
// copies from other documents and captured pages; and the font selection
// that page changes carry over.
#include <algorithm>
#include <cmath>

#include "api/VelmoPDF.h"
#include "content/Painter.h"
#include "core/Rectangle.h"
#include "core/StringHelpers.h"
#include "document/FontBase.h"
#include "document/PageTree.h"
#include "platform/text/AnsiCodePage.h"

namespace velmo {

namespace {

struct TPaperSize {
    const char* Name;
    double WidthMM, HeightMM;
};

// Sizes in millimetres, width x height; LEDGER is the one stored wide.
constexpr TPaperSize PaperSizes[] = {
    {"LETTER", 215.9, 279.4},
    {"LEGAL", 215.9, 355.6},
    {"STATEMENT", 139.7, 215.9},
    {"TABLOID", 279.4, 431.8},
    {"LEDGER", 431.8, 279.4},
    {"EXECUTIVE", 190.5, 254},
    {"FOLIO", 210, 330},
    {"A0", 841, 1189},
    {"A1", 594, 841},
    {"A2", 420, 594},
    {"A3", 297, 420},
    {"A4", 210, 297},
    {"A5", 148, 210},
    {"A6", 105, 148},
    {"A7", 74, 105},
    {"A8", 52, 74},
    {"A9", 37, 52},
    {"A10", 26, 37},
    {"B0", 1030, 1456},
    {"B1", 728, 1030},
    {"B2", 515, 728},
    {"B3", 364, 515},
    {"B4", 257, 364},
    {"B5", 182, 257},
    {"B6", 128, 182},
    {"B7", 91, 128},
    {"B8", 64, 91},
    {"B9", 45, 64},
    {"B10", 32, 45},
    {"ISOB0", 1000, 1414},
    {"ISOB1", 707, 1000},
    {"ISOB2", 500, 707},
    {"ISOB3", 353, 500},
    {"ISOB4", 250, 353},
    {"ISOB5", 176, 250},
    {"ISOB6", 125, 176},
    {"ISOB7", 88, 125},
    {"ISOB8", 62, 88},
    {"ISOB9", 44, 62},
    {"ISOB10", 31, 44},
    {"C0", 917, 1297},
    {"C1", 648, 917},
    {"C2", 458, 648},
    {"C3", 324, 458},
    {"C4", 229, 324},
    {"C5", 162, 229},
    {"C6", 114, 162},
    {"C7", 81, 114},
    {"DL", 110, 220},
};

}  // namespace

bool PaperSizeByName(const std::u16string& PaperName, double& Width, double& Height) {
    std::string name = WideToAnsi(PaperName);
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    bool landscape = false;
    if (const size_t at = name.find("LANDSCAPE"); at != std::string::npos) {
        name.erase(at, 9);
        size_t b = 0, e = name.size();
        while (b < e && static_cast<unsigned char>(name[b]) < 33) ++b;
        while (e > b && static_cast<unsigned char>(name[e - 1]) < 33) --e;
        name = name.substr(b, e - b);
        landscape = true;
    }
    if (name == "LEDGER") landscape = false;
    for (const TPaperSize& p : PaperSizes) {
        if (name != p.Name) continue;
        const double w = p.WidthMM / 25.4 * 72, h = p.HeightMM / 25.4 * 72;
        Width = landscape ? h : w;
        Height = landscape ? w : h;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Selection

int32_t TVelmoPDF::PageCount() {
    TPDFPageTree* tree = FSelDoc->PageTree();
    return tree ? tree->PageCount() : 0;
}

int32_t TVelmoPDF::SelectedPage() {
    TPDFPageTree* tree = FSelDoc->PageTree();
    return tree ? tree->Page() : 0;
}

int32_t TVelmoPDF::SelectPage(int32_t PageNumber) {
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr) return 0;
    tree->SetPage(PageNumber);
    ReselectFont();
    return tree->Page() == PageNumber ? 1 : 0;
}

// The new page's painter must know the selected font; the text size set on
// the old page carries over.
void TVelmoPDF::ReselectFont() {
    TPDFPainter* p = Painter();
    const double size = p ? p->FTextSize : 0;
    SelectFont(SelectedFont());
    if (size > 0)
        if (TPDFPainter* q = Painter()) q->FTextSize = size;
}

// ---------------------------------------------------------------------------
// Sizes and boxes

namespace {

const char* const BoxNames[] = {"MediaBox", "CropBox", "BleedBox", "TrimBox", "ArtBox"};

}  // namespace

double TVelmoPDF::PageWidth() {
    TPDFPageTree* tree = FSelDoc->PageTree();
    return tree ? tree->PageWidth() * FSelDoc->FScale : 0;
}

double TVelmoPDF::PageHeight() {
    TPDFPageTree* tree = FSelDoc->PageTree();
    return tree ? tree->PageHeight() * FSelDoc->FScale : 0;
}

int32_t TVelmoPDF::SetPageDimensions(double NewPageWidth, double NewPageHeight) {
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr || tree->ThisPage() == nullptr) return 0;
    const double w = NewPageWidth / FSelDoc->FScale, h = NewPageHeight / FSelDoc->FScale;
    // A size the page could not hold (infinite or not a number) is refused
    // before anything is written.
    if (!std::isfinite(w) || !std::isfinite(h)) return 0;
    const double oldW = tree->PageWidth(), oldH = tree->PageHeight();
    tree->SetPageWidth(w);
    tree->SetPageHeight(h);
    if (tree->PageWidth() == w && tree->PageHeight() == h) return 1;
    tree->SetPageWidth(oldW);
    tree->SetPageHeight(oldH);
    return 0;
}

int32_t TVelmoPDF::SetPageSize(const std::u16string& PaperName) {
    double w = 0, h = 0;
    if (!PaperSizeByName(PaperName, w, h)) return 0;
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr || tree->ThisPage() == nullptr) return 0;
    tree->SetPageWidth(w);
    tree->SetPageHeight(h);
    return 1;
}

double TVelmoPDF::GetPageUserUnit() {
    TPDFPageTree* tree = FSelDoc->PageTree();
    return tree ? tree->UserUnit() : 1.0;
}

int32_t TVelmoPDF::SetPageUserUnit(double UserUnit) {
    if (!(UserUnit >= 1 && UserUnit < 75000)) return 0;
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr) return 0;
    tree->SetUserUnit(UserUnit);
    return 1;
}

int32_t TVelmoPDF::RotatePage(int32_t PageRotation) {
    return FSelDoc->RotatePage(PageRotation) ? 1 : 0;
}

int32_t TVelmoPDF::PageRotation() { return FSelDoc->PageRotation(); }

int32_t TVelmoPDF::SetCropBox(double Left, double Top, double Width, double Height) {
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr) return 0;
    tree->SetCropBox(XToPoints(Left), YToPoints(Top), UnitsToPoints(Width), UnitsToPoints(Height));
    return 1;
}

double TVelmoPDF::GetPageBox(int32_t BoxType, int32_t Dimension) {
    if (BoxType < 1 || BoxType > 5 || Dimension < 0 || Dimension > 5) return 0;
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr) return 0;
    const double v =
        tree->PageBoxProperties(BoxNames[BoxType - 1], static_cast<TPDFDimension>(Dimension)) *
        FSelDoc->FScale;
    const int32_t origin = FSelDoc->FOrigin;
    if ((Dimension == pdLeft || Dimension == pdRight) && (origin == 2 || origin == 3))
        return PageWidth() - v;
    if ((Dimension == pdTop || Dimension == pdBottom) && (origin == 1 || origin == 2))
        return PageHeight() - v;
    return v;
}

int32_t TVelmoPDF::HasPageBox(int32_t BoxType) {
    if (BoxType < 1 || BoxType > 5) return 0;
    TPDFPageTree* tree = FSelDoc->PageTree();
    return tree ? tree->HasPageBox(BoxNames[BoxType - 1]) : 0;
}

int32_t TVelmoPDF::SetPageBox(int32_t BoxType, double Left, double Top, double Width,
                              double Height) {
    if (BoxType < 1 || BoxType > 5) return 0;
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr) return 0;
    tree->SetPageBoxProperties(BoxNames[BoxType - 1], XToPoints(Left), YToPoints(Top),
                               UnitsToPoints(Width), UnitsToPoints(Height));
    return 1;
}

int32_t TVelmoPDF::RemovePageBox(int32_t BoxType) {
    if (BoxType < 2 || BoxType > 5) return 0;
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr) return 0;
    tree->RemovePageBox(BoxNames[BoxType - 1]);
    return 1;
}

int32_t TVelmoPDF::SetPageThumbnail() {
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (FSelImage == nullptr || tree == nullptr) return 0;
    tree->SetThumb(FSelImage->IndRef());
    return 1;
}

int32_t TVelmoPDF::SetPageTransparencyGroup(int32_t CS, int32_t Isolate, int32_t Knockout) {
    if (CS < 1 || CS > 2) return 0;
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr) return 0;
    tree->SetPageTransparencyGroup(CS == 1 ? "DeviceRGB" : "DeviceCMYK", Isolate == 1,
                                   Knockout == 1);
    return 1;
}

std::u16string TVelmoPDF::GetPageColorSpaces(int32_t Options) {
    TPDFPageTree* tree = FSelDoc->PageTree();
    return tree ? AnsiToWide(tree->FindColorSpaces(Options)) : std::u16string();
}

int32_t TVelmoPDF::BalancePageTree(int32_t Options) {
    if (Options != 0) return 0;
    FSelDoc->BalancePageTree();
    return 1;
}

// ---------------------------------------------------------------------------
// Adding, deleting and moving pages

int32_t TVelmoPDF::NewPage() {
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr) return 0;
    const int32_t n = tree->PageCount();
    tree->NewPages(n + 1, 1, tree->PageWidth(), tree->PageHeight());
    ReselectFont();
    return tree->PageCount() == n + 1 ? n + 1 : 0;
}

int32_t TVelmoPDF::NewPages(int32_t PageCount) {
    if (PageCount < 1 || PageCount > 99999) return 0;
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr) return 0;
    const int32_t n = tree->PageCount();
    FSelDoc->ReserveIndObj(2 * PageCount);
    tree->NewPages(n + 1, PageCount, tree->PageWidth(), tree->PageHeight());
    ReselectFont();
    const int32_t now = tree->PageCount();
    return now == n + PageCount ? now : 0;
}

int32_t TVelmoPDF::InsertPages(int32_t StartPage, int32_t PageCount) {
    if (PageCount < 1 || PageCount > 9999) return 0;
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr) return 0;
    const int32_t n = tree->PageCount();
    // A position outside the page list has no place to insert at.
    if (StartPage < 1 || StartPage > n + 1) return 0;
    tree->NewPages(StartPage, PageCount, tree->PageWidth(), tree->PageHeight());
    ReselectFont();
    const int32_t now = tree->PageCount();
    return now == n + PageCount ? now : 0;
}

int32_t TVelmoPDF::ClonePages(int32_t StartPage, int32_t EndPage, int32_t RepeatCount) {
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr) return 0;
    if (StartPage < 1 || StartPage > EndPage || EndPage > tree->PageCount()) return 0;
    tree->ClonePages(StartPage, EndPage, RepeatCount);
    return 1;
}

int32_t TVelmoPDF::DeletePages(int32_t StartPage, int32_t PageCount) {
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr) return 0;
    const int32_t n = tree->PageCount();
    if (PageCount <= 0 || StartPage < 1 || StartPage > n) return 0;
    if (StartPage + PageCount - 1 > n) PageCount = n - StartPage + 1;
    if (StartPage == 1 && PageCount == n) PageCount = n - 1;  // the last page survives
    if (PageCount < 1) return 0;
    tree->DeletePages(StartPage, PageCount);
    const int32_t now = tree->PageCount();
    const int32_t result = now == n - PageCount ? now : 0;
    tree->ForgetPages();
    SelectPage(1);
    return result;
}

int32_t TVelmoPDF::MovePage(int32_t NewPosition) {
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr) return 0;
    if (NewPosition == tree->Page() || NewPosition < 1 || NewPosition > tree->PageCount()) return 0;
    tree->MovePage(tree->Page(), NewPosition);
    tree->ForgetPages();
    return 1;
}

int32_t TVelmoPDF::HidePage() {
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr || tree->PageCount() < 2) return 0;
    int32_t p = tree->Page();
    SelectPage(p);
    tree->HidePage();
    tree->ForgetPages();
    if (p > tree->PageCount()) p = p - 1;
    SelectPage(std::max(p, 1));
    return 1;
}

// ---------------------------------------------------------------------------
// Copies and captures

int32_t TVelmoPDF::CopyPageRanges(int32_t DocumentID, const std::u16string& RangeList) {
    return CopyPageRangesEx(DocumentID, RangeList, 0);
}

int32_t TVelmoPDF::CopyPageRangesEx(int32_t DocumentID, const std::u16string& RangeList,
                                    int32_t Options) {
    TPDFDocument* other = FindDocument(DocumentID);
    if (other == nullptr || other == FSelDoc) return 0;
    FLastErrorCode = 412;
    return 0;
}

int32_t TVelmoPDF::CapturePage(int32_t Page) { return CapturePageEx(Page, 0); }

int32_t TVelmoPDF::CapturePageEx(int32_t Page, int32_t Options) { return 0; }

int32_t TVelmoPDF::DrawCapturedPage(int32_t CaptureID, double Left, double Top, double Width,
                                    double Height) {
    return 0;
}

int32_t TVelmoPDF::DrawRotatedCapturedPage(int32_t CaptureID, double Left, double Bottom,
                                           double Width, double Height, double Angle) {
    return 0;
}

int32_t TVelmoPDF::DrawCapturedPageMatrix(int32_t CaptureID, double M11, double M12, double M21,
                                          double M22, double MDX, double MDY) {
    return 0;
}

int32_t TVelmoPDF::SetCapturedPageOptional(int32_t CaptureID, int32_t OptionalContentGroupID) {
    return 0;
}

int32_t TVelmoPDF::SetCapturedPageTransparencyGroup(int32_t CaptureID, int32_t CS, int32_t Isolate,
                                                    int32_t Knockout) {
    if (CS < 1 || CS > 2) return 0;
    auto* cp = static_cast<TPDFCapturedPage*>(IDToObject(CaptureID, TVPLIDKind::idCapturedPage));
    if (cp == nullptr) return 0;
    cp->SetTransparencyGroup(CS == 1 ? "DeviceRGB" : "DeviceCMYK", Isolate == 1, Knockout == 1);
    return 1;
}

// ---------------------------------------------------------------------------
// Font selection

int32_t TVelmoPDF::SelectFont(int32_t FontID) {
    auto* font = static_cast<TObject*>(IDToObject(FontID, TVPLIDKind::idFont));
    if (font == nullptr) return 0;
    if (!FSelDoc->IsFont(font)) return 0;
    FSelFont = font;
    // The page's resources name the font; selecting it sets 12 points.
    if (auto* f = dynamic_cast<TPDFFontBase*>(font); f && FSelDoc->PageTree())
        FSelDoc->PageTree()->UseFont(f->FName, f->FIndRef);
    if (TPDFPainter* p = Painter()) p->SetTextSize(12);
    return 1;
}

int32_t TVelmoPDF::SelectedFont() { return ObjectToID(FSelFont, TVPLIDKind::idFont, FSelDoc); }

}  // namespace velmo
