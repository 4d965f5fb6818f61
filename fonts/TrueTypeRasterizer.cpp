#include "fonts/TrueTypeRasterizer.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "core/FontConst.h"

namespace velmo {

namespace {

struct TDingbatsName {
    const char* Name;
    uint16_t Unicode;
};

// clang-format off
const TDingbatsName kDingbatsNames[] = {
    {"a1", 0x2701}, {"a2", 0x2702}, {"a202", 0x2703}, {"a3", 0x2704}, {"a4", 0x260E}, {"a5",
    0x2706}, {"a119", 0x2707}, {"a118", 0x2708}, {"a117", 0x2709}, {"a11", 0x261B}, {"a12",
    0x261E}, {"a13", 0x270C}, {"a14", 0x270D}, {"a15", 0x270E}, {"a16", 0x270F}, {"a105", 0x2710},
    {"a17", 0x2711}, {"a18", 0x2712}, {"a19", 0x2713}, {"a20", 0x2714}, {"a21", 0x2715}, {"a22",
    0x2716}, {"a23", 0x2717}, {"a24", 0x2718}, {"a25", 0x2719}, {"a26", 0x271A}, {"a27", 0x271B},
    {"a28", 0x271C}, {"a6", 0x271D}, {"a7", 0x271E}, {"a8", 0x271F}, {"a9", 0x2720}, {"a10",
    0x2721}, {"a29", 0x2722}, {"a30", 0x2723}, {"a31", 0x2724}, {"a32", 0x2725}, {"a33", 0x2726},
    {"a34", 0x2727}, {"a35", 0x2605}, {"a36", 0x2729}, {"a37", 0x272A}, {"a38", 0x272B}, {"a39",
    0x272C}, {"a40", 0x272D}, {"a41", 0x272E}, {"a42", 0x272F}, {"a43", 0x2730}, {"a44", 0x2731},
    {"a45", 0x2732}, {"a46", 0x2733}, {"a47", 0x2734}, {"a48", 0x2735}, {"a49", 0x2736}, {"a50",
    0x2737}, {"a51", 0x2738}, {"a52", 0x2739}, {"a53", 0x273A}, {"a54", 0x273B}, {"a55", 0x273C},
    {"a56", 0x273D}, {"a57", 0x273E}, {"a58", 0x273F}, {"a59", 0x2740}, {"a60", 0x2741}, {"a61",
    0x2742}, {"a62", 0x2743}, {"a63", 0x2744}, {"a64", 0x2745}, {"a65", 0x2746}, {"a66", 0x2747},
    {"a67", 0x2748}, {"a68", 0x2749}, {"a69", 0x274A}, {"a70", 0x274B}, {"a71", 0x25CF}, {"a72",
    0x274D}, {"a73", 0x25A0}, {"a74", 0x274F}, {"a203", 0x2750}, {"a75", 0x2751}, {"a204", 0x2752},
    {"a76", 0x25B2}, {"a77", 0x25BC}, {"a78", 0x25C6}, {"a79", 0x2756}, {"a81", 0x25D7}, {"a82",
    0x2758}, {"a83", 0x2759}, {"a84", 0x275A}, {"a97", 0x275B}, {"a98", 0x275C}, {"a99", 0x275D},
    {"a100", 0x275E}, {"a101", 0x2761}, {"a102", 0x2762}, {"a103", 0x2763}, {"a104", 0x2764},
    {"a106", 0x2765}, {"a107", 0x2766}, {"a108", 0x2767}, {"a112", 0x2663}, {"a111", 0x2666},
    {"a110", 0x2665}, {"a109", 0x2660}, {"a120", 0x2460}, {"a121", 0x2461}, {"a122", 0x2462},
    {"a123", 0x2463}, {"a124", 0x2464}, {"a125", 0x2465}, {"a126", 0x2466}, {"a127", 0x2467},
    {"a128", 0x2468}, {"a129", 0x2469}, {"a130", 0x2776}, {"a131", 0x2777}, {"a132", 0x2778},
    {"a133", 0x2779}, {"a134", 0x277A}, {"a135", 0x277B}, {"a136", 0x277C}, {"a137", 0x277D},
    {"a138", 0x277E}, {"a139", 0x277F}, {"a140", 0x2780}, {"a141", 0x2781}, {"a142", 0x2782},
    {"a143", 0x2783}, {"a144", 0x2784}, {"a145", 0x2785}, {"a146", 0x2786}, {"a147", 0x2787},
    {"a148", 0x2788}, {"a149", 0x2789}, {"a150", 0x278A}, {"a151", 0x278B}, {"a152", 0x278C},
    {"a153", 0x278D}, {"a154", 0x278E}, {"a155", 0x278F}, {"a156", 0x2790}, {"a157", 0x2791},
    {"a158", 0x2792}, {"a160", 0x2794}, {"a161", 0x2192}, {"a163", 0x2194}, {"a164", 0x2195},
    {"a196", 0x2798}, {"a165", 0x2799}, {"a192", 0x279A}, {"a166", 0x279B}, {"a167", 0x279C},
    {"a168", 0x279D}, {"a169", 0x279E}, {"a170", 0x279F}, {"a171", 0x27A0}, {"a172", 0x27A1},
    {"a173", 0x27A2}, {"a162", 0x27A3}, {"a174", 0x27A4}, {"a175", 0x27A5}, {"a176", 0x27A6},
    {"a177", 0x27A7}, {"a178", 0x27A8}, {"a179", 0x27A9}, {"a193", 0x27AA}, {"a180", 0x27AB},
    {"a199", 0x27AC}, {"a181", 0x27AD}, {"a200", 0x27AE}, {"a182", 0x27AF}, {"a201", 0x27B1},
    {"a183", 0x27B2}, {"a184", 0x27B3}, {"a197", 0x27B4}, {"a185", 0x27B5}, {"a194", 0x27B6},
    {"a198", 0x27B7}, {"a186", 0x27B8}, {"a195", 0x27B9}, {"a187", 0x27BA}, {"a188", 0x27BB},
    {"a189", 0x27BC}, {"a190", 0x27BD}, {"a191", 0x27BE}, {"a89", 0xF8D7}, {"a90", 0xF8D8}, {"a93",
    0xF8D9}, {"a94", 0xF8DA}, {"a91", 0xF8DB}, {"a92", 0xF8DC}, {"a205", 0xF8DD}, {"a85", 0xF8DE},
    {"a206", 0xF8DF}, {"a86", 0xF8E0}, {"a87", 0xF8E1}, {"a88", 0xF8E2}, {"a95", 0xF8E3}, {"a96",
    0xF8E4},
};
// clang-format on

bool StartsWith(std::string_view S, std::string_view Prefix) {
    return S.substr(0, Prefix.size()) == Prefix;
}

// Hexadecimal text; 0 when empty or not hexadecimal (or beyond 32 bits).
uint32_t HexValue(std::string_view S) {
    uint32_t V = 0;
    if (S.empty()) return 0;
    const auto R = std::from_chars(S.data(), S.data() + S.size(), V, 16);
    return R.ec == std::errc() && R.ptr == S.data() + S.size() ? V : 0;
}

// Decimal digits; 0 when empty, not a number or beyond 31 bits.
int32_t DecimalValue(std::string_view S) {
    if (S.empty() || !std::all_of(S.begin(), S.end(), [](char C) { return C >= '0' && C <= '9'; }))
        return 0;
    int32_t V = 0;
    const auto R = std::from_chars(S.data(), S.data() + S.size(), V, 10);
    return R.ec == std::errc() ? V : 0;
}

void MapPoint(const TPDFXForm& M, double X, double Y, double& OX, double& OY) {
    OX = X * M.eM11 + Y * M.eM21 + M.eDx;
    OY = X * M.eM12 + Y * M.eM22 + M.eDy;
}

}  // namespace

uint16_t DingbatsNameToUnicode(std::string_view Name) {
    static const auto* Index = [] {
        auto* M = new std::unordered_map<std::string_view, uint16_t>();
        for (const TDingbatsName& D : kDingbatsNames) M->emplace(D.Name, D.Unicode);
        return M;
    }();
    const auto It = Index->find(Name);
    return It == Index->end() ? 0 : It->second;
}

TPDFTrueTypeRasterizer2::TPDFTrueTypeRasterizer2()
    : FOwnParser(std::make_shared<TPDFTrueTypeParser>()) {
    FParser = FOwnParser;
}

TPDFTrueTypeParser& TPDFTrueTypeRasterizer2::Parser() {
    if (FParser != FOwnParser) {
        FOwnParser = std::make_shared<TPDFTrueTypeParser>(*FParser);
        FParser = FOwnParser;
    }
    return *FOwnParser;
}

struct TPDFTrueTypeRasterizer2::TBuild {
    int32_t Components = 0;
    int64_t Points = 0;
};

int32_t TPDFTrueTypeRasterizer2::PostGlyph(std::string_view Name) const {
    // An empty name would find any glyph the post table leaves unnamed.
    if (Name.empty() || FParser->PostCount() <= 0) return -1;
    return FParser->HasPostName(Name);
}

int32_t TPDFTrueTypeRasterizer2::UnicodeGlyph(uint32_t Code, bool PostFallBack) const {
    const int32_t Sub = FParser->Findcmap(3, 1);
    if (Sub >= 0) return FParser->Getcmap(Sub).GlyphOfCode(Code);
    if (!PostFallBack || Code > 0xFFFF) return -1;
    return PostGlyph(UnicodeToGlyphName(static_cast<uint16_t>(Code)));
}

int32_t TPDFTrueTypeRasterizer2::Lookup(std::string_view Name) const {
    int32_t G = -1;
    if (StartsWith(Name, "U+")) G = UnicodeGlyph(HexValue(Name.substr(2, 4)), true);
    if (StartsWith(Name, "PS:")) G = PostGlyph(Name.substr(3));
    if (StartsWith(Name, "GID:")) G = DecimalValue(Name.substr(4));
    if (G == -1 && FSymbolic) {
        const int32_t Code = DecimalValue(Name.size() > 4 ? Name.substr(4) : std::string_view());
        for (const auto& [P, E] : {std::pair{3, 0}, std::pair{1, 0}, std::pair{3, 1}}) {
            const int32_t Sub =
                FParser->Findcmap(static_cast<uint16_t>(P), static_cast<uint16_t>(E));
            if (Sub >= 0) G = FParser->Getcmap(Sub).GlyphOfLowByte(Code);
            if (G != -1) break;
        }
    }
    if (G == -1) {
        int32_t Sub = FParser->Findcmap(3, 1);
        if (Sub < 0) Sub = FParser->FindUnicodecmap();
        // A name the glyph list lacks has no Unicode value to look for.
        const uint16_t U = GlyphNameToUnicode(Name);
        if (Sub >= 0 && U != 0) G = FParser->Getcmap(Sub).GlyphOfCode(U);
    }
    if (G == -1) {
        const int32_t Sub = FParser->Findcmap(1, 0);
        const int N = GetStandardGlyphNumber(Name);
        if (Sub >= 0 && N >= 1 && N <= kStandardGlyphCount) {
            const int M = StandardGlyphMacRomanCodes()[static_cast<size_t>(N - 1)];
            const TPDFTTEncodingRecord& R = FParser->Getcmap(Sub);
            if (M >= 1 && M <= 255 && R.GlyfID.size() == 256) G = R.GlyfID[static_cast<size_t>(M)];
        }
    }
    if (G == -1) G = PostGlyph(Name);
    if (G == -1 && (StartsWith(Name, "uni") || StartsWith(Name, "a"))) {
        const uint32_t Code =
            Name[0] == 'a' ? DingbatsNameToUnicode(Name) : HexValue(Name.substr(3));
        if (Code != 0) G = UnicodeGlyph(Code, true);
    }
    return G;
}

int32_t TPDFTrueTypeRasterizer2::GlyphIndexOf(std::string_view CharName) {
    const auto It = FNameIndex.find(CharName);
    if (It != FNameIndex.end()) return It->second;
    const int32_t G = Lookup(CharName);
    FNameIndex.emplace(std::string(CharName), G);
    return G;
}

void TPDFTrueTypeRasterizer2::AddSimple(const TPDFTTglyfTable& G, const TPDFXForm& M, TBuild& B) {
    const size_t N = G.Points.size();
    if (N == 0 || B.Points + int64_t(N) > kMaxGlyphPoints) return;
    B.Points += int64_t(N);
    size_t First = 0;
    for (const uint16_t EndPoint : G.endPtsOfContours) {
        const size_t Last = EndPoint;
        // Contour ends must rise and stay inside the points.
        if (Last < First || Last >= N) break;
        for (size_t K = First; K <= Last; ++K) {
            TPDFDoublePoint P;
            MapPoint(M, G.Points[K].X, G.Points[K].Y, P.X, P.Y);
            FOutline.push_back(P);
            FOnCurve.push_back(G.Flags[K] & 1);
        }
        FContourEnds.push_back(FOutline.size() - 1);
        First = Last + 1;
    }
}

void TPDFTrueTypeRasterizer2::EmitOutline(TPDFGenericShape& S) {
    const TPDFDoublePoint* Pt = FOutline.data();
    const uint8_t* On = FOnCurve.data();
    // Each contour is walked from a start point on the curve. Returns the
    // start and the points walked after it, [From, To).
    auto Walk = [&](size_t First, size_t Last, TPDFDoublePoint& Start, size_t& From, size_t& To) {
        From = First;
        To = Last + 1;
        if (On[First]) {
            Start = Pt[First];
            From = First + 1;
        } else if (On[Last]) {
            // A contour that starts off the curve starts at its last point
            // when that one is on it, else halfway between first and last.
            Start = Pt[Last];
            To = Last;
        } else {
            Start = {(Pt[First].X + Pt[Last].X) / 2, (Pt[First].Y + Pt[Last].Y) / 2};
        }
    };

    auto& Types = FBuildTypes;
    auto& Points = FBuildPoints;
    Types.clear();
    Points.clear();
    auto Add = [&](TPDFGenericShapeCommandType T, std::initializer_list<TPDFDoublePoint> P) {
        Types.push_back(T);
        Points.insert(Points.end(), P);
    };
    size_t First = 0;
    for (const size_t Last : FContourEnds) {
        TPDFDoublePoint Start;
        size_t From, To;
        Walk(First, Last, Start, From, To);
        Add(ctMove, {Start});
        // Points off the curve wait in [Pending, K) until a point on it (or
        // the start, at the end) closes their run: curves through them, with
        // the midpoints of neighbours as the points on the curve.
        size_t Pending = From;
        auto Flush = [&](size_t End, const TPDFDoublePoint& E) {
            if (Pending == End) return;
            for (size_t J = Pending; J + 1 < End; ++J)
                Add(ctQBezier, {Pt[J], {(Pt[J].X + Pt[J + 1].X) / 2, (Pt[J].Y + Pt[J + 1].Y) / 2}});
            Add(ctQBezier, {Pt[End - 1], E});
        };
        for (size_t K = From; K < To; ++K) {
            if (!On[K]) continue;
            if (Pending == K)
                Add(ctLine, {Pt[K]});
            else
                Flush(K, Pt[K]);
            Pending = K + 1;
        }
        Flush(To, Start);
        Add(ctClose, {});
        First = Last + 1;
    }
    S.AppendCommands(Types, Points);
}

void TPDFTrueTypeRasterizer2::AddComposite(const TPDFTTglyfTable& G, const TPDFXForm& M, int Depth,
                                           TBuild& B) {
    for (const TPDFTTComposite& C : G.Composites) {
        if (++B.Components > kMaxGlyphComponents) return;
        TPDFXForm T = IdentityXForm;
        if (C.flags & 128) {
            T = {C.xscale, C.scale01,           C.scale10,
                 C.yscale, double(C.argument1), double(C.argument2)};
        } else {
            // Arguments that are point numbers place the component without
            // an offset.
            if (C.flags & 2) {
                T.eDx = C.argument1;
                T.eDy = C.argument2;
            }
            if (C.flags & (64 | 8)) {
                T.eM11 = C.xscale;
                T.eM22 = C.yscale;
            }
        }
        TPDFXForm Component;
        MultiplyXForm(Component, T, M);  // the component's own transform first
        // Each depth decodes into its own scratch glyph: G is the one above.
        TPDFTTglyfTable& Sub = FGlyphScratch[static_cast<size_t>(Depth)];
        FParser->GetGlyphData(C.glyphIndex, Sub);
        if (Sub.numberOfContours != 0)
            AddSimple(Sub, Component, B);
        else if (Depth < kMaxCompositeDepth)
            AddComposite(Sub, Component, Depth + 1, B);
    }
}

const TPDFGenericShape* TPDFTrueTypeRasterizer2::GlyphShape(int32_t Index) {
    if (Index < 0 || Index >= FParser->GlyphCount()) return nullptr;
    const size_t I = static_cast<size_t>(Index);
    if (I >= FCharShapes.size()) FCharShapes.resize(size_t(FParser->GlyphCount()), nullptr);
    if (FCharShapes[I]) return FCharShapes[I];

    FGlyphScratch.resize(size_t(kMaxCompositeDepth) + 1);
    FOutline.clear();
    FOnCurve.clear();
    FContourEnds.clear();
    const double Scale = 1000.0 / FParser->ScalingUnitsPerEm();
    const TPDFXForm G{Scale, 0, 0, Scale, 0, 0};
    TBuild B;
    TPDFTTglyfTable& Glyph = FGlyphScratch[0];
    FParser->GetGlyphData(Index, Glyph);
    if (Glyph.numberOfContours != 0)
        AddSimple(Glyph, G, B);
    else
        AddComposite(Glyph, G, 1, B);

    TPDFGenericShape& Shape = FShapeStore.emplace_back();
    try {
        EmitOutline(Shape);
    } catch (...) {
        FShapeStore.pop_back();
        throw;
    }
    FCharShapes[I] = &Shape;
    return FCharShapes[I];
}

bool TPDFTrueTypeRasterizer2::RenderToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas,
                                             const TPDFXForm& Mat, const std::string& CharName,
                                             TPDFEncodingVector) {
    if (FParser->GlyphCount() < 1) return false;
    const TPDFGenericShape* Shape = GlyphShape(GlyphIndexOf(CharName));
    if (Shape && Canvas) {
        TPDFXForm M;
        MultiplyXForm(M, TPDFXForm{1, 0, 0, 1, RX, RY}, Mat);
        Canvas->DrawShape(*Shape, M);
    }
    return true;
}

