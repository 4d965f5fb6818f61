// The EPS writer's target: the input is the content of a small page written
// as EPS and saved. The page's resources hold image objects (plain, with a
// soft mask, with a stencil mask, a stencil of their own), a form that draws
// the page's content again, and colour spaces of the kinds that write their
// own PostScript colour texts, under the names a fuzzer finds in the seeds.
#include <string>
#include <string_view>

#include "codecs/CodecServices.h"
#include "core/Structure.h"
#include "fonts/FontCollection.h"
#include "platform/files/Stream.h"
#include "render/Renderer.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

namespace {

constexpr const char* kResources =
    "<< /XObject << /Fm 20 0 R /Im 21 0 R /Sm 22 0 R /Mk 23 0 R /St 24 0 R >>"
    " /ColorSpace << /Ix [/Indexed /DeviceRGB 1 <FF000000FF00>]"
    "   /Sep [/Separation /Spot /DeviceCMYK << /FunctionType 2 /Domain [0 1]"
    "      /C0 [0 0 0 0] /C1 [0 1 0 0] /N 1 >>]"
    "   /Lab [/Lab << /WhitePoint [0.95 1 1.09] /Range [-100 100 -100 100] >>] >> >>";

}  // namespace

void EPSExport(std::string_view Data) {
    static const bool Installed = (InstallCodecServices(), true);
    (void)Installed;
    TPDFStructure S;
    auto* Page = S.NewDictionary();
    Page->Add("Type", S.NewName("Page"));
    Page->Add("MediaBox", S.NewDoubleArray({0, 0, 48, 40}));
    Page->Add("CropBox", S.NewDoubleArray({2.5, 3.5, 40, 38}));
    const std::string Content(Data);
    Page->Add("Contents", S.NewStream(Content, false));
    Page->Add("Resources", S.Decode(kResources));

    auto* Form = S.NewStreamWithDict(
        Content, ObjAs<TPDFDictionary>(S.Decode("<< /Type /XObject /Subtype /Form /BBox [0 0 20 20]"
                                                " /Matrix [0.5 0 0 0.5 2 2] >>")));
    auto Image = [&](const std::string& Keys, const std::string& Samples) {
        return S.NewStreamWithDict(
            Samples, ObjAs<TPDFDictionary>(S.Decode("<< /Type /XObject /Subtype /Image " + Keys +
                                                    " >>")));
    };
    const std::string Rgb(4 * 3 * 3, '\x80');
    auto* Plain = Image("/Width 4 /Height 3 /ColorSpace /DeviceRGB /BitsPerComponent 8", Rgb);
    auto* Soft = Image(
        "/Width 4 /Height 3 /ColorSpace /DeviceRGB /BitsPerComponent 8 /SMask 25 0 R", Rgb);
    auto* Masked =
        Image("/Width 4 /Height 3 /ColorSpace /DeviceRGB /BitsPerComponent 8 /Mask 24 0 R", Rgb);
    auto* Stencil = Image("/Width 5 /Height 2 /ImageMask true /BitsPerComponent 1",
                          std::string("\xA8\x50", 2));
    auto* Alpha = Image("/Width 3 /Height 3 /ColorSpace /DeviceGray /BitsPerComponent 8",
                        std::string("\x00\x40\x80\xC0\xFF\x00\x40\x80\xC0", 9));
    const auto Lookup = [&](TPDFIndRef* Ref) -> TPDFObject* {
        switch (Ref->ObjNum) {
            case 20:
                return Form;
            case 21:
                return Plain;
            case 22:
                return Soft;
            case 23:
                return Masked;
            case 24:
                return Stencil;
            case 25:
                return Alpha;
            default:
                return nullptr;
        }
    };
    TPDFFontCollection Fonts;
    TPDFRenderer R(&Fonts);
    R.SetPageDict(Page);
    R.OnFindObject = Lookup;
    R.SetDPI(72);
    R.SetDestination(rdEPS);
    R.Render();
    TMemoryStream Out;
    R.SaveEPSToStream(Out);
}

VPL_FUZZ_TARGET(eps_export, EPSExport);

}  // namespace velmo::fuzz
