// The content-stream interpreter's target: the input is the content of a
// small page drawn at 72 DPI through the GDI+ facade. The page's resources
// hold a form that draws the page's own content again (so the nesting guard
// is reached), colour spaces of every kind, a graphics state, a tiling
// pattern and an optional content group, under the names a fuzzer finds in
// the seeds.
#include <memory>
#include <string>
#include <string_view>

#include "core/Structure.h"
#include "platform/gdiplus/GdiPlusFlat.h"
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
    " /ExtGState << /G << /LW 3 /CA 0.5 /ca 0.5 /D [[2 1] 0] >> >>"
    " /Pattern << /P 21 0 R >>"
    " /Properties << /OC << /Type /OCG /Name (x) >> >> >>";

TPDFObject* Find(TPDFIndRef* Ref, TPDFObject* Form, TPDFObject* Tile) {
    if (Ref->ObjNum == 20) return Form;
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
    auto* Tile = S.NewStreamWithDict(
        "0 0 2 2 re f " + Content.substr(0, 64),
        ObjAs<TPDFDictionary>(S.Decode("<< /PatternType 1 /PaintType 1 /TilingType 1"
                                       " /BBox [0 0 4 4] /XStep 4 /YStep 4 >>")));

    TPDFRenderer R(nullptr);
    R.SetPageDict(Page);
    R.OnFindObject = [&](TPDFIndRef* Ref) -> TPDFObject* { return Find(Ref, FormStream, Tile); };
    R.SetDPI(72);
    R.Render();
}

VPL_FUZZ_TARGET(content_stream, ContentStream);

}  // namespace velmo::fuzz
