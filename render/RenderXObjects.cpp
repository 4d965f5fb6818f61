// The Do operator: form XObjects are interpreted as nested contents with
// their matrix, bounding-box clip, resources and optional content. Images
// are drawn by the image library's decoder, which replaces the image branch.
#include <string>

#include "render/ContentRun.h"

namespace velmo {

namespace {

int HexDigit(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
}

// The value of a name token ("/A#20B" is "A B"), as the object parser reads
// it; empty when the operand is not a name.
std::string NameValue(std::string_view Token) {
    std::string V;
    if (Token.size() < 2 || Token[0] != '/') return V;
    V.reserve(Token.size() - 1);
    for (size_t K = 1; K < Token.size(); ++K) {
        if (Token[K] == '#' && K + 2 < Token.size() && HexDigit(Token[K + 1]) >= 0 &&
            HexDigit(Token[K + 2]) >= 0) {
            V.push_back(char(HexDigit(Token[K + 1]) * 16 + HexDigit(Token[K + 2])));
            K += 2;
        } else {
            V.push_back(Token[K]);
        }
    }
    return V;
}

}  // namespace

TImageXObjectDrawer& ImageXObjectDrawer() {
    static TImageXObjectDrawer Drawer;
    return Drawer;
}

TInlineImageDrawer& InlineImageDrawer() {
    static TInlineImageDrawer Drawer;
    return Drawer;
}

void TPDFRenderer::DrawXObject(TContentRun& Run, std::string_view Name) {
    if (!Run.Visible || Run.Resources == nullptr) return;
    const std::string Key = NameValue(Name);
    if (Key.empty()) return;
    TPDFDictionary* XObjects = Run.SubDict(Run.Resources, "XObject");
    if (XObjects == nullptr) return;
    TPDFObject* Entry = XObjects->FindValueByKeyName(Key, false);
    TPDFIndRef* ContainerIR = ObjAs<TPDFIndRef>(Entry);
    auto* Stream = ObjAs<TPDFStream>(Run.Resolve(Entry));
    if (Stream == nullptr || Stream->FDictionary == nullptr) return;
    TPDFDictionary* Dict = Stream->FDictionary;

    // Optional content of the XObject.
    if (!Run.StreamVisible(Dict)) return;

    const std::string Subtype = Dict->StringValue("Subtype");
    if (Run.RegionPass() && !Run.GS.Degenerate && (Subtype == "Image" || Subtype == "Form")) {
        double L, T, Rt, B;
        bool Plain;
        if (Subtype == "Image") {
            Run.UnitSquareBounds(L, T, Rt, B);
            auto* Mask = ObjAs<TPDFBoolean>(Run.Resolve(Dict->FindValueByKeyName("ImageMask", false)));
            Plain = Run.PlainImage(Mask != nullptr && Mask->FValue);
        } else {
            PrinterAreaBounds(L, T, Rt, B);
            const TFormGroup G = ReadFormGroup(Run, Dict);
            Plain = Run.GS.FillAlpha >= 1 && Run.GS.StrokeAlpha >= 1 &&
                    Run.GS.BlendMode == bmNormal && !Run.GS.Softmask && Run.Masks.empty() &&
                    !(G.Transparency && (G.Isolated || G.Knockout));
        }
        if (PrinterPassSkips(L, T, Rt, B, Plain)) return;
    }
    if (Subtype != "Form") {
        // Images: drawn by the image library once it is installed.
        if (Run.EPS) FImageFillColorEPS = Run.GS.FillColorEPS;
        if (Subtype == "Image") {
            auto* Mask = ObjAs<TPDFBoolean>(Run.Resolve(Dict->FindValueByKeyName("ImageMask", false)));
            if (Mask != nullptr && Mask->FValue) Run.PrepareStencilPaint();
        }
        if (Subtype == "Image" && ImageXObjectDrawer() && Picasso) {
            auto Draw = [&] {
                ImageXObjectDrawer()(*this, Stream, ContainerIR, Picasso.get(), CanvasMat,
                                     Run.GS.FillColor);
            };
            if (ObjAs<TPDFStream>(Run.Resolve(Dict->FindValueByKeyName("SMask", false))))
                Run.WithoutStateMasks(Draw);
            else
                Draw();
        }
        return;
    }

    // A box of fewer than four numbers is no box: the form draws unclipped.
    double Box[4];
    const bool HasBox =
        Run.Numbers(ObjAs<TPDFArray>(Run.Resolve(Dict->FindValueByKeyName("BBox", false))), 4, Box);
    double M[6];
    auto* MatrixArray = ObjAs<TPDFArray>(Run.Resolve(Dict->FindValueByKeyName("Matrix", false)));
    const bool HasMatrix =
        MatrixArray != nullptr && MatrixArray->GetCount() == 6 && Run.Numbers(MatrixArray, 6, M);
    TPDFXForm Product = CanvasMat;
    if (HasMatrix) {
        // A form whose matrix cannot be drawn through shows nothing.
        if (!TContentRun::SafeMul({M[0], M[1], M[2], M[3], M[4], M[5]}, CanvasMat, Product) ||
            TContentRun::Singular(Product))
            return;
    }

    ParentResources = Run.Resources;
    // The form starts from the caller's state; its matrix applies inside
    // the saved state, so the caller's drawing after Do is unchanged.
    Run.SaveGraphicsState();
    FUseInitialState = true;
    FInitialState = Run.GS;
    if (HasMatrix) {
        if (Run.EPS) FEPS->PSConcat({M[0], M[1], M[2], M[3], M[4], M[5]});
        CanvasMat = Product;
        if (!Run.EPS) {
            if (TPDFRenderCanvas* D = Device()) D->SetCurrentXForm(CanvasMat);
        }
    }

    if (HasBox && !Run.GS.Degenerate) {
        Run.StartPath();
        Run.MoveTo(Box[0], Box[1]);
        Run.LineTo(Box[0], Box[3]);
        Run.LineTo(Box[2], Box[3]);
        Run.LineTo(Box[2], Box[1]);
        Run.ClosePath();
        // The device clips by the even-odd rule, EPS by the non-zero one;
        // for one rectangle both give the same area.
        Run.Clip(!Run.EPS);
        Run.EndPath();
    }

    // Transparency groups compose through layers on cairo and through
    // groups of the renderer library.
    const TFormGroup Group = ReadFormGroup(Run, Dict);
    if ((FDestination == rdCairo || FDestination == rdCairoBitmap) && Group.Present)
        RenderCairoGroup(Run, Stream, ContainerIR, Group);
    else if (Run.Library)
        RenderLibraryForm(Run, Stream, ContainerIR, Group);
    else
        RenderContent(Stream, {}, ContainerIR);
    FUseInitialState = false;
    Run.RestoreGraphicsState();
}

}  // namespace velmo
