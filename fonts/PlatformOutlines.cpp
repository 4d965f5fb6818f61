#include "fonts/PlatformOutlines.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "core/Unicode.h"
#include "fonts/InstalledFaceCache.h"

namespace velmo {

namespace {

int32_t ReadI32(const uint8_t* P) {
    uint32_t V;
    std::memcpy(&V, P, 4);
    return int32_t(V);
}
uint16_t ReadU16(const uint8_t* P) {
    uint16_t V;
    std::memcpy(&V, P, 2);
    return V;
}
// A 16.16 fixed value: integer part plus fraction / 65536.
double Fixed(const uint8_t* P) { return double(ReadI32(P)) / 65536.0; }
TDPoint PointAt(const uint8_t* P) { return {Fixed(P), Fixed(P + 4)}; }

int PixelsFor(int Points, int PixelsPerInch) {
    return int(std::lround(double(Points) * PixelsPerInch / 72.0));
}

}  // namespace

void TFontCurveCollection::Clear() {
    StartPoints.clear();
    Parts.clear();
}

void TFontCurveCollection::NewPart(double StartX, double StartY) {
    StartPoints.push_back({StartX, StartY});
    Parts.emplace_back();
}

void TFontCurveCollection::AddLine(double EndX, double EndY) {
    if (Parts.empty()) return;
    Parts.back().push_back(TFontLine{{EndX, EndY}});
}

void TFontCurveCollection::AddCurve(double CtAX, double CtAY, double CtBX, double CtBY, double EndX,
                                    double EndY) {
    if (Parts.empty()) return;
    Parts.back().push_back(TFontSpline{{CtAX, CtAY}, {CtBX, CtBY}, {EndX, EndY}});
}

TTTFToVectorConverter::TTTFToVectorConverter() {
    FFont.Family = "Arial";
    FFont.Size = 28;
    PixelsPerInch = platform::ScreenPixelsPerInch();
}

void TTTFToVectorConverter::AddNativeOutline(const uint8_t* Data, size_t Size,
                                             TFontCurveCollection& Curves) {
    constexpr size_t kHeader = 16;
    if (!Data || Size < kHeader || ReadI32(Data + 4) != int32_t(platform::TT_POLYGON_TYPE)) return;
    size_t At = 0;
    uint64_t Total = 0;
    while (At + kHeader <= Size) {
        const uint32_t Cb = uint32_t(ReadI32(Data + At));
        // A contour must hold its header and lie inside the data.
        if (Cb < kHeader || Cb > Size - At) break;
        TDPoint Current = PointAt(Data + At + 8);
        Curves.NewPart(Current.X, Current.Y);
        const uint8_t* Body = Data + At + kHeader;
        const size_t BodySize = Cb - kHeader;
        size_t Used = 0;
        while (Used < BodySize && BodySize - Used >= 4) {
            const uint16_t Type = ReadU16(Body + Used);
            const size_t N = ReadU16(Body + Used + 2);
            if (N * 8 > BodySize - Used - 4) break;  // a record cut short ends the contour
            const uint8_t* Points = Body + Used + 4;
            if (Type == platform::TT_PRIM_LINE) {
                for (size_t J = 0; J < N; ++J) {
                    Current = PointAt(Points + 8 * J);
                    Curves.AddLine(Current.X, Current.Y);
                }
            } else if (Type == platform::TT_PRIM_QSPLINE && N >= 2) {
                TDPoint S = Current;
                for (size_t J = 0; J + 1 < N; ++J) {
                    const TDPoint B = PointAt(Points + 8 * J);
                    TDPoint E;
                    if (J + 2 < N) {
                        const TDPoint Next = PointAt(Points + 8 * (J + 1));
                        E = {(B.X + Next.X) / 2, (B.Y + Next.Y) / 2};
                    } else {
                        E = PointAt(Points + 8 * (J + 1));
                    }
                    Curves.AddCurve((2 * B.X + S.X) / 3, (2 * B.Y + S.Y) / 3, (2 * B.X + E.X) / 3,
                                    (2 * B.Y + E.Y) / 3, E.X, E.Y);
                    S = E;
                }
                Current = S;
            } else if (Type == platform::TT_PRIM_CSPLINE) {
                // Cubic segments of CFF faces: two controls and the end each.
                for (size_t J = 0; J + 3 <= N; J += 3) {
                    const TDPoint A = PointAt(Points + 8 * J);
                    const TDPoint B = PointAt(Points + 8 * (J + 1));
                    Current = PointAt(Points + 8 * (J + 2));
                    Curves.AddCurve(A.X, A.Y, B.X, B.Y, Current.X, Current.Y);
                }
            }
            Used += 4 + 8 * N;
        }
        At += Cb;
        Total += Cb;
        if (Total + kHeader >= Size) break;
    }
}

void TTTFToVectorConverter::GetCharacterGlyphs(int32_t CharCode) {
    std::unique_ptr<platform::TOutlineFace> Own;
    platform::TOutlineFace* Face = OutlineFace;
    if (!Face) {
        platform::TPlatformFont F = FFont;
        F.Size = PixelsFor(FFont.Size, PixelsPerInch);
        Own = platform::TOutlineFace::Open(F);
        Face = Own.get();
    }
    if (!Face) return;
    std::string Records;
    int16_t Advance = 0;
    const bool Ok = Face->NativeOutline(uint32_t(CharCode) & 0xFFFF, false, Records, Advance);
    FCharWidth = Advance;
    if (!Ok || Records.empty()) return;
    AddNativeOutline(reinterpret_cast<const uint8_t*>(Records.data()), Records.size(),
                     FCurveCollection);
}

// ---------------------------------------------------------------------------

TPDFSimpleTrueTypeRasterizer::TPDFSimpleTrueTypeRasterizer(int ScreenDPI) : FScreenDPI(ScreenDPI) {}

TPDFSimpleTrueTypeRasterizer::~TPDFSimpleTrueTypeRasterizer() { ReleaseDirectFont(); }

int TPDFSimpleTrueTypeRasterizer::OutlineFontSize() const {
    if (FScreenDPI < 1) return 750;
    return int(std::nearbyint(72000.0 / FScreenDPI));
}

uint32_t TPDFSimpleTrueTypeRasterizer::CharCodeOf(const std::string& CharName) {
    if (CharName.size() < 4) return 0;
    const std::string_view Prefix(CharName.data(), 4);
    if (Prefix != "CID:" && Prefix != "GID:") return 0;
    int64_t V = 0;
    const char* First = CharName.data() + 4;
    const char* Last = CharName.data() + CharName.size();
    auto [Ptr, Ec] = std::from_chars(First, Last, V);
    if (Ec != std::errc() || Ptr != Last || First == Last || V < 0 || V > 0xFFFFFFFFLL) return 0;
    return uint32_t(V);
}

const TFontCurveCollection& TPDFSimpleTrueTypeRasterizer::Outline(uint32_t Code) {
    // The family or style may change between glyphs: the face follows it.
    if (FFaceTried && (FFaceFont.Family != FFont.Family || FFaceFont.Bold != FFont.Bold ||
                       FFaceFont.Italic != FFont.Italic || FFaceFont.CharSet != FFont.CharSet)) {
        FFace.reset();
        FFaceTried = false;
        FOutlines.clear();
    }
    if (auto It = FOutlines.find(Code); It != FOutlines.end()) return It->second;
    TTTFToVectorConverter Converter;
    Converter.PixelsPerInch = FScreenDPI < 1 ? 96 : FScreenDPI;
    platform::TPlatformFont F = FFont;
    F.Size = OutlineFontSize();
    Converter.SetFont(F);
    if (!FFaceTried) {
        FFaceTried = true;
        FFaceFont = FFont;
        platform::TPlatformFont Pixels = F;
        Pixels.Size = PixelsFor(F.Size, Converter.PixelsPerInch);
        FFace = platform::TOutlineFace::Open(Pixels);
    }
    TFontCurveCollection& Slot = FOutlines[Code];
    if (FFace) {
        Converter.OutlineFace = FFace.get();
        Converter.GetCharacterGlyphs(int32_t(Code & 0xFFFF));
        Slot = std::move(Converter.CurveCollection());
    }
    return Slot;
}

bool TPDFSimpleTrueTypeRasterizer::RenderToCanvas(double& RX, double& RY, TPDFGenericCanvas* Canvas,
                                                  const TPDFXForm& Mat, const std::string& CharName,
                                                  TPDFEncodingVector Enc) {
    return RenderGlyphToCanvas(RX, RY, Canvas, Mat, CharCodeOf(CharName), Enc);
}

int32_t TPDFSimpleTrueTypeRasterizer::ResolveGlyph(const std::string& CharName) {
    return ResolveGlyphId(CharCodeOf(CharName));
}

int32_t TPDFSimpleTrueTypeRasterizer::ResolveGlyphId(uint32_t Glyph) {
    return Glyph <= uint32_t(INT32_MAX) ? int32_t(Glyph) : kByName;
}

void TPDFSimpleTrueTypeRasterizer::RenderResolvedGlyph(double RX, double RY,
                                                       TPDFGenericCanvas* Canvas,
                                                       const TPDFXForm& Mat, int32_t Resolved) {
    RenderGlyphToCanvas(RX, RY, Canvas, Mat, uint32_t(Resolved), peStandard);
}

bool TPDFSimpleTrueTypeRasterizer::RenderGlyphToCanvas(double& RX, double& RY,
                                                       TPDFGenericCanvas* Canvas,
                                                       const TPDFXForm& Mat, uint32_t Code,
                                                       TPDFEncodingVector) {
    TPDFXForm TM;
    MultiplyXForm(TM, TPDFXForm{1, 0, 0, 1, RX, RY}, Mat);
    if (DirectFontHandle) {
        if (auto* Direct = dynamic_cast<TPDFDirectFontCanvas*>(Canvas)) {
            if (Code > 0 && Code <= 0xFFFF)
                Direct->DrawDirectString(DirectFontHandle, char16_t(Code), TM);
            return Code > 0;
        }
    }
    // The character is a UTF-16 unit: at most 65536 outlines are kept.
    const TFontCurveCollection& Curves = Outline(Code & 0xFFFF);
    if (Canvas && !Curves.Parts.empty()) {
        // Map every point first, so a matrix that overflows raises before
        // anything reaches the canvas.
        std::vector<TPDFDoublePoint> Points;
        for (size_t K = 0; K < Curves.Parts.size(); ++K) {
            const TDPoint& S = Curves.StartPoints[K];
            Points.push_back({S.X, S.Y});
            for (const TFontCurveItem& Item : Curves.Parts[K]) {
                if (const auto* L = std::get_if<TFontLine>(&Item)) {
                    Points.push_back({L->EndPoint.X, L->EndPoint.Y});
                } else {
                    const auto& C = std::get<TFontSpline>(Item);
                    Points.push_back({C.ControlA.X, C.ControlA.Y});
                    Points.push_back({C.ControlB.X, C.ControlB.Y});
                    Points.push_back({C.EndPoint.X, C.EndPoint.Y});
                }
            }
        }
        for (TPDFDoublePoint& P : Points) {
            TransformPoint(TM, P, P);
            if (!std::isfinite(P.X) || !std::isfinite(P.Y))
                throw EInvalidOp("glyph outline maps outside the finite numbers");
        }
        size_t I = 0;
        for (size_t K = 0; K < Curves.Parts.size(); ++K) {
            Canvas->MoveTo(Points[I].X, Points[I].Y);
            ++I;
            for (const TFontCurveItem& Item : Curves.Parts[K]) {
                if (std::holds_alternative<TFontLine>(Item)) {
                    Canvas->AddLineToPath(Points[I].X, Points[I].Y);
                    ++I;
                } else {
                    Canvas->AddBezierToPath(Points[I].X, Points[I].Y, Points[I + 1].X,
                                            Points[I + 1].Y, Points[I + 2].X, Points[I + 2].Y);
                    I += 3;
                }
            }
            Canvas->ClosePath();
        }
    }
    return Code > 0;
}

void TPDFSimpleTrueTypeRasterizer::ReleaseDirectFont() {
    if (DirectFontHandle && DirectFontGDIPlus && DirectFontGDIPlus->GdipDeleteFont)
        DirectFontGDIPlus->GdipDeleteFont(DirectFontHandle);
    DirectFontHandle = nullptr;
    DirectFontGDIPlus = nullptr;
    if (DirectFontDC) DeleteDC(DirectFontDC);
    DirectFontDC = nullptr;
    if (FDirectFontObject) DeleteObject(FDirectFontObject);
    FDirectFontObject = nullptr;
}

void TPDFSimpleTrueTypeRasterizer::SetupDirectFont(TPDFGenericCanvas* Canvas) {
    TPDFFontRasterizer::SetupDirectFont(Canvas);
    auto* Direct = dynamic_cast<TPDFDirectFontCanvas*>(Canvas);
    TKVPLGDIPlus* GDIPlus = Direct ? Direct->DirectFontGDIPlus() : nullptr;
    if (!GDIPlus) return;
    ReleaseDirectFont();
    DirectFontGDIPlus = GDIPlus;
    DirectFontDC = CreateCompatibleDC(nullptr);
    // The font a 10×10 screen bitmap would hold: the em of 1000 screen pixels
    // the outlines use.
    FDirectFontObject = CreatePlatformFontObject(FFont, 1000);
    if (DirectFontDC && FDirectFontObject) SelectObject(DirectFontDC, FDirectFontObject);
    GpFont* Font = nullptr;
    if (GDIPlus->GdipCreateFontFromDC && DirectFontDC &&
        GDIPlus->GdipCreateFontFromDC(DirectFontDC, &Font) == gsOk && Font)
        DirectFontHandle = Font;
}

// ---------------------------------------------------------------------------

HFONT CreatePlatformFontObject(const platform::TPlatformFont& Font, int Pixels) {
    LOGFONTW L;
    L.lfHeight = -Pixels;
    L.lfWeight = Font.Bold ? FW_BOLD : FW_NORMAL;
    L.lfItalic = Font.Italic ? 1 : 0;
    L.lfCharSet = uint8_t(Font.CharSet);
    // The family is UTF-8; the font object holds UTF-16.
    L.lfFaceName = UTF8ToWide(Font.Family);
    return CreateFontIndirectW(L);
}

TPDFPlatformInstalledFont::TPDFPlatformInstalledFont(const platform::TPlatformFont& Font)
    : FFont(Font) {
    FDC = CreateCompatibleDC(nullptr);
    Select();
}

TPDFPlatformInstalledFont::~TPDFPlatformInstalledFont() {
    if (FDC) DeleteDC(FDC);
    if (FObject) DeleteObject(FObject);
}

void TPDFPlatformInstalledFont::Select() {
    if (!FDC) return;
    HFONT New = CreatePlatformFontObject(FFont, FFont.Size);
    if (!New) return;
    SelectObject(FDC, New);
    if (FObject) DeleteObject(FObject);
    FObject = New;
}

uint32_t TPDFPlatformInstalledFont::CollectionSize() {
    return platform::GetFontData(FDC, platform::TTCF_TAG, 0, nullptr, 0);
}

uint32_t TPDFPlatformInstalledFont::FaceDataSize() {
    return platform::GetFontData(FDC, 0, 0, nullptr, 0);
}

std::shared_ptr<const std::string> TPDFPlatformInstalledFont::FaceData() {
    platform::TResolvedFont R;
    if (!platform::ResolvePlatformFont(FFont, R)) return nullptr;
    return platform::GetFaceData(R.File, R.FaceIndex);
}

std::shared_ptr<const TPDFTrueTypeParser> TPDFPlatformInstalledFont::ParsedFace(
    uint32_t TableOffset) {
    platform::TResolvedFont R;
    if (!platform::ResolvePlatformFont(FFont, R)) return nullptr;
    return InstalledFace(R.File, R.FaceIndex, TableOffset);
}

void TPDFPlatformInstalledFont::SetName(const std::u16string& Name) {
    FFont.Family = WideToUTF8(Name);
    Select();
}

}  // namespace velmo
