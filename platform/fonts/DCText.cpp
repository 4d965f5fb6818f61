// Text on device contexts over FreeType. A font object resolves (through the
// catalogue's configuration and its alias rules) to an installed face; the
// face, its scaled metrics, the fallback face of each Unicode block it lacks,
// glyph advances and rendered grey glyphs are cached, each cache bounded.
// Everything FreeType touches runs under one lock; drawing then happens in
// the DC layer's own lock with glyphs that stay alive through shared
// pointers, so evicting a cache never frees a glyph being drawn.
#include "platform/fonts/DCText.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/fonts/PlatformFonts.h"
#include "platform/text/AnsiCodePage.h"
#include "platform/text/Utf8.h"

namespace velmo {

namespace {

// The face of a font object without a face name (the stock system font).
constexpr char kDefaultFamily[] = "\xE5\xAE\x8B\xE4\xBD\x93";  // 宋体
// Em heights beyond this are drawn at this size: a glyph bitmap stays
// within a few megabytes whatever a caller asks for.
constexpr int kMaxEmPixels = 2048;
constexpr size_t kMaxFonts = 64;
constexpr size_t kMaxAdvances = 1 << 16;
constexpr size_t kMaxGlyphBytes = size_t(16) << 20;
constexpr size_t kMaxFallbackRequests = 64;
constexpr size_t kMaxSingles = 4096;
// Units of one DrawTextW call (longer text is cut there).
constexpr int kMaxDrawTextUnits = 1 << 20;

struct TFace {
    std::shared_ptr<const platform::TMappedFontFile> File;
    FT_Face Face = nullptr;
    FT_CharMap Unicode = nullptr;
    FT_CharMap Symbol = nullptr;
    int Id = 0;
    // The face's own metrics in font units.
    int Upem = 1000;
    int WinAscent = 0, WinDescent = 0, LineGap = 0;
    int AvgWidth = 0, MaxAdvance = 0;
    int UnderlinePos = 0, UnderlineThick = 0, StrikePos = 0, StrikeThick = 0;
    std::string Family;
    int32_t Weight = FW_NORMAL;
};

// A face at one size and style.
struct TFaceRef {
    TFace* Face = nullptr;
    bool SynBold = false;
    bool SynOblique = false;
};

struct TFont {
    platform::TPlatformFont Request;
    TFaceRef Primary;
    FT_F26Dot6 Em = 16 * 64;  // em height in 1/64 pixels
    // The em's width: the height unless the font object asks for another
    // average character width, which stretches or narrows every glyph.
    FT_F26Dot6 EmX = 16 * 64;
    int Ascent = 0, Descent = 0, Internal = 0, External = 0;
    int AveWidth = 0, MaxWidth = 0;
    int UnderlinePos = 0, UnderlineThick = 1, StrikePos = 0, StrikeThick = 1;
    int32_t Weight = FW_NORMAL;
    bool Italic = false, Underline = false, StrikeOut = false;
    uint8_t CharSet = 1;
    std::u16string FaceName;
};

// A font request without its size: what fallback faces depend on.
using TRequestKey = std::tuple<std::string, bool, bool, int>;

struct TGlyph {
    int Left = 0, Top = 0, Width = 0, Height = 0;  // Top: rows above the baseline
    std::vector<uint8_t> Alpha;
};

using TGlyphKey = std::tuple<int, FT_F26Dot6, FT_F26Dot6, bool, bool, uint32_t>;

// A glyph's advance and the horizontal extent of its ink from the pen.
struct TGlyphMetrics {
    int Advance = 0;
    int InkLeft = 0, InkRight = 0;  // equal: no ink
};

struct TEngine {
    std::mutex Lock;
    FT_Library Library = nullptr;
    std::map<std::pair<std::string, int>, std::unique_ptr<TFace>> Faces;
    std::map<std::tuple<std::string, bool, bool, int, int32_t, int32_t>, std::unique_ptr<TFont>> Fonts;
    std::map<TGlyphKey, TGlyphMetrics> Advances;
    std::map<TGlyphKey, std::shared_ptr<const TGlyph>> Glyphs;
    size_t GlyphBytes = 0;
    // The face each Unicode block of a request falls back to (none: no face
    // has the block's first character asked for), and the faces of single
    // characters that the block's face lacks.
    std::map<TRequestKey, std::map<uint32_t, TFaceRef>> Blocks;
    std::map<std::pair<TRequestKey, char32_t>, TFaceRef> Singles;
    int NextFaceId = 1;
};

TEngine& Engine() {
    // Never destroyed: glyphs may be in use while the process ends.
    static TEngine* E = [] {
        auto* N = new TEngine;
        if (FT_Init_FreeType(&N->Library) != 0) N->Library = nullptr;
        return N;
    }();
    return *E;
}

int Round(double V) { return int(std::lround(V)); }

TFace* OpenFace(TEngine& E, const std::string& File, int Index) {
    auto Key = std::make_pair(File, Index);
    if (auto It = E.Faces.find(Key); It != E.Faces.end()) return It->second.get();
    if (!E.Library) return nullptr;
    auto F = std::make_unique<TFace>();
    F->File = platform::MapFontFile(File);
    if (!F->File ||
        FT_New_Memory_Face(E.Library, F->File->Data, FT_Long(F->File->Size), FT_Long(Index), &F->Face) != 0)
        return nullptr;
    FT_Face Ft = F->Face;
    if (!FT_IS_SCALABLE(Ft) || Ft->units_per_EM == 0) {
        FT_Done_Face(Ft);
        return nullptr;
    }
    for (int I = 0; I < Ft->num_charmaps; ++I) {
        FT_CharMap M = Ft->charmaps[I];
        if (M->encoding == FT_ENCODING_UNICODE && !F->Unicode) F->Unicode = M;
        if (M->encoding == FT_ENCODING_MS_SYMBOL && !F->Symbol) F->Symbol = M;
    }
    F->Id = E.NextFaceId++;
    F->Upem = Ft->units_per_EM;
    const auto* Os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(Ft, FT_SFNT_OS2));
    const auto* Hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(Ft, FT_SFNT_HHEA));
    if (Os2 && Os2->version != 0xFFFF && Os2->usWinAscent + Os2->usWinDescent > 0) {
        F->WinAscent = Os2->usWinAscent;
        F->WinDescent = Os2->usWinDescent;
        F->AvgWidth = std::max<int>(0, Os2->xAvgCharWidth);
        F->StrikePos = Os2->yStrikeoutPosition;
        F->StrikeThick = Os2->yStrikeoutSize;
        F->Weight = Os2->usWeightClass;
    } else {
        F->WinAscent = std::max<int>(0, Ft->ascender);
        F->WinDescent = std::max<int>(0, -Ft->descender);
    }
    if (F->WinAscent + F->WinDescent <= 0) {
        F->WinAscent = F->Upem * 4 / 5;
        F->WinDescent = F->Upem - F->WinAscent;
    }
    if (Hhea)
        F->LineGap = std::max(0, int(Hhea->Ascender) - int(Hhea->Descender) + int(Hhea->Line_Gap) -
                                     (F->WinAscent + F->WinDescent));
    if (F->StrikePos <= 0) F->StrikePos = F->WinAscent / 3;
    if (F->StrikeThick <= 0) F->StrikeThick = F->Upem / 20;
    F->MaxAdvance = Ft->max_advance_width;
    F->UnderlinePos = Ft->underline_position ? Ft->underline_position : -F->Upem / 10;
    F->UnderlineThick = Ft->underline_thickness > 0 ? Ft->underline_thickness : F->Upem / 20;
    if (Ft->family_name) F->Family = Ft->family_name;
    TFace* Out = F.get();
    E.Faces.emplace(std::move(Key), std::move(F));
    return Out;
}

