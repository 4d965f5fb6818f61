// The content-stream interpreter: RenderContent and the operator table.
#include <exception>

#include "render/ContentRun.h"

namespace velmo {

const std::unordered_map<std::string_view, TPDFRenderer::TContentRun::TOp>&
TPDFRenderer::TContentRun::OpTable() {
    static const std::unordered_map<std::string_view, TOp> T = {
        {"q", op_q},      {"Q", op_Q},       {"cm", op_cm},    {"w", op_w},      {"J", op_J},
        {"j", op_j},      {"M", op_M},       {"d", op_d},      {"ri", op_ri},    {"gs", op_gs},
        {"m", op_m},      {"l", op_l},       {"c", op_c},      {"v", op_v},      {"y", op_y},
        {"re", op_re},    {"h", op_h},       {"S", op_S},      {"s", op_s},      {"f", op_f},
        {"F", op_F},      {"f*", op_fstar},  {"B", op_B},      {"B*", op_Bstar}, {"b", op_b},
        {"b*", op_bstar}, {"n", op_n},       {"W", op_W},      {"W*", op_Wstar}, {"sh", op_sh},
        {"BT", op_BT},    {"ET", op_ET},     {"Tc", op_Tc},    {"Tw", op_Tw},    {"Tz", op_Tz},
        {"TL", op_TL},    {"Ts", op_Ts},     {"Tr", op_Tr},    {"Tf", op_Tf},    {"Td", op_Td},
        {"TD", op_TD},    {"Tm", op_Tm},     {"T*", op_Tstar}, {"Tj", op_Tj},    {"TJ", op_TJ},
        {"'", op_quote},  {"\"", op_dquote}, {"d1", op_d1},    {"CS", op_CS},    {"cs", op_cs},
        {"G", op_G},      {"RG", op_RG},     {"K", op_K},      {"g", op_g},      {"rg", op_rg},
        {"k", op_k},      {"SC", op_SC},     {"sc", op_sc},    {"SCN", op_SCN},  {"scn", op_scn},
        {"BI", op_BI},    {"Do", op_Do},     {"BMC", op_BMC},  {"BDC", op_BDC},  {"EMC", op_EMC},
        {"[", op_array}};
    return T;
}

// ---------------------------------------------------------------------------

void TPDFRenderer::RenderContent(TPDFObject* Source, std::string_view ContentOverride,
                                 TPDFIndRef* ContainerIR) {
    RunContent(Source, ContentOverride, ContainerIR);
}

void TPDFRenderer::RunContent(TPDFObject* Source, std::string_view ContentOverride,
                              TPDFIndRef* ContainerIR) {
    if (Source == nullptr) return;
    // Every nested interpretation passes the guard: a content that is being
    // interpreted already, or one nested too deeply, is skipped.
    const void* Key = Source;
    if (!FNesting->Enter(Key)) {
        if (FErrorDesc.empty())
            FErrorDesc = FNesting->Depth() >= TPDFRenderNesting::MaxDepth
                             ? "Content nested too deeply; skipped"
                             : "Content refers to itself; skipped";
        return;
    }
    struct TLeave {
        TPDFRenderNesting& N;
        const void* K;
        ~TLeave() { N.Leave(K); }
    } Leave{*FNesting, Key};

    TContentRun Run(*this);
    FStructure = Source->Owner();

    // Resources.
    if (auto* D = ObjAs<TPDFDictionary>(Source)) {
        if (!ContentOverride.empty()) {
            Run.Resources = Run.SubDict(D, "Resources");
            if (Run.Resources == nullptr) Run.Resources = ParentResources;
        } else {
            Run.Resources = ObjAs<TPDFDictionary>(FindInheritedValue(D, "Resources"));
        }
    } else if (auto* S = ObjAs<TPDFStream>(Source)) {
        Run.Resources = ObjAs<TPDFDictionary>(FindInheritedValue(S->FDictionary, "Resources"));
        if (Run.Resources == nullptr && S->FDictionary != nullptr) {
            const std::string Type = S->FDictionary->StringValue("Type");
            if (Type.empty() || Type == "XObject") Run.Resources = ParentResources;
        }
    }

    // Content.
    auto Decode = [&](TPDFStream* S, TPDFIndRef* Ref) {
        if (OnDecrypt) OnDecrypt(S, Ref);
        std::string T;
        try {
            T = S->GetDecodedStream();
        } catch (...) {
            if (OnEncrypt) OnEncrypt(S, Ref);
            throw;
        }
        if (OnEncrypt) OnEncrypt(S, Ref);
        return T;
    };
    try {
        if (auto* D = ObjAs<TPDFDictionary>(Source)) {
            if (!ContentOverride.empty()) {
                Run.Content.assign(ContentOverride);
            } else {
                TPDFObject* C = D->FindValueByKeyName("Contents", false);
                TPDFIndRef* CRef = ObjAs<TPDFIndRef>(C);
                C = Run.Resolve(C);
                if (auto* S = ObjAs<TPDFStream>(C)) {
                    Run.Content = Decode(S, CRef);
                } else if (auto* A = ObjAs<TPDFArray>(C)) {
                    for (TPDFObject* It : A->LiveItems()) {
                        TPDFIndRef* IRef = ObjAs<TPDFIndRef>(It);
                        if (auto* S = ObjAs<TPDFStream>(Run.Resolve(It))) {
                            Run.Content += Decode(S, IRef);
                            Run.Content += ' ';
                        }
                    }
                }
            }
        } else if (auto* S = ObjAs<TPDFStream>(Source)) {
            Run.Content = Decode(S, ContainerIR);
        } else if (auto* Str = ObjAs<TPDFString>(Source)) {
            Run.Content = Str->FValue;
        }
    } catch (const std::exception& E) {
        if (FErrorDesc.empty()) FErrorDesc = std::string("Rendering exception: ") + E.what();
        return;
    }
    Run.Text = Run.Content;

    // Start state.
    if (FUseInitialState) {
        Run.GS = FInitialState;
        FUseInitialState = false;
    }
    Run.GS.TM = Run.GS.TLM = IdentityXForm;
    Run.GS.CTM = CanvasMat;
    Run.PatternBase = CanvasMat;
    // An uncoloured cell keeps the colour it was given.
    Run.UncolouredGlyph = FCellColored;
    if (Picasso || FCanvasRecorder) {
        if (TPDFRenderCanvas* D = Device()) D->SetCurrentXForm(CanvasMat);
    }
    if (!Picasso && !FCanvasRecorder && FDestination != rdEPS) return;

    // A page draws its annotations too: highlights beneath the content
    // (the renderer library makes a single pass after it), the rest above.
    const bool Page = ObjAs<TPDFDictionary>(Source) != nullptr && ContentOverride.empty();
    if (Page && !Run.Library) DrawAnnotationsGuarded(Run, true);

    if (!FGDIPlusSettings.RenderFormFieldsOnly || FDrawingAnnot) {
        try {
            Run.Loop();
        } catch (const std::exception& E) {
            // The page's first error is kept: a later nested content does
            // not wipe it.
            if (FErrorDesc.empty())
                FErrorDesc = std::string("Rendering exception: ") + E.what() +
                             "\r\nToken position " + std::to_string(Run.Pos + 1);
        }
    }
    // Soft masks end with the content that set them.
    Run.EndMasks(0);

    if (Page && (Run.Library || FErrorDesc.empty()) && FPageDict != nullptr &&
        FPageDict->FindValueByKeyName("Annots", false) != nullptr) {
        // The content's unbalanced saves end with it: annotations draw from
        // the page's own clip.
        Run.IgnoredSaves = 0;
        while (!Run.States.empty()) Run.RestoreGraphicsState(false);
        Run.Visible = true;
        DrawAnnotationsGuarded(Run, Run.Library);
    }
}

void TPDFRenderer::DrawAnnotationsGuarded(TContentRun& Run, bool Before) {
    try {
        DrawAnnotations(Run, Before);
    } catch (const std::exception& E) {
        if (FErrorDesc.empty()) FErrorDesc = std::string("Rendering exception: ") + E.what();
    }
}

}  // namespace velmo
