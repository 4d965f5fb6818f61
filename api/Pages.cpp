// Pages of the selected document: selection, sizes, boxes, page editing,
// copies from other documents and captured pages; and the font selection
// that page changes carry over.
#include <algorithm>
#include <cmath>

#include "api/VelmoPDF.h"
#include "content/Painter.h"
#include "core/Rectangle.h"
#include "core/StringHelpers.h"
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

// The selected page's media box size in points (inherited entries found
// through the parents); 0 x 0 when it has none.
void SelectedPageSize(TPDFDocument* Doc, double& W, double& H) {
    W = H = 0;
    TPDFPageTree* tree = Doc->PageTree();
    if (tree == nullptr || tree->ThisPage() == nullptr) return;
    auto* box = ObjAs<TPDFArray>(Doc->GetPageInheritedValue(tree->ThisPage(), "MediaBox"));
    if (box == nullptr) return;
    TPDFRectangle r(box);
    if (!r.IsRectangle()) return;
    W = std::fabs(r.Width());
    H = std::fabs(r.Height());
}

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

double TVelmoPDF::PageWidth() {
    double w, h;
    SelectedPageSize(FSelDoc, w, h);
    return w * FSelDoc->FScale;
}

double TVelmoPDF::PageHeight() {
    double w, h;
    SelectedPageSize(FSelDoc, w, h);
    return h * FSelDoc->FScale;
}

// Changing page sizes, boxes, rotation and the page list is the page tree's
// editing, which the document engine does not offer yet: these operations
// refuse with their failure result.
int32_t TVelmoPDF::SetPageDimensions(double NewPageWidth, double NewPageHeight) { return 0; }

int32_t TVelmoPDF::SetPageSize(const std::u16string& PaperName) {
    double w = 0, h = 0;
    if (!PaperSizeByName(PaperName, w, h)) return 0;
    return 0;
}

double TVelmoPDF::GetPageUserUnit() {
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr || tree->ThisPage() == nullptr) return 1.0;
    auto* n = ObjAs<TPDFNumeric>(tree->ThisPage()->FindValueByKeyName("UserUnit", true));
    return n ? n->AsDouble() : 1.0;
}

int32_t TVelmoPDF::SetPageUserUnit(double UserUnit) {
    if (!(UserUnit >= 1 && UserUnit < 75000)) return 0;
    return 0;
}

int32_t TVelmoPDF::RotatePage(int32_t PageRotation) { return 0; }

int32_t TVelmoPDF::PageRotation() {
    TPDFPageTree* tree = FSelDoc->PageTree();
    if (tree == nullptr || tree->ThisPage() == nullptr) return 0;
    auto* n = ObjAs<TPDFNumeric>(FSelDoc->GetPageInheritedValue(tree->ThisPage(), "Rotate"));
    return n ? n->AsInteger() : 0;
}

int32_t TVelmoPDF::SetCropBox(double Left, double Top, double Width, double Height) { return 0; }

double TVelmoPDF::GetPageBox(int32_t BoxType, int32_t Dimension) {
    if (BoxType < 1 || BoxType > 5 || Dimension < 0 || Dimension > 5) return 0;
    return 0;
}

int32_t TVelmoPDF::HasPageBox(int32_t BoxType) {
    if (BoxType < 1 || BoxType > 5) return 0;
    return 0;
}

int32_t TVelmoPDF::SetPageBox(int32_t BoxType, double Left, double Top, double Width,
                              double Height) {
    return 0;
}

int32_t TVelmoPDF::RemovePageBox(int32_t BoxType) { return 0; }

int32_t TVelmoPDF::SetPageThumbnail() { return 0; }

int32_t TVelmoPDF::SetPageTransparencyGroup(int32_t CS, int32_t Isolate, int32_t Knockout) {
    return 0;
}

std::u16string TVelmoPDF::GetPageColorSpaces(int32_t Options) { return {}; }

int32_t TVelmoPDF::BalancePageTree(int32_t Options) { return 0; }

// ---------------------------------------------------------------------------
// Adding, deleting and moving pages

int32_t TVelmoPDF::NewPage() { return 0; }

int32_t TVelmoPDF::NewPages(int32_t PageCount) { return 0; }

int32_t TVelmoPDF::InsertPages(int32_t StartPage, int32_t PageCount) { return 0; }

int32_t TVelmoPDF::ClonePages(int32_t StartPage, int32_t EndPage, int32_t RepeatCount) { return 0; }

int32_t TVelmoPDF::DeletePages(int32_t StartPage, int32_t PageCount) { return 0; }

int32_t TVelmoPDF::MovePage(int32_t NewPosition) { return 0; }

int32_t TVelmoPDF::HidePage() { return 0; }

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
    return 1;
}

int32_t TVelmoPDF::SelectedFont() { return ObjectToID(FSelFont, TVPLIDKind::idFont, FSelDoc); }

}  // namespace velmo