TFaceRef OpenResolved(TEngine& E, const platform::TResolvedFont& R) {
    TFaceRef Ref;
    Ref.Face = OpenFace(E, R.File, R.FaceIndex);
    Ref.SynBold = R.SyntheticBold;
    Ref.SynOblique = R.SyntheticOblique;
    return Ref;
}

bool SameName(const std::string& A, const std::string& B) {
    if (A.size() != B.size()) return false;
    for (size_t I = 0; I < A.size(); ++I)
        if (std::tolower(static_cast<unsigned char>(A[I])) != std::tolower(static_cast<unsigned char>(B[I])))
            return false;
    return true;
}

// The font object selected into Dc, resolved and scaled; null when Dc holds
// no font or no installed face answers it. Under the engine's lock.
TFont* FontOf(TEngine& E, HDC Dc) {
    LOGFONTW L;
    if (!GetFontObject(GetCurrentObject(Dc, OBJ_FONT), L)) return nullptr;
    platform::TPlatformFont P;
    P.Family = L.lfFaceName.empty() ? std::string(kDefaultFamily) : Utf16ToUtf8(L.lfFaceName);
    P.Bold = L.lfWeight >= FW_SEMIBOLD;
    P.Italic = L.lfItalic != 0;
    P.CharSet = L.lfCharSet;
    const int32_t Height = std::clamp<int32_t>(L.lfHeight, -kMaxEmPixels * 2, kMaxEmPixels * 2);
    // A negative width counts as its size; 0 keeps the face's proportions.
    const int32_t Width = int32_t(std::min<int64_t>(std::abs(int64_t(L.lfWidth)), kMaxEmPixels));
    auto Key = std::make_tuple(P.Family, P.Bold, P.Italic, P.CharSet, Height, Width);
    auto It = E.Fonts.find(Key);
    if (It == E.Fonts.end()) {
        platform::TResolvedFont R;
        if (!platform::ResolvePlatformFont(P, R)) return nullptr;
        TFaceRef Primary = OpenResolved(E, R);
        if (!Primary.Face) return nullptr;
        if (E.Fonts.size() >= kMaxFonts) E.Fonts.clear();
        auto F = std::make_unique<TFont>();
        F->Request = P;
        F->Primary = Primary;
        const TFace& Fc = *Primary.Face;
        const double Cell = Fc.WinAscent + Fc.WinDescent;
        double Em;
        if (Height > 0) {
            // A cell height: the em is what makes ascent plus descent that tall.
            Em = Height * Fc.Upem / Cell;
            F->Ascent = Round(Height * Fc.WinAscent / Cell);
            F->Descent = Height - F->Ascent;
        } else {
            Em = Height == 0 ? 16 : -Height;
            F->Ascent = Round(Fc.WinAscent * Em / Fc.Upem);
            F->Descent = Round(Fc.WinDescent * Em / Fc.Upem);
        }
        Em = std::clamp(Em, 1.0, double(kMaxEmPixels));
        const double S = Em / Fc.Upem;
        F->Em = FT_F26Dot6(std::lround(Em * 64));
        F->Internal = std::max(0, F->Ascent + F->Descent - Round(Em));
        F->External = Round(Fc.LineGap * S);
        // The em's width that gives the asked average character width (a
        // face without one is taken as half an em wide on average).
        double EmX = Em;
        if (Width > 0) EmX = std::clamp(Width * double(Fc.Upem) / (Fc.AvgWidth > 0 ? Fc.AvgWidth : Fc.Upem / 2.0),
                                        1.0, double(kMaxEmPixels));
        const double Sx = EmX / Fc.Upem;
        F->EmX = FT_F26Dot6(std::lround(EmX * 64));
        F->AveWidth = Width > 0 ? Width : std::max(1, Round(Fc.AvgWidth * Sx));
        F->MaxWidth = std::max(F->AveWidth, Round(Fc.MaxAdvance * Sx));
        F->UnderlinePos = -Round(Fc.UnderlinePos * S);
        F->UnderlineThick = std::max(1, Round(Fc.UnderlineThick * S));
        F->StrikePos = Round(Fc.StrikePos * S);
        F->StrikeThick = std::max(1, Round(Fc.StrikeThick * S));
        F->Weight = L.lfWeight > 0 ? L.lfWeight : FW_NORMAL;
        F->Italic = P.Italic;
        F->CharSet = L.lfCharSet;
        // The requested name when that face is installed, else the one that
        // stands in for it (FreeType gives face names in ASCII).
        if (!L.lfFaceName.empty() && SameName(P.Family, Fc.Family)) {
            F->FaceName = L.lfFaceName;
        } else {
            for (unsigned char C : Fc.Family) F->FaceName.push_back(char16_t(C < 0x80 ? C : u'?'));
        }
        It = E.Fonts.emplace(std::move(Key), std::move(F)).first;
    }
    TFont* F = It->second.get();
    F->Underline = L.lfUnderline != 0;
    F->StrikeOut = L.lfStrikeOut != 0;
    return F;
}

uint32_t GlyphIn(const TFace& F, char32_t C) {
    FT_Face Ft = F.Face;
    if (F.Unicode) {
        FT_Set_Charmap(Ft, F.Unicode);
        if (uint32_t G = FT_Get_Char_Index(Ft, C)) return G;
    }
    if (F.Symbol && C < 0x100) {
        FT_Set_Charmap(Ft, F.Symbol);
        if (uint32_t G = FT_Get_Char_Index(Ft, 0xF000 + C)) return G;
        return FT_Get_Char_Index(Ft, C);
    }
    return 0;
}

