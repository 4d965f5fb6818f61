// The shading target: the input is a shading, "<< dictionary >>" and,
// after a line "stream", the data of a mesh shading. A small page paints
// it by sh, as a pattern fill after a cm, and as the mask group of a soft
// mask, through the default model; the digest, the colour conversion and
// the rasteriser meet whatever the fuzzer makes of the entries and data.
#include <string>
#include <string_view>

#include "core/Structure.h"
#include "platform/gdiplus/GdiPlusFlat.h"
#include "render/Renderer.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

void Shading(std::string_view Data) {
    static const bool Registered = (RegisterGdiPlusModule(), true);
    (void)Registered;
    TPDFStructure S;
    const size_t Split = Data.find("\nstream\n");
    const std::string_view DictText = Data.substr(0, Split);
    const std::string Mesh =
        Split == std::string_view::npos ? std::string() : std::string(Data.substr(Split + 8));
    auto* Dict = ObjAs<TPDFDictionary>(S.Decode(DictText));
    if (Dict == nullptr) return;
    TPDFObject* Shading = Mesh.empty() ? static_cast<TPDFObject*>(Dict)
                                       : S.NewStreamWithDict(Mesh, Dict);
    auto* Page = S.NewDictionary();
    Page->Add("Type", S.NewName("Page"));
    Page->Add("MediaBox", S.NewDoubleArray({0, 0, 40, 30}));
    Page->Add("Contents", S.NewStream("/Sh sh q 0.5 0 0 0.5 3 3 cm /Pattern cs /P scn 0 0 60 40 "
                                      "re f Q /M gs 1 0 0 rg 0 0 40 30 re f",
                                      false));
    Page->Add("Resources",
              S.Decode("<< /Shading << /Sh 5 0 R >> /Pattern << /P << /PatternType 2 /Shading 5 "
                       "0 R /Matrix [0.5 0 0 0.5 1 1] >> >> /ExtGState << /M << /SMask << /S "
                       "/Luminosity /BC [0.5] /G 6 0 R >> >> >> >>"));
    auto* Group = S.NewStreamWithDict(
        "/Sh sh", ObjAs<TPDFDictionary>(S.Decode(
                      "<< /Subtype /Form /BBox [0 0 40 30] /Group << /S /Transparency /CS "
                      "/DeviceGray >> /Resources << /Shading << /Sh 5 0 R >> >> >>")));
    TPDFRenderer R(nullptr);
    R.SetPageDict(Page);
    R.OnFindObject = [&](TPDFIndRef* Ref) -> TPDFObject* {
        if (Ref->ObjNum == 5) return Shading;
        if (Ref->ObjNum == 6) return Group;
        return nullptr;
    };
    R.SetDPI(72);
    R.Render();
}

VPL_FUZZ_TARGET(shading, Shading);

}  // namespace velmo::fuzz
