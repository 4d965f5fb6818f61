// The content-stream interpreter's target: the input is the content of a
// small page drawn at 72 DPI through the GDI+ facade. The page's resources
// hold a form that draws the page's own content again (so the nesting guard
// is reached), colour spaces of every kind, graphics states (with soft masks
// whose group draws the content again), a tiling pattern and an optional
// content group, under the names a fuzzer finds in the seeds. The page is
// also written as an EMF, where soft-masked drawing becomes images.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/Glyphs.h"
#include "core/Structure.h"
#include "fonts/FontCollection.h"
#include "fonts/TrueTypeRasterizer.h"
#include "fonts/Type3Rasterizer.h"
#include "platform/gdiplus/GdiPlusFlat.h"
#include "platform/print/Print.h"
#include "platform/print/Printer.h"
#include "render/Printing.h"
#include "render/Renderer.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

namespace {

constexpr const char* kResources =
    "<< /XObject << /Fm 20 0 R >>"
    " /ColorSpace << /Ix [/Indexed /DeviceRGB 1 <FF000000FF00>]"
    "   /Sep [/Separation /Spot /DeviceCMYK << /FunctionType 2 /Domain [0 1]"
    "      /C0 [0 0 0 0] /C1 [0 1 0 0] /N 1 >>]"
    "   /Dn [/DeviceN [/A /B] /DeviceGray << /FunctionType 2 /Domain [0 1]"
    "      /C0 [0] /C1 [1] /N 2 >>]"
    "   /Lab [/Lab << /WhitePoint [0.95 1 1.09] /Range [-100 100 -100 100] >>]"
    "   /Cal [/CalRGB << /WhitePoint [0.95 1 1.09] >>] >>"
    " /ExtGState << /G << /LW 3 /CA 0.5 /ca 0.5 /D [[2 1] 0] >>"
    "   /M << /SMask << /S /Luminosity /BC [1] /G 22 0 R >> >>"
    "   /A << /SMask << /S /Alpha /G 22 0 R >> >> /N << /SMask /None >> >>"
    " /Pattern << /P 21 0 R >>"
    " /Properties << /OC << /Type /OCG /Name (x) >> >>"
    " /Font << /F1 30 0 R /F2 31 0 R /F3 32 0 R >> >>";

// Fonts of the page: /F1 a Type 3 font whose glyph /b runs the input again,
// /F2 a simple and /F3 a composite font over the built-in Dingbats program.
void AddFonts(TPDFStructure& S, TPDFFontCollection& Col, TPDFStream* Content,
              const std::function<TPDFObject*(TPDFIndRef*)>& Find) {
    auto* T3Dict = ObjAs<TPDFDictionary>(S.Decode(
        "<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0]"
        " /CharProcs << /a 40 0 R /b 41 0 R >> /Resources << /Font << /F1 30 0 R >> >> >>"));
    auto T3 = std::make_unique<TPDFType3Rasterizer>();
    T3->FOnFindObject = Find;
    T3->LoadFromPDFDict(T3Dict);
    auto F1 = std::make_unique<TPDFFontCollectionData>();
    F1->ObjNum = 30;
    F1->SubType = "Type3";
    F1->Widths.fill(600);
    for (int C = 0; C < 256; ++C) F1->Encoding[size_t(C)] = C % 2 ? "a" : "b";
    F1->Rasterizer = std::move(T3);
    Col.AddFontData(std::move(F1));
    (void)Content;
    static const std::string Dingbats = GetDingbatsFontData();
    for (int32_t Num : {31, 32}) {
        auto T = std::make_unique<TPDFTrueTypeRasterizer2>();
        T->Parser().LoadFromString(Dingbats);
        auto F = std::make_unique<TPDFFontCollectionData>();
        F->ObjNum = Num;
        F->Widths.fill(700);
        F->Embedded = true;
        F->Rasterizer = std::move(T);
        F->DisplayCSW = GlyphNamesToUnicode(F->Encoding);
        if (Num == 32) {
            F->IsComposite = true;
            F->SubType = "CIDFontType2";
            F->GIDToCIDMap = Col.CMaps().GetCMAP("Identity-H");
            F->CIDSystemInfo = "Adobe-Identity-0";
            F->CIDWidths = std::make_unique<TPDFCIDWidths>();
            F->CIDWidths->AddDefault(1000);
            F->CIDWidths->AddRange(0, 100, 500);
        } else {
            F->SubType = "TrueType";
        }
        Col.AddFontData(std::move(F));
    }
}

TPDFObject* Find(TPDFIndRef* Ref, TPDFObject* Form, TPDFObject* Tile, TPDFObject* Group) {
    if (Ref->ObjNum == 20) return Form;
    if (Ref->ObjNum == 22) return Group;
    if (Ref->ObjNum == 21) return Tile;
    return nullptr;
}

}  // namespace