// The face and glyph index a character is drawn with: the font's own face,
// else the fallback face of the character's block, else the face's missing
// glyph.
std::pair<TFaceRef, uint32_t> MapChar(TEngine& E, TFont& F, char32_t C) {
    if (uint32_t G = GlyphIn(*F.Primary.Face, C)) return {F.Primary, G};
    if (C < 0x20 || (C >= 0x7F && C < 0xA0)) return {F.Primary, 0};
    const TRequestKey Key{F.Request.Family, F.Request.Bold, F.Request.Italic, F.Request.CharSet};
    auto Look = [&](TFaceRef& Slot) {
        platform::TResolvedFont R;
        if (platform::ResolvePlatformFontFor(F.Request, C, R)) Slot = OpenResolved(E, R);
    };
    if (E.Blocks.size() >= kMaxFallbackRequests && !E.Blocks.count(Key)) E.Blocks.clear();
    auto& Blocks = E.Blocks[Key];
    const uint32_t Block = uint32_t(C) >> 7;
    auto It = Blocks.find(Block);
    if (It == Blocks.end()) {
        TFaceRef Ref;
        Look(Ref);
        It = Blocks.emplace(Block, Ref).first;
    }
    if (It->second.Face)
        if (uint32_t G = GlyphIn(*It->second.Face, C)) return {It->second, G};
    // The block's face lacks this one: the character's own, remembered too.
    const auto Single = std::make_pair(Key, C);
    auto S = E.Singles.find(Single);
    if (S == E.Singles.end()) {
        if (E.Singles.size() >= kMaxSingles) E.Singles.clear();
        TFaceRef Ref;
        Look(Ref);
        S = E.Singles.emplace(Single, Ref).first;
    }
    if (S->second.Face)
        if (uint32_t G = GlyphIn(*S->second.Face, C)) return {S->second, G};
    return {F.Primary, 0};
}

bool LoadGlyph(const TFont& Font, const TFaceRef& R, uint32_t Glyph, bool Render) {
    FT_Face Ft = R.Face->Face;
    if (FT_Set_Char_Size(Ft, Font.EmX, Font.Em, 72, 72) != 0) return false;
    if (FT_Load_Glyph(Ft, Glyph, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) != 0) return false;
    FT_GlyphSlot S = Ft->glyph;
    if (S->format != FT_GLYPH_FORMAT_OUTLINE) return !Render;
    if (R.SynOblique) {
        FT_Matrix Shear{0x10000, 0x0366A, 0, 0x10000};
        FT_Outline_Transform(&S->outline, &Shear);
    }
    if (R.SynBold) {
        // Grown on both sides, then moved so the ink starts where it did.
        const FT_Pos Strength = std::max<FT_Pos>(Font.Em / 24, 32);
        FT_Outline_EmboldenXY(&S->outline, Strength, Strength / 2);
        FT_Outline_Translate(&S->outline, Strength / 2, 0);
        S->advance.x += Strength;
    }
    if (Render && FT_Render_Glyph(S, FT_RENDER_MODE_NORMAL) != 0) return false;
    return true;
}

TGlyphMetrics MetricsOf(TEngine& E, const TFont& Font, const TFaceRef& R, uint32_t Glyph) {
    const TGlyphKey Key{R.Face->Id, Font.Em, Font.EmX, R.SynBold, R.SynOblique, Glyph};
    if (auto It = E.Advances.find(Key); It != E.Advances.end()) return It->second;
    TGlyphMetrics A;
    if (LoadGlyph(Font, R, Glyph, false)) {
        FT_GlyphSlot S = R.Face->Face->glyph;
        A.Advance = int((S->advance.x + 32) >> 6);
        if (S->format == FT_GLYPH_FORMAT_OUTLINE && S->outline.n_points > 0) {
            // The pixels the rendered bitmap will span.
            FT_BBox Box;
            FT_Outline_Get_CBox(&S->outline, &Box);
            A.InkLeft = int(Box.xMin >> 6);
            A.InkRight = int((Box.xMax + 63) >> 6);
        }
    }
    if (E.Advances.size() >= kMaxAdvances) E.Advances.clear();
    E.Advances.emplace(Key, A);
    return A;
}

std::shared_ptr<const TGlyph> GlyphImage(TEngine& E, const TFont& Font, const TFaceRef& R, uint32_t Glyph) {
    const TGlyphKey Key{R.Face->Id, Font.Em, Font.EmX, R.SynBold, R.SynOblique, Glyph};
    if (auto It = E.Glyphs.find(Key); It != E.Glyphs.end()) return It->second;
    auto G = std::make_shared<TGlyph>();
    if (LoadGlyph(Font, R, Glyph, true)) {
        FT_GlyphSlot S = R.Face->Face->glyph;
        const FT_Bitmap& B = S->bitmap;
        if (B.pixel_mode == FT_PIXEL_MODE_GRAY && B.buffer && B.width > 0 && B.rows > 0) {
            G->Left = S->bitmap_left;
            G->Top = S->bitmap_top;
            G->Width = int(B.width);
            G->Height = int(B.rows);
            G->Alpha.resize(size_t(G->Width) * size_t(G->Height));
            const int Pitch = B.pitch;
            for (int Y = 0; Y < G->Height; ++Y) {
                const uint8_t* Row = Pitch >= 0 ? B.buffer + ptrdiff_t(Y) * Pitch
                                                : B.buffer + ptrdiff_t(G->Height - 1 - Y) * -Pitch;
                std::memcpy(&G->Alpha[size_t(Y) * size_t(G->Width)], Row, size_t(G->Width));
            }
        }
    }
    const size_t Bytes = G->Alpha.size() + sizeof(TGlyph) + 64;
    if (E.GlyphBytes + Bytes > kMaxGlyphBytes) {
        E.Glyphs.clear();
        E.GlyphBytes = 0;
    }
    if (Bytes <= kMaxGlyphBytes) {
        E.Glyphs.emplace(Key, G);
        E.GlyphBytes += Bytes;
    }
    return G;
}

// One character of a laid-out run.
struct TPlaced {
    int X = 0;        // pen position relative to the run's origin
    int Advance = 0;  // to the next character
    int InkLeft = 0, InkRight = 0;  // from X; equal: no ink
    std::shared_ptr<const TGlyph> Image;  // null when only measured
};