bool TPDFTrueTypeRasterizer2::RenderGlyphToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas,
                                                  const TPDFXForm& Mat, uint32_t Glyph,
                                                  TPDFEncodingVector) {
    if (FParser->GlyphCount() < 1) return false;
    // "GID:" names find their number as it stands.
    const TPDFGenericShape* Shape =
        Glyph <= uint32_t(INT32_MAX) ? GlyphShape(int32_t(Glyph)) : nullptr;
    if (Shape && Canvas) {
        TPDFXForm M;
        MultiplyXForm(M, TPDFXForm{1, 0, 0, 1, RX, RY}, Mat);
        Canvas->DrawShape(*Shape, M);
    }
    return true;
}

int32_t TPDFTrueTypeRasterizer2::ResolveGlyph(const std::string& CharName) {
    if (FParser->GlyphCount() < 1) return kNoGlyph;
    const int32_t G = GlyphIndexOf(CharName);
    return G >= 0 ? G : kNoGlyph;
}

int32_t TPDFTrueTypeRasterizer2::ResolveGlyphId(uint32_t Glyph) {
    if (FParser->GlyphCount() < 1 || Glyph > uint32_t(INT32_MAX)) return kNoGlyph;
    return int32_t(Glyph);
}

void TPDFTrueTypeRasterizer2::RenderResolvedGlyph(double RX, double RY, TPDFGenericCanvas* Canvas,
                                                  const TPDFXForm& Mat, int32_t Resolved) {
    const TPDFGenericShape* Shape = GlyphShape(Resolved);
    if (Shape && Canvas) {
        TPDFXForm M;
        MultiplyXForm(M, TPDFXForm{1, 0, 0, 1, RX, RY}, Mat);
        Canvas->DrawShape(*Shape, M);
    }
}

