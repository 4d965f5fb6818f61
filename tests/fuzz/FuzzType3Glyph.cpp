// The Type 3 glyph interpreter's target: the input is the procedure of glyph
// /a of a Type 3 font; /b draws /a's procedure twice over, and both are drawn
// at a few origins and matrices on a canvas that checks every point.
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "core/Structure.h"
#include "fonts/Type3Rasterizer.h"
#include "tests/fuzz/CheckingCanvas.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

void Type3Glyph(std::string_view Data) {
    TPDFStructure S;
    std::map<int32_t, TPDFObject*> Objects;
    const std::string Proc(Data);
    Objects[10] = S.NewStream(Proc, false);
    Objects[11] = S.NewStream(Proc + "\n" + Proc, false);
    auto* Font = ObjAs<TPDFDictionary>(
        S.Decode("<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0]"
                 " /CharProcs << /a 10 0 R /b 11 0 R /c 10 0 R >> >>"));
    TPDFType3Rasterizer R;
    R.FOnFindObject = [&](TPDFIndRef* Ref) -> TPDFObject* {
        auto It = Objects.find(Ref->ObjNum);
        return It == Objects.end() ? nullptr : It->second;
    };
    R.LoadFromPDFDict(Font);
    TCheckingCanvas Canvas;
    const TPDFXForm Mats[] = {{12, 0, 0, 12, 5, 7}, {0, -1e6, 1e6, 0, 0, 0}, {0, 0, 0, 0, 0, 0}};
    for (const TPDFXForm& M : Mats)
        for (const char* Name : {"a", "b", "c", "d"}) {
            double X = 1.5, Y = -2;
            try {
                R.RenderToCanvas(X, Y, &Canvas, M, Name, peStandard);
            } catch (const EMathError&) {
                // A point that is not finite is refused before drawing.
            }
        }
}

VPL_FUZZ_TARGET(type3_glyph, Type3Glyph);

}  // namespace velmo::fuzz