// A run of text shaped in the DC's font: metrics plus each unit's position.
struct TRun {
    int Ascent = 0, Descent = 0, Internal = 0, External = 0, AveWidth = 1;
    int UnderlinePos = 0, UnderlineThick = 1, StrikePos = 0, StrikeThick = 1;
    bool Underline = false, StrikeOut = false;
    int Width = 0;
    // The room the text takes with its ink: from -Overhang to Extent.
    int Overhang = 0, Extent = 0;
    std::vector<TPlaced> Chars;  // one per UTF-16 unit (the second unit of a pair has none)
};

void CopyMetrics(const TFont& F, TRun& R) {
    R.Ascent = F.Ascent;
    R.Descent = F.Descent;
    R.Internal = F.Internal;
    R.External = F.External;
    R.AveWidth = F.AveWidth;
    R.UnderlinePos = F.UnderlinePos;
    R.UnderlineThick = F.UnderlineThick;
    R.StrikePos = F.StrikePos;
    R.StrikeThick = F.StrikeThick;
    R.Underline = F.Underline;
    R.StrikeOut = F.StrikeOut;
}

void InkExtent(TRun& R) {
    int64_t Lo = 0, Hi = R.Width;
    for (const TPlaced& C : R.Chars)
        if (C.InkRight > C.InkLeft) {
            Lo = std::min<int64_t>(Lo, int64_t(C.X) + C.InkLeft);
            Hi = std::max<int64_t>(Hi, int64_t(C.X) + C.InkRight);
        }
    R.Overhang = int(std::min<int64_t>(-Lo, INT32_MAX / 4));
    R.Extent = int(std::min<int64_t>(Hi, INT32_MAX / 4));
}

// Shapes Text (Dx: explicit advances per unit). With Images the glyph
// bitmaps come too. False when Dc has no usable font.
bool Shape(HDC Dc, std::u16string_view Text, const int* Dx, bool Images, TRun& Out) {
    TEngine& E = Engine();
    std::lock_guard<std::mutex> Guard(E.Lock);
    TFont* F = FontOf(E, Dc);
    if (!F) return false;
    CopyMetrics(*F, Out);
    Out.Chars.assign(Text.size(), TPlaced{});
    int64_t X = 0;
    for (size_t I = 0; I < Text.size(); ++I) {
        char32_t C = Text[I];
        size_t Units = 1;
        if (C >= 0xD800 && C < 0xDC00 && I + 1 < Text.size() && Text[I + 1] >= 0xDC00 && Text[I + 1] < 0xE000) {
            C = 0x10000 + ((C - 0xD800) << 10) + (Text[I + 1] - 0xDC00);
            Units = 2;
        }
        auto [Ref, G] = MapChar(E, *F, C);
        TPlaced& P = Out.Chars[I];
        P.X = int(std::clamp<int64_t>(X, INT32_MIN / 2, INT32_MAX / 2));
        const TGlyphMetrics GM = C < 0x20 ? TGlyphMetrics{} : MetricsOf(E, *F, Ref, G);
        int A = GM.Advance;
        P.InkLeft = GM.InkLeft;
        P.InkRight = GM.InkRight;
        if (Dx) {
            A = Dx[I];
            if (Units == 2) A += Dx[I + 1];
        }
        P.Advance = A;
        if (Images && C >= 0x20) P.Image = GlyphImage(E, *F, Ref, G);
        X += A;
        if (Units == 2) {
            Out.Chars[I + 1].X = int(std::clamp<int64_t>(X, INT32_MIN / 2, INT32_MAX / 2));
            ++I;
        }
    }
    Out.Width = int(std::clamp<int64_t>(X, 0, INT32_MAX / 2));
    InkExtent(Out);
    return true;
}

struct TBox {
    int64_t L, T, R, B;
    bool Empty() const { return L >= R || T >= B; }
    TBox And(const TBox& O) const {
        return {std::max(L, O.L), std::max(T, O.T), std::min(R, O.R), std::min(B, O.B)};
    }
};

// What one drawing call puts into the target, in device-origin-shifted
// (bitmap) pixels.
struct TPaint {
    int64_t OriginX = 0, Baseline = 0;  // bitmap pixels
    const TRun* Run = nullptr;
    std::vector<bool> Hidden;            // units whose glyph is not drawn
    std::vector<std::pair<int, int>> Lines;  // extra underlines: [from, to) units
    bool Opaque = false;                 // fill the text cell with Back
    bool FillRect = false;               // fill Fill with Back
    TBox Fill{0, 0, 0, 0};
    bool Clipped = false;
    TBox Clip{0, 0, 0, 0};
    COLORREF Text = 0, Back = 0xFFFFFF;
    std::shared_ptr<TDcRecorder> Recorder;
};

void Blend(TBitmap& B, const std::vector<TBox>& Areas, const TBox& Box, const uint8_t* Alpha, int Stride,
           COLORREF Color, TBox& Touched) {
    const uint8_t Rc = Color & 0xFF, Gc = (Color >> 8) & 0xFF, Bc = (Color >> 16) & 0xFF;
    const int Bpp = B.BitsPerPixel();
    for (const TBox& A : Areas) {
        const TBox I = Box.And(A);
        if (I.Empty()) continue;
        Touched = Touched.Empty() ? I
                                  : TBox{std::min(Touched.L, I.L), std::min(Touched.T, I.T),
                                         std::max(Touched.R, I.R), std::max(Touched.B, I.B)};
        for (int64_t Y = I.T; Y < I.B; ++Y) {
            uint8_t* Row = B.ScanLine(int(Y));
            const uint8_t* Src = Alpha ? Alpha + (Y - Box.T) * Stride - Box.L : nullptr;
            for (int64_t X = I.L; X < I.R; ++X) {
                const unsigned Av = Src ? Src[X] : 255;
                if (!Av) continue;
                if (Bpp == 24 || Bpp == 32) {
                    uint8_t* P = Row + X * (Bpp / 8);
                    auto Mix = [&](uint8_t D, uint8_t S) { return uint8_t((S * Av + D * (255 - Av) + 127) / 255); };
                    P[0] = Mix(P[0], Bc);
                    P[1] = Mix(P[1], Gc);
                    P[2] = Mix(P[2], Rc);
                } else if (Av >= 128) {
                    B.SetPixel(int(X), int(Y), TColor(Color & 0xFFFFFF));
                }
            }
        }
    }
}