void ContentStream(std::string_view Data) {
    static const bool Registered = (RegisterGdiPlusModule(), true);
    (void)Registered;
    TPDFStructure S;
    auto* Page = S.NewDictionary();
    Page->Add("Type", S.NewName("Page"));
    // The first byte picks the page's turn, so rotated set-ups are reached.
    const int Rotate = Data.empty() ? 0 : (static_cast<unsigned char>(Data[0]) & 3) * 90;
    Page->Add("MediaBox", S.NewDoubleArray({0, 0, 48, 40}));
    Page->Add("Rotate", S.NewNumeric(Rotate));
    const std::string Content(Data);
    Page->Add("Contents", S.NewStream(Content, false));
    auto* Resources = S.Decode(kResources);
    Page->Add("Resources", Resources);

    auto* FormStream = S.NewStreamWithDict(
        Content, ObjAs<TPDFDictionary>(S.Decode("<< /Type /XObject /Subtype /Form /BBox [0 0 20 20]"
                                                " /Matrix [0.5 0 0 0.5 2 2] >>")));
    auto* Group = S.NewStreamWithDict(
        Content, ObjAs<TPDFDictionary>(S.Decode("<< /Type /XObject /Subtype /Form /BBox [0 0 30 30]"
                                                " /Group << /S /Transparency /CS /DeviceGray >> >>")));
    auto* Tile = S.NewStreamWithDict(
        "0 0 2 2 re f " + Content.substr(0, 64),
        ObjAs<TPDFDictionary>(S.Decode("<< /PatternType 1 /PaintType 1 /TilingType 1"
                                       " /BBox [0 0 4 4] /XStep 4 /YStep 4 >>")));

    auto* GlyphA = S.NewStream("600 0 0 0 500 500 d1 0 0 500 500 re f", false);
    auto* GlyphB = S.NewStream(Content, false);
    const std::function<TPDFObject*(TPDFIndRef*)> Lookup = [&](TPDFIndRef* Ref) -> TPDFObject* {
        if (Ref->ObjNum == 40) return GlyphA;
        if (Ref->ObjNum == 41) return GlyphB;
        if (Ref->ObjNum >= 30 && Ref->ObjNum <= 32) return Page;  // any dictionary
        return Find(Ref, FormStream, Tile, Group);
    };
    TPDFFontCollection Fonts;
    AddFonts(S, Fonts, GlyphB, Lookup);

    // The page drawn, read as text and written as an EMF.
    for (TPDFRenderDest Dest : {rdBitmap, rdTextFunnel, rdEMF}) {
        TPDFRenderer R(&Fonts);
        R.SetPageDict(Page);
        R.OnFindObject = Lookup;
        R.SetDPI(72);
        R.SetDestination(Dest);
        R.Render();
    }

    // The first pass of two-pass printing on a small printer of the
    // program's own (the renderer library is not there, so regions are only
    // recorded).
    static const bool Printer = [] {
        TLocalPrinterInfo Info;
        Info.Name = "fuzz-printer";
        Info.Caps.DPIX = Info.Caps.DPIY = 72;
        Info.Caps.PhysicalWidth = Info.Caps.HorzRes = 48;
        Info.Caps.PhysicalHeight = Info.Caps.VertRes = 40;
        RegisterLocalPrinter(Info);
        return true;
    }();
    (void)Printer;
    TPrinter Device;
    Device.SetPrinter("fuzz-printer", "WINSPOOL", "", nullptr);
    TVPLPrinterJob Job(&Device, u"", false);
    TPDFRenderer R(&Fonts);
    R.SetPageDict(Page);
    R.OnFindObject = Lookup;
    R.SetDPI(Job.GetDPI());
    R.SetDestination(rdKPLRPrinter);
    R.FKPLRFileName = u"fuzz-no-renderer.so";
    R.FVPLPrinter = &Job;
    R.Render();
}

VPL_FUZZ_TARGET(content_stream, ContentStream);

}  // namespace velmo::fuzz