void TPDFTrueTypeRasterizer2::GetWidths(const TPDFCharsetNames& CharSet,
                                        std::array<double, 256>& Widths) {
    for (size_t I = 0; I < 256; ++I) {
        const std::string& Name = CharSet[I];
        int32_t G = PostGlyph(Name);
        if (G < 0 && !Name.empty()) G = GlyphIndexOf(Name);
        if (G >= 0) Widths[I] = FParser->GetWidth(G);
    }
}

void TPDFTrueTypeRasterizer2::LoadFromFont() {
    constexpr uint32_t kLimit = 104857600;  // 100 MiB
    FFontData.reset();
    FHasCFFTable = false;
    std::shared_ptr<const std::string> Data;
    std::shared_ptr<const TPDFTrueTypeParser> Shared;
    uint32_t TableOffset = 0;
    if (FFont) {
        uint32_t C = FFont->CollectionSize();
        uint32_t S = FFont->FaceDataSize();
        if (S >= kLimit) {
            FFont->SetName(u"Arial");
            S = FFont->FaceDataSize();
            C = 0;
        }
        if (S > 0 && S < kLimit) {
            TableOffset = (C != 0 && C != TPDFInstalledFont::kFontDataError && C >= S) ? C - S : 0;
            // A face parsed once for the process serves every rasterizer;
            // only the size the font reported is taken.
            Shared = FFont->ParsedFace(TableOffset);
            if (Shared && Shared->Data() && Shared->Data()->size() == S &&
                Shared->TableOffset == TableOffset) {
                Data = Shared->Data();
            } else {
                Shared.reset();
                Data = FFont->FaceData();
                if (Data && Data->size() != S) Data.reset();
            }
        }
    }
    FCharShapes.clear();
    FShapeStore.clear();
    FNameIndex.clear();
    if (Shared) {
        FParser = std::move(Shared);
    } else {
        if (FParser != FOwnParser) FOwnParser = std::make_shared<TPDFTrueTypeParser>();
        FOwnParser->TableOffset = TableOffset;
        FOwnParser->LoadFromBuffer(Data);
        FParser = FOwnParser;
    }
    FHasCFFTable = Data && !Data->empty() && FParser->GetCFFDataPosition() > 0;
    if (FHasCFFTable) FFontData = Data;
}

}  // namespace velmo