void PaintRun(TBitmap& B, const pixman_region32* Clip, const TPaint& P) {
    std::vector<TBox> Areas;
    const TBox Whole{0, 0, B.Width(), B.Height()};
    if (Clip) {
        int N = 0;
        const pixman_box32_t* R = pixman_region32_rectangles(const_cast<pixman_region32*>(Clip), &N);
        for (int I = 0; I < N; ++I) {
            TBox A = TBox{R[I].x1, R[I].y1, R[I].x2, R[I].y2}.And(Whole);
            if (P.Clipped) A = A.And(P.Clip);
            if (!A.Empty()) Areas.push_back(A);
        }
    } else {
        const TBox A = P.Clipped ? Whole.And(P.Clip) : Whole;
        if (!A.Empty()) Areas.push_back(A);
    }
    TBox Touched{0, 0, 0, 0};
    if (P.FillRect) Blend(B, Areas, P.Fill, nullptr, 0, P.Back, Touched);
    const TRun& R = *P.Run;
    const int64_t Top = P.Baseline - R.Ascent, Bottom = P.Baseline + R.Descent;
    if (P.Opaque && R.Width > 0) Blend(B, Areas, {P.OriginX, Top, P.OriginX + R.Width, Bottom}, nullptr, 0, P.Back, Touched);
    for (size_t I = 0; I < R.Chars.size(); ++I) {
        const TPlaced& C = R.Chars[I];
        if (!C.Image || C.Image->Alpha.empty() || (I < P.Hidden.size() && P.Hidden[I])) continue;
        const TGlyph& G = *C.Image;
        const int64_t X0 = P.OriginX + C.X + G.Left, Y0 = P.Baseline - G.Top;
        Blend(B, Areas, {X0, Y0, X0 + G.Width, Y0 + G.Height}, G.Alpha.data(), G.Width, P.Text, Touched);
    }
    auto Line = [&](int64_t From, int64_t To, int64_t Y, int Thick) {
        if (To > From) Blend(B, Areas, {From, Y, To, Y + Thick}, nullptr, 0, P.Text, Touched);
    };
    if (R.Underline) Line(P.OriginX, P.OriginX + R.Width, P.Baseline + R.UnderlinePos, R.UnderlineThick);
    if (R.StrikeOut) Line(P.OriginX, P.OriginX + R.Width, P.Baseline - R.StrikePos, R.StrikeThick);
    for (auto [From, To] : P.Lines) {
        if (From < 0 || To > int(R.Chars.size()) || From >= To) continue;
        const int64_t X0 = P.OriginX + R.Chars[size_t(From)].X;
        const int64_t X1 = To < int(R.Chars.size()) ? P.OriginX + R.Chars[size_t(To)].X : P.OriginX + R.Width;
        Line(X0, X1, P.Baseline + R.UnderlinePos, R.UnderlineThick);
    }
    if (P.Recorder && !Touched.Empty())
        P.Recorder->PixelsChanged(B, RECT{int(Touched.L), int(Touched.T), int(Touched.R), int(Touched.B)});
}

// Logical to bitmap pixels.
bool ShiftOf(HDC Dc, int64_t& Dx, int64_t& Dy) {
    POINT View, Org;
    if (!GetViewportOrgEx(Dc, &View) || !GetDeviceOrigin(Dc, &Org)) return false;
    Dx = int64_t(View.x) + Org.x;
    Dy = int64_t(View.y) + Org.y;
    return true;
}

// Draws a shaped run with its left end at X and its baseline at Baseline
// (logical pixels).
bool DrawRun(HDC Dc, int64_t X, int64_t Baseline, const TRun& Run, const RECT* ClipRect, const RECT* OpaqueRect,
             const std::vector<bool>& Hidden, const std::vector<std::pair<int, int>>& Lines) {
    TPaint P;
    int64_t Dx = 0, Dy = 0;
    if (!ShiftOf(Dc, Dx, Dy)) return false;
    P.OriginX = X + Dx;
    P.Baseline = Baseline + Dy;
    P.Run = &Run;
    P.Hidden = Hidden;
    P.Lines = Lines;
    P.Text = GetTextColor(Dc);
    P.Back = GetBkColor(Dc);
    P.Opaque = GetBkMode(Dc) == OPAQUE;
    if (OpaqueRect) {
        P.FillRect = true;
        P.Fill = {OpaqueRect->left + Dx, OpaqueRect->top + Dy, OpaqueRect->right + Dx, OpaqueRect->bottom + Dy};
    }
    if (ClipRect) {
        P.Clipped = true;
        P.Clip = {ClipRect->left + Dx, ClipRect->top + Dy, ClipRect->right + Dx, ClipRect->bottom + Dy};
    }
    P.Recorder = GetDcRecorder(Dc);
    return WithDcTarget(Dc, [&](TBitmap& B, const pixman_region32* Clip) { PaintRun(B, Clip, P); });
}

size_t Length(const char16_t* T, int Count, size_t Cap) {
    if (!T) return 0;
    if (Count >= 0) return std::min<size_t>(size_t(Count), Cap);
    size_t N = 0;
    while (N < Cap && T[N]) ++N;
    return N;
}

size_t Length(const char* T, int Count, size_t Cap) {
    if (!T) return 0;
    if (Count >= 0) return std::min<size_t>(size_t(Count), Cap);
    size_t N = 0;
    while (N < Cap && T[N]) ++N;
    return N;
}

// ---------------------------------------------------------------------------
// Formatted text.

struct TLine {
    std::u16string Text;
    std::vector<int> Marks;  // units underlined as prefixed (mnemonic) characters
    int Width = 0;
};

struct TFormatter {
    HDC Dc;
    UINT Format;
    int TabWidth = 8;
    int AveWidth = 1;

    // Width of S with tabs expanded from its start when asked for.
    bool Measure(std::u16string_view S, TRun& Run) {
        if (!Shape(Dc, S, nullptr, false, Run)) return false;
        if (Format & DT_EXPANDTABS) ExpandTabs(S, Run);
        return true;
    }
    void ExpandTabs(std::u16string_view S, TRun& Run) const {
        const int Stop = std::max(1, TabWidth);
        int64_t X = 0;
        for (size_t I = 0; I < S.size(); ++I) {
            Run.Chars[I].X = int(std::min<int64_t>(X, INT32_MAX / 2));
            if (S[I] == u'\t') Run.Chars[I].Advance = int((X / Stop + 1) * Stop - X);
            X += Run.Chars[I].Advance;
        }
        Run.Width = int(std::clamp<int64_t>(X, 0, INT32_MAX / 2));
        InkExtent(Run);
    }
    // The room S takes, its ink included, so drawn text never leaves the
    // rectangle it was measured into.
    int Width(std::u16string_view S) {
        TRun R;
        return Measure(S, R) ? R.Overhang + R.Extent : 0;
    }
};

bool IsWide(char16_t C) {
    return (C >= 0x1100 && C <= 0x115F) || (C >= 0x2E80 && C <= 0xA4CF) || (C >= 0xAC00 && C <= 0xD7A3) ||
           (C >= 0xF900 && C <= 0xFAFF) || (C >= 0xFE30 && C <= 0xFE4F) || (C >= 0xFF00 && C <= 0xFF60) ||
           (C >= 0xFFE0 && C <= 0xFFE6);
}

bool IsSpace(char16_t C) { return C == u' ' || C == u'\t'; }

// Whether cutting S before unit K would part a surrogate pair (a lone
// surrogate is a character of its own).
bool SplitsPair(std::u16string_view S, size_t K) {
    return K > 0 && K < S.size() && S[K - 1] >= 0xD800 && S[K - 1] < 0xDC00 && S[K] >= 0xDC00 && S[K] < 0xE000;
}

// Removes "&" prefixes: "&&" is one "&", "&x" marks x.
void StripPrefixes(std::u16string& S, std::vector<int>& Marks, bool Mark) {
    std::u16string Out;
    Out.reserve(S.size());
    for (size_t I = 0; I < S.size(); ++I) {
        if (S[I] != u'&') {
            Out.push_back(S[I]);
            continue;
        }
        if (I + 1 == S.size()) break;  // a lone trailing "&" shows nothing
        ++I;
        if (S[I] != u'&' && Mark) Marks.push_back(int(Out.size()));
        Out.push_back(S[I]);
    }
    S = std::move(Out);
}

// Breaks a paragraph into lines no wider than Max where it can: after
// blanks, and between wide (CJK) characters. A piece without a break that
// is still too wide is cut between characters unless an ellipsis will
// shorten it.
void BreakParagraph(TFormatter& F, const TLine& Para, int Max, bool CutWords, std::vector<TLine>& Out) {
    size_t Start = 0;
    const std::u16string& S = Para.Text;
    auto Emit = [&](size_t From, size_t To) {
        TLine L;
        size_t End = To;
        while (End > From && IsSpace(S[End - 1])) --End;  // trailing blanks take no room
        L.Text = S.substr(From, End - From);
        for (int M : Para.Marks)
            if (size_t(M) >= From && size_t(M) < End) L.Marks.push_back(int(size_t(M) - From));
        L.Width = F.Width(L.Text);
        Out.push_back(std::move(L));
    };
    if (S.empty()) {
        Out.push_back(Para);
        return;
    }
    // Shaped once; each line then walks only its own characters.
    TRun Run;
    if (!Shape(F.Dc, S, nullptr, false, Run)) return;
    const int Stop = std::max(1, F.TabWidth);
    while (Start < S.size()) {
        // The last break opportunity whose line still fits.
        size_t Fit = 0, Break = 0;
        int64_t X = 0, Shift = 0, Reach = 0;  // Reach: the furthest right of pen or ink so far
        bool Whole = true;
        for (size_t I = Start; I < S.size(); ++I) {
            const TPlaced& Pc = Run.Chars[I];
            const bool Tab = S[I] == u'\t' && (F.Format & DT_EXPANDTABS);
            const int64_t Advance = Tab ? (X / Stop + 1) * Stop - X : Pc.Advance;
            const bool Ink = !Tab && Pc.InkRight > Pc.InkLeft;
            if (Ink) Shift = std::max(Shift, -(X + Pc.InkLeft));
            const int64_t Right = std::max(Reach, X + (Ink ? std::max<int64_t>(Advance, Pc.InkRight) : Advance));
            const bool Blank = IsSpace(S[I]);
            if (Shift + Right > Max && !Blank) {
                Whole = false;
                break;
            }
            if (!Blank) Reach = Right;
            X += Advance;
            Fit = I + 1 - Start;
            const bool Opportunity =
                Blank || (!(F.Format & DT_NOFULLWIDTHCHARBREAK) &&
                          (IsWide(S[I]) || (I + 1 < S.size() && IsWide(S[I + 1]))));
            if (Opportunity) Break = Fit;
        }
        if (Whole) {
            Emit(Start, S.size());
            return;
        }
        const std::u16string_view Rest(S.data() + Start, S.size() - Start);
        if (Break == 0) {
            if (CutWords) {
                Break = std::max<size_t>(Fit, 1);
                if (SplitsPair(Rest, Break)) ++Break;
            } else {
                // The whole word on its own line.
                Break = 1;
                while (Break < Rest.size() && !IsSpace(Rest[Break])) ++Break;
            }
        }
        while (Break < Rest.size() && IsSpace(Rest[Break])) ++Break;  // blanks end the line
        Emit(Start, Start + Break);
        Start += Break;
    }
}

// Shortens a line wider than Max with "...": at its end, or for a path
// before its last component.
void Ellipsis(TFormatter& F, TLine& L, int Max) {
    if (L.Width <= Max) return;
    static const std::u16string Dots = u"...";
    auto Fits = [&](const std::u16string& T) { return F.Width(T) <= Max; };
    auto Trim = [&](const std::u16string& Head, const std::u16string& Tail) {
        // The longest start of Head that fits followed by Tail: estimated
        // from the pen positions of one shaping, then checked for real
        // (the ink of the last kept character may reach a little further).
        TRun Run;
        if (!F.Measure(Head, Run)) return size_t(0);
        const int64_t After = F.Width(Dots + Tail);
        size_t Lo = 0;
        for (size_t Mid = Head.size(); Mid > 0; --Mid) {
            const int64_t Pen = Mid < Head.size() ? Run.Chars[Mid].X : Run.Width;
            if (Run.Overhang + Pen + After <= Max) {
                Lo = Mid;
                break;
            }
        }
        while (Lo > 0 && (SplitsPair(Head, Lo) || !Fits(Head.substr(0, Lo) + Dots + Tail))) --Lo;
        return Lo;
    };
    std::u16string Out;
    size_t Kept = 0;
    if (F.Format & DT_PATH_ELLIPSIS) {
        const size_t Slash = L.Text.find_last_of(u"\\/");
        if (Slash != std::u16string::npos && Slash > 0) {
            const std::u16string Head = L.Text.substr(0, Slash), Tail = L.Text.substr(Slash);
            if (Fits(Dots + Tail)) {
                Kept = Trim(Head, Tail);
                Out = Head.substr(0, Kept) + Dots + Tail;
                std::vector<int> Marks;
                for (int M : L.Marks) {
                    if (size_t(M) < Kept) Marks.push_back(M);
                    else if (size_t(M) >= Slash) Marks.push_back(int(size_t(M) - Slash + Kept + Dots.size()));
                }
                L.Marks = std::move(Marks);
                L.Text = std::move(Out);
                L.Width = F.Width(L.Text);
                return;
            }
        }
    }
    Kept = Trim(L.Text, u"");
    if (F.Format & DT_WORD_ELLIPSIS) {
        // Cut at the start of the word that does not fit when one came before.
        size_t W = Kept;
        while (W > 0 && !IsSpace(L.Text[W - 1])) --W;
        if (W > 0) {
            Kept = W;
            while (Kept > 0 && IsSpace(L.Text[Kept - 1])) --Kept;
        }
    }
    L.Text = L.Text.substr(0, Kept) + Dots;
    L.Marks.erase(std::remove_if(L.Marks.begin(), L.Marks.end(), [&](int M) { return size_t(M) >= Kept; }),
                  L.Marks.end());
    L.Width = F.Width(L.Text);
}

// DrawTextW's body. Modified receives the shortened text of a line that got
// an ellipsis (for DT_MODIFYSTRING).
int FormatText(HDC Dc, std::u16string_view Text, RECT* Rect, UINT Format, std::u16string* Modified) {
    if (!Rect) return 0;
    TFormatter F{Dc, Format};
    TEXTMETRICW Tm;
    if (!GetTextMetricsW(Dc, &Tm)) return 0;
    F.AveWidth = std::max(1, Tm.tmAveCharWidth);
    if (Format & DT_TABSTOP) {
        // The tab length in characters sits where some flags would.
        const int Chars = int((Format >> 8) & 0xFF);
        F.TabWidth = (Chars ? Chars : 8) * F.AveWidth;
        Format &= ~UINT(0xFF00);
        Format |= DT_TABSTOP;
        F.Format = Format;
    } else {
        F.TabWidth = 8 * F.AveWidth;
    }
    const bool Prefix = !(Format & DT_NOPREFIX);
    const bool Single = Format & DT_SINGLELINE;
    const int64_t MaxW = std::max<int64_t>(0, int64_t(Rect->right) - Rect->left);
    const int Max = int(std::min<int64_t>(MaxW, INT32_MAX / 2));
    const bool Ellipses = Format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS);

    // Paragraphs.
    std::vector<TLine> Paras;
    {
        std::u16string Cur;
        for (size_t I = 0; I < Text.size(); ++I) {
            const char16_t C = Text[I];
            if (!Single && (C == u'\r' || C == u'\n')) {
                Paras.push_back({std::move(Cur), {}, 0});
                Cur.clear();
                if (C == u'\r' && I + 1 < Text.size() && Text[I + 1] == u'\n') ++I;
                continue;
            }
            Cur.push_back(C);
        }
        Paras.push_back({std::move(Cur), {}, 0});
    }
    bool AnyText = false;
    for (TLine& P : Paras) {
        if (Prefix) StripPrefixes(P.Text, P.Marks, !(Format & DT_HIDEPREFIX));
        AnyText = AnyText || !P.Text.empty();
    }
    if (!AnyText && Paras.size() == 1) {
        if (Format & DT_CALCRECT) {
            Rect->right = Rect->left;
            Rect->bottom = Rect->top;
        }
        return 0;
    }
    std::vector<TLine> Lines;
    for (TLine& P : Paras) {
        if ((Format & DT_WORDBREAK) && !Single) {
            BreakParagraph(F, P, Max, !Ellipses, Lines);
        } else {
            P.Width = F.Width(P.Text);
            Lines.push_back(std::move(P));
        }
    }
    bool Shortened = false;
    if (Ellipses)
        for (TLine& L : Lines)
            if (L.Width > Max) {
                Ellipsis(F, L, Max);
                if (!Shortened && Modified) *Modified = L.Text;
                Shortened = true;
            }
    const int LineH = std::max(1, Tm.tmHeight + ((Format & DT_EXTERNALLEADING) ? Tm.tmExternalLeading : 0));
    const int64_t Total = int64_t(LineH) * int64_t(Lines.size());
    int Widest = 0;
    for (const TLine& L : Lines) Widest = std::max(Widest, L.Width);
    int64_t Top = Rect->top;
    if (Single && (Format & DT_VCENTER)) Top = Rect->top + (int64_t(Rect->bottom) - Rect->top - LineH) / 2;
    else if (Single && (Format & DT_BOTTOM)) Top = int64_t(Rect->bottom) - LineH;
    const int Result = int(std::clamp<int64_t>(Top - Rect->top + Total, 0, INT32_MAX));
    if (Format & DT_CALCRECT) {
        Rect->right = int(std::clamp<int64_t>(int64_t(Rect->left) + Widest, INT32_MIN, INT32_MAX));
        Rect->bottom = int(std::clamp<int64_t>(int64_t(Rect->top) + Total, INT32_MIN, INT32_MAX));
        return int(std::min<int64_t>(Total, INT32_MAX));
    }
    const RECT* Clip = (Format & DT_NOCLIP) ? nullptr : Rect;
    int64_t Y = Top;
    for (const TLine& L : Lines) {
        if (Y > int64_t(Rect->bottom) && Clip) break;
        TRun Run;
        if (!Shape(Dc, L.Text, nullptr, true, Run)) return 0;
        if (Format & DT_EXPANDTABS) F.ExpandTabs(L.Text, Run);
        const int Room = Run.Overhang + Run.Extent;
        int64_t X = Rect->left;
        if (Format & DT_CENTER) X = Rect->left + (MaxW - Room) / 2;
        else if (Format & DT_RIGHT) X = int64_t(Rect->right) - Room;
        X += Run.Overhang;
        std::vector<bool> Hidden(L.Text.size(), bool(Format & DT_PREFIXONLY));
        for (size_t I = 0; I < L.Text.size(); ++I)
            if (L.Text[I] == u'\t') Hidden[I] = true;
        std::vector<std::pair<int, int>> Marks;
        for (int M : L.Marks) {
            int To = M + 1;
            if (SplitsPair(L.Text, size_t(To))) ++To;
            Marks.emplace_back(M, To);
        }
        // A prefix-only call draws no background either.
        const int Mode = GetBkMode(Dc);
        if (Format & DT_PREFIXONLY) SetBkMode(Dc, TRANSPARENT);
        DrawRun(Dc, X, Y + Run.Ascent, Run, Clip, nullptr, Hidden, Marks);
        if (Format & DT_PREFIXONLY) SetBkMode(Dc, Mode);
        Y += LineH;
    }
    return Result;
}

}  // namespace

BOOL ExtTextOutW(HDC Dc, int X, int Y, UINT Options, const RECT* Rect, const char16_t* Text, UINT Count,
                 const int* Dx) {
    const size_t N = Text ? std::min<size_t>(Count, kMaxDrawTextUnits) : 0;
    TRun Run;
    if (!Shape(Dc, std::u16string_view(Text ? Text : u"", N), Dx, true, Run)) return 0;
    const UINT Align = GetTextAlign(Dc);
    int64_t Left = X;
    if ((Align & TA_CENTER) == TA_CENTER) Left = X - Run.Width / 2;
    else if (Align & TA_RIGHT) Left = int64_t(X) - Run.Width;
    int64_t Base = int64_t(Y) + Run.Ascent;
    if ((Align & TA_BASELINE) == TA_BASELINE) Base = Y;
    else if (Align & TA_BOTTOM) Base = int64_t(Y) - Run.Descent;
    const RECT* Clip = (Rect && (Options & ETO_CLIPPED)) ? Rect : nullptr;
    const RECT* Fill = (Rect && (Options & ETO_OPAQUE)) ? Rect : nullptr;
    return DrawRun(Dc, Left, Base, Run, Clip, Fill, {}, {}) ? 1 : 0;
}

BOOL TextOutW(HDC Dc, int X, int Y, const char16_t* Text, int Count) {
    if (Count < 0) return 0;
    return ExtTextOutW(Dc, X, Y, 0, nullptr, Text, UINT(Count), nullptr);
}

BOOL TextOutA(HDC Dc, int X, int Y, const char* Text, int Count) {
    if (Count < 0) return 0;
    const std::u16string W = AnsiToWide(std::string_view(Text ? Text : "", Length(Text, Count, kMaxDrawTextUnits)));
    return ExtTextOutW(Dc, X, Y, 0, nullptr, W.c_str(), UINT(W.size()), nullptr);
}

BOOL GetTextExtentPoint32W(HDC Dc, const char16_t* Text, int Count, SIZE* Size) {
    if (!Size || Count < 0 || (!Text && Count > 0)) return 0;
    TRun Run;
    if (!Shape(Dc, std::u16string_view(Text ? Text : u"", std::min(Count, kMaxDrawTextUnits)), nullptr, false, Run))
        return 0;
    Size->cx = Run.Width;
    Size->cy = Run.Ascent + Run.Descent;
    return 1;
}

BOOL GetTextExtentPoint32A(HDC Dc, const char* Text, int Count, SIZE* Size) {
    if (!Size || Count < 0 || (!Text && Count > 0)) return 0;
    const std::u16string W = AnsiToWide(std::string_view(Text ? Text : "", Length(Text, Count, kMaxDrawTextUnits)));
    return GetTextExtentPoint32W(Dc, W.c_str(), int(W.size()), Size);
}

BOOL GetTextMetricsW(HDC Dc, TEXTMETRICW* M) {
    if (!M) return 0;
    TEngine& E = Engine();
    std::lock_guard<std::mutex> Guard(E.Lock);
    TFont* F = FontOf(E, Dc);
    if (!F) return 0;
    *M = TEXTMETRICW{};
    M->tmAscent = F->Ascent;
    M->tmDescent = F->Descent;
    M->tmHeight = F->Ascent + F->Descent;
    M->tmInternalLeading = F->Internal;
    M->tmExternalLeading = F->External;
    M->tmAveCharWidth = F->AveWidth;
    M->tmMaxCharWidth = F->MaxWidth;
    M->tmWeight = F->Weight;
    M->tmItalic = F->Italic;
    M->tmUnderlined = F->Underline;
    M->tmStruckOut = F->StrikeOut;
    M->tmCharSet = F->CharSet;
    // Variable pitch, TrueType.
    M->tmPitchAndFamily = 0x01 | 0x04;
    return 1;
}

int GetTextFaceW(HDC Dc, int Count, char16_t* Name) {
    TEngine& E = Engine();
    std::lock_guard<std::mutex> Guard(E.Lock);
    TFont* F = FontOf(E, Dc);
    if (!F) return 0;
    const int Full = int(F->FaceName.size()) + 1;
    if (!Name) return Full;
    if (Count <= 0) return 0;
    const int N = std::min(Count - 1, int(F->FaceName.size()));
    std::copy_n(F->FaceName.data(), N, Name);
    Name[N] = 0;
    return N;
}

bool GetTextFontFile(HDC Dc, char32_t Char, std::string& File, int& FaceIndex) {
    TEngine& E = Engine();
    std::lock_guard<std::mutex> Guard(E.Lock);
    TFont* F = FontOf(E, Dc);
    if (!F) return false;
    TFaceRef Ref = F->Primary;
    if (Char) {
        auto [R, G] = MapChar(E, *F, Char);
        if (!G) return false;
        Ref = R;
    }
    for (const auto& [Key, Face] : E.Faces)
        if (Face.get() == Ref.Face) {
            File = Key.first;
            FaceIndex = Key.second;
            return true;
        }
    return false;
}

int DrawTextW(HDC Dc, const char16_t* Text, int Count, RECT* Rect, UINT Format) {
    const size_t N = Length(Text, Count, kMaxDrawTextUnits);
    return FormatText(Dc, std::u16string_view(Text ? Text : u"", N), Rect, Format, nullptr);
}

int DrawTextW(HDC Dc, char16_t* Text, int Count, RECT* Rect, UINT Format) {
    const size_t N = Length(Text, Count, kMaxDrawTextUnits);
    std::u16string Modified;
    const bool Modify = Text && (Format & DT_MODIFYSTRING);
    const int R = FormatText(Dc, std::u16string_view(Text ? Text : u"", N), Rect, Format, Modify ? &Modified : nullptr);
    if (Modify && !Modified.empty()) {
        // Never beyond the units the caller gave.
        const size_t K = std::min(Modified.size(), N);
        std::copy_n(Modified.data(), K, Text);
        if (K < N) Text[K] = 0;
    }
    return R;
}

int DrawTextA(HDC Dc, const char* Text, int Count, RECT* Rect, UINT Format) {
    const size_t N = Length(Text, Count, kMaxDrawTextUnits);
    const std::u16string W = AnsiToWide(std::string_view(Text ? Text : "", N));
    return FormatText(Dc, W, Rect, Format, nullptr);
}

int DrawTextA(HDC Dc, char* Text, int Count, RECT* Rect, UINT Format) {
    const size_t N = Length(Text, Count, kMaxDrawTextUnits);
    const std::u16string W = AnsiToWide(std::string_view(Text ? Text : "", N));
    std::u16string Modified;
    const bool Modify = Text && (Format & DT_MODIFYSTRING);
    const int R = FormatText(Dc, W, Rect, Format, Modify ? &Modified : nullptr);
    if (Modify && !Modified.empty()) {
        const std::string A = WideToAnsi(Modified);
        const size_t K = std::min(A.size(), N);
        std::copy_n(A.data(), K, Text);
        if (K < N) Text[K] = 0;
    }
    return R;
}

}  // namespace velmo
