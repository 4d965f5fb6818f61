#include "platform/fonts/PlatformFonts.h"

#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <string_view>
#include <tuple>

#include "platform/fonts/CatalogConfig.h"
#include "platform/fonts/FontCatalog.h"
#include "platform/text/Utf8.h"

namespace velmo::platform {

namespace {

// Files this size or larger are refused: offsets in font files are 32-bit
// and the data calls count in 32 bits.
constexpr uint64_t kMaxFontFile = uint64_t(1) << 31;


uint32_t BE32(const uint8_t* P) {
    return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3];
}
uint16_t BE16(const uint8_t* P) { return uint16_t(P[0] << 8 | P[1]); }

bool IsSfntMagic(uint32_t M) {
    return M == 0x00010000 || M == 0x74727565 /* true */ || M == 0x4F54544F /* OTTO */;
}
constexpr uint32_t kTtcfMagic = 0x74746366;

// Offset of face FaceIndex's table directory in the file; false when the file
// is neither an sfnt font nor a collection, or has no such face.
bool FaceOffset(const TMappedFontFile& F, int FaceIndex, uint32_t& Offset, bool& Collection) {
    Collection = false;
    if (FaceIndex < 0 || F.Size < 12) return false;
    const uint32_t Magic = BE32(F.Data);
    if (Magic == kTtcfMagic) {
        Collection = true;
        const uint32_t Count = BE32(F.Data + 8);
        if (uint32_t(FaceIndex) >= Count) return false;
        const uint64_t At = 12 + uint64_t(FaceIndex) * 4;
        if (At + 4 > F.Size) return false;
        Offset = BE32(F.Data + At);
        return uint64_t(Offset) + 12 <= F.Size && IsSfntMagic(BE32(F.Data + Offset));
    }
    if (!IsSfntMagic(Magic) || FaceIndex != 0) return false;
    Offset = 0;
    return true;
}

struct TFileKey {
    std::string File;
    int64_t Size = 0;
    int64_t MTime = 0;
    int64_t MTimeNs = 0;
    auto Tie() const { return std::tie(File, Size, MTime, MTimeNs); }
    bool operator<(const TFileKey& O) const { return Tie() < O.Tie(); }
};

bool StatFile(const std::string& File, TFileKey& Key) {
    struct stat St;
    if (::stat(File.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) return false;
    Key.File = File;
    Key.Size = St.st_size;
    Key.MTime = St.st_mtim.tv_sec;
    Key.MTimeNs = St.st_mtim.tv_nsec;
    return true;
}

struct TCaches {
    std::mutex Lock;
    std::map<TFileKey, std::shared_ptr<const TMappedFontFile>> Files;
    std::map<std::pair<TFileKey, int>, std::shared_ptr<const std::string>> Faces;
    std::map<std::tuple<std::string, bool, bool, int>, TResolvedFont> Resolved;
    // fontconfig's sorted lists, kept for the fallback look-ups of each
    // request (a few dozen requests at most in practice; dropped together
    // beyond that).
    std::map<std::tuple<std::string, bool, bool, int>, std::shared_ptr<FcFontSet>> Sorted;
};

constexpr size_t kMaxSortedLists = 32;

FcConfig* Config() {
    // Our own configuration, released at exit; fontconfig's default one is
    // left to other users. Used under the caches' lock.
    static std::unique_ptr<FcConfig, decltype(&FcConfigDestroy)> C(NewCatalogConfig(),
                                                                   &FcConfigDestroy);
    return C.get();
}

TCaches& Caches() {
    // Never destroyed: users may still hold the shared data at exit.
    static TCaches* C = new TCaches;
    return *C;
}

bool IsBuiltinSymbol(const std::string& Family) {
    const std::string_view S = kBuiltinSymbolFamily;
    if (Family.size() != S.size()) return false;
    for (size_t I = 0; I < S.size(); ++I)
        if (std::tolower(static_cast<unsigned char>(Family[I])) !=
            std::tolower(static_cast<unsigned char>(S[I])))
            return false;
    return true;
}

// fontconfig's sorted list of faces for a request, cached.
std::shared_ptr<FcFontSet> SortedLocked(const TPlatformFont& Font) {
    TCaches& C = Caches();
    auto Key = std::make_tuple(Font.Family, Font.Bold, Font.Italic, Font.CharSet);
    if (auto It = C.Sorted.find(Key); It != C.Sorted.end()) return It->second;
    FcConfig* Cfg = Config();
    if (!Cfg) return nullptr;
    const char* Lang = CharsetLanguage(Font.CharSet);
    std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> P(FcPatternCreate(), &FcPatternDestroy);
    if (!P) return nullptr;
    FcPatternAddString(P.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(Font.Family.c_str()));
    FcPatternAddInteger(P.get(), FC_WEIGHT, Font.Bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(P.get(), FC_SLANT, Font.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (Lang && *Lang) FcPatternAddString(P.get(), FC_LANG, reinterpret_cast<const FcChar8*>(Lang));
    if (!FcConfigSubstitute(Cfg, P.get(), FcMatchPattern)) return nullptr;
    FcDefaultSubstitute(P.get());
    FcResult Result = FcResultNoMatch;
    FcFontSet* Raw = FcFontSort(Cfg, P.get(), FcTrue, nullptr, &Result);
    if (!Raw) return nullptr;
    std::shared_ptr<FcFontSet> Set(Raw, &FcFontSetDestroy);
    if (C.Sorted.size() >= kMaxSortedLists) C.Sorted.clear();
    C.Sorted.emplace(std::move(Key), Set);
    return Set;
}

bool ResolveLocked(const TPlatformFont& Font, TResolvedFont& Out, char32_t Need = 0) {
    // Documents rely on the symbol font's byte maps and glyph names, which
    // no installed symbol font offers in that form: the built-in one answers.
    if (!Need && IsBuiltinSymbol(Font.Family) && !BuiltinSymbolFontFile().empty()) {
        Out = TResolvedFont{};
        Out.File = BuiltinSymbolFontFile();
        Out.SyntheticBold = Font.Bold;
        Out.SyntheticOblique = Font.Italic;
        return true;
    }
    const std::shared_ptr<FcFontSet> Set = SortedLocked(Font);
    if (!Set) return false;
    for (int I = 0; I < Set->nfont; ++I) {
        FcPattern* F = Set->fonts[I];
        FcChar8* File = nullptr;
        FcChar8* Format = nullptr;
        int Index = 0;
        if (FcPatternGetString(F, FC_FILE, 0, &File) != FcResultMatch || !File) continue;
        if (FcPatternGetString(F, FC_FONTFORMAT, 0, &Format) != FcResultMatch || !Format) continue;
        const std::string Fmt(reinterpret_cast<const char*>(Format));
        if (Fmt != "TrueType" && Fmt != "CFF") continue;
        if (Need) {
            FcCharSet* Chars = nullptr;
            if (FcPatternGetCharSet(F, FC_CHARSET, 0, &Chars) != FcResultMatch || !Chars ||
                !FcCharSetHasChar(Chars, FcChar32(Need)))
                continue;
        }
        if (FcPatternGetInteger(F, FC_INDEX, 0, &Index) != FcResultMatch) Index = 0;
        // Named instances of variable fonts share their base face's data.
        Index &= 0xFFFF;
        const std::string Path(reinterpret_cast<const char*>(File));
        // The data call needs an sfnt face: bare CFF programs are passed over.
        TFileKey Key;
        if (!StatFile(Path, Key)) continue;
        int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
        if (Fd < 0) continue;
        uint8_t Head[4] = {0, 0, 0, 0};
        const bool Read = ::pread(Fd, Head, 4, 0) == 4;
        ::close(Fd);
        if (!Read || !(IsSfntMagic(BE32(Head)) || BE32(Head) == kTtcfMagic)) continue;
        int Weight = FC_WEIGHT_REGULAR, Slant = FC_SLANT_ROMAN;
        FcPatternGetInteger(F, FC_WEIGHT, 0, &Weight);
        FcPatternGetInteger(F, FC_SLANT, 0, &Slant);
        Out.File = Path;
        Out.FaceIndex = Index;
        Out.SyntheticBold = Font.Bold && Weight < FC_WEIGHT_DEMIBOLD;
        Out.SyntheticOblique = Font.Italic && Slant == FC_SLANT_ROMAN;
        return true;
    }
    return false;
}

// The mapped file and face offset of the font selected into Dc.
bool DCFace(HDC Dc, std::shared_ptr<const TMappedFontFile>& File, uint32_t& Offset,
            bool& Collection) {
    TPlatformFont Font;
    TResolvedFont R;
    if (!GetDCFont(Dc, Font) || !ResolvePlatformFont(Font, R)) return false;
    File = MapFontFile(R.File);
    return File && FaceOffset(*File, R.FaceIndex, Offset, Collection);
}

}  // namespace

TMappedFontFile::~TMappedFontFile() {
    if (Data) ::munmap(const_cast<uint8_t*>(Data), Size);
}

bool ResolvePlatformFont(const TPlatformFont& Font, TResolvedFont& Out) {
    TCaches& C = Caches();
    std::lock_guard<std::mutex> Guard(C.Lock);
    auto Key = std::make_tuple(Font.Family, Font.Bold, Font.Italic, Font.CharSet);
    if (auto It = C.Resolved.find(Key); It != C.Resolved.end()) {
        Out = It->second;
        return true;
    }
    if (!ResolveLocked(Font, Out)) return false;
    C.Resolved.emplace(std::move(Key), Out);
    return true;
}

bool ResolvePlatformFontFor(const TPlatformFont& Font, char32_t CodePoint, TResolvedFont& Out) {
    if (CodePoint == 0 || CodePoint > 0x10FFFF) return false;
    TCaches& C = Caches();
    std::lock_guard<std::mutex> Guard(C.Lock);
    return ResolveLocked(Font, Out, CodePoint);
}

bool GetDCFont(HDC Dc, TPlatformFont& Out) {
    LOGFONTW L;
    if (!GetFontObject(GetCurrentObject(Dc, OBJ_FONT), L) || L.lfFaceName.empty()) return false;
    Out.Family = Utf16ToUtf8(L.lfFaceName);
    Out.Bold = L.lfWeight >= FW_SEMIBOLD;
    Out.Italic = L.lfItalic != 0;
    Out.CharSet = L.lfCharSet;
    const int64_t H = L.lfHeight < 0 ? -int64_t(L.lfHeight) : int64_t(L.lfHeight);
    Out.Size = H == 0 ? 16 : int(std::min<int64_t>(H, 16384));
    return true;
}

std::shared_ptr<const TMappedFontFile> MapFontFile(const std::string& File) {
    TFileKey Key;
    if (!StatFile(File, Key) || Key.Size <= 0 || uint64_t(Key.Size) >= kMaxFontFile) return nullptr;
    TCaches& C = Caches();
    std::lock_guard<std::mutex> Guard(C.Lock);
    if (auto It = C.Files.find(Key); It != C.Files.end()) return It->second;
    int Fd = ::open(File.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0) return nullptr;
    void* P = ::mmap(nullptr, size_t(Key.Size), PROT_READ, MAP_PRIVATE, Fd, 0);
    ::close(Fd);
    if (P == MAP_FAILED) return nullptr;
    auto M = std::make_shared<TMappedFontFile>();
    M->Data = static_cast<const uint8_t*>(P);
    M->Size = size_t(Key.Size);
    C.Files.emplace(std::move(Key), M);
    return M;
}

std::shared_ptr<const std::string> GetFaceData(const std::string& File, int FaceIndex) {
    TFileKey Key;
    if (!StatFile(File, Key)) return nullptr;
    {
        TCaches& C = Caches();
        std::lock_guard<std::mutex> Guard(C.Lock);
        if (auto It = C.Faces.find({Key, FaceIndex}); It != C.Faces.end()) return It->second;
    }
    auto M = MapFontFile(File);
    uint32_t Offset = 0;
    bool Collection = false;
    if (!M || !FaceOffset(*M, FaceIndex, Offset, Collection)) return nullptr;
    auto Data = std::make_shared<const std::string>(reinterpret_cast<const char*>(M->Data) + Offset,
                                                    M->Size - Offset);
    TCaches& C = Caches();
    std::lock_guard<std::mutex> Guard(C.Lock);
    // A second caller that built the same face meanwhile shares the first.
    auto [It, Added] = C.Faces.emplace(std::make_pair(Key, FaceIndex), Data);
    return It->second;
}

uint32_t GetFontData(HDC Dc, uint32_t Table, uint32_t Offset, void* Buffer, uint32_t Size) {
    std::shared_ptr<const TMappedFontFile> F;
    uint32_t Face = 0;
    bool Collection = false;
    if (!DCFace(Dc, F, Face, Collection)) return GDI_ERROR;
    uint64_t Start = 0, Length = 0;
    if (Table == 0) {
        Start = Face;
        Length = F->Size - Face;
    } else if (Table == TTCF_TAG) {
        if (!Collection) return GDI_ERROR;
        Length = F->Size;
    } else {
        // A table of the face: look its tag up in the table directory.
        const uint32_t Count = BE16(F->Data + Face + 4);
        bool Found = false;
        for (uint32_t I = 0; I < Count; ++I) {
            const uint64_t At = uint64_t(Face) + 12 + uint64_t(I) * 16;
            if (At + 16 > F->Size) break;
            const uint8_t* R = F->Data + At;
            const uint32_t Tag =
                uint32_t(R[0]) | uint32_t(R[1]) << 8 | uint32_t(R[2]) << 16 | uint32_t(R[3]) << 24;
            if (Tag != Table) continue;
            Start = BE32(R + 8);
            Length = BE32(R + 12);
            Found = Start + Length <= F->Size;
            break;
        }
        if (!Found) return GDI_ERROR;
    }
    if (Length >= GDI_ERROR || Offset > Length) return GDI_ERROR;
    const uint64_t Available = Length - Offset;
    if (!Buffer || Size == 0) return uint32_t(Available);
    const uint64_t N = std::min<uint64_t>(Size, Available);
    std::memcpy(Buffer, F->Data + Start + Offset, size_t(N));
    return uint32_t(N);
}

// ---------------------------------------------------------------------------

struct TOutlineFace::TState {
    std::shared_ptr<const TMappedFontFile> File;
    FT_Library Library = nullptr;
    FT_Face Face = nullptr;
    FT_CharMap Unicode = nullptr;
    FT_CharMap Symbol = nullptr;
    ~TState() {
        if (Face) FT_Done_Face(Face);
        if (Library) FT_Done_FreeType(Library);
    }
};

std::unique_ptr<TOutlineFace> TOutlineFace::Open(const TPlatformFont& Font) {
    std::unique_ptr<TOutlineFace> F(new TOutlineFace);
    if (!ResolvePlatformFont(Font, F->FResolved)) return nullptr;
    F->FState = std::make_unique<TState>();
    TState& S = *F->FState;
    S.File = MapFontFile(F->FResolved.File);
    if (!S.File || FT_Init_FreeType(&S.Library) != 0) return nullptr;
    if (FT_New_Memory_Face(S.Library, S.File->Data, FT_Long(S.File->Size),
                           FT_Long(F->FResolved.FaceIndex), &S.Face) != 0)
        return nullptr;
    if (!FT_IS_SCALABLE(S.Face)) return nullptr;
    if (FT_Set_Pixel_Sizes(S.Face, 0, FT_UInt(std::clamp(Font.Size, 1, 16384))) != 0)
        return nullptr;
    for (int I = 0; I < S.Face->num_charmaps; ++I) {
        FT_CharMap M = S.Face->charmaps[I];
        if (M->encoding == FT_ENCODING_UNICODE && !S.Unicode) S.Unicode = M;
        if (M->encoding == FT_ENCODING_MS_SYMBOL && !S.Symbol) S.Symbol = M;
    }
    return F;
}

TOutlineFace::~TOutlineFace() = default;

int TOutlineFace::GlyphCount() const { return FState ? int(FState->Face->num_glyphs) : 0; }

namespace {

// Writes FreeType's decomposition as native outline records.
struct TRecordWriter {
    std::string& Out;
    size_t Header = std::string::npos;  // start of the open contour
    size_t Record = std::string::npos;  // start of the open record
    uint16_t RecordType = 0;

    void U16(uint16_t V) { Out.append(reinterpret_cast<const char*>(&V), 2); }
    void U32(uint32_t V) { Out.append(reinterpret_cast<const char*>(&V), 4); }
    static int32_t Fixed(FT_Pos V) {
        // 26.6 to 16.16; pixel coordinates at our sizes stay far inside.
        const int64_t F = int64_t(V) * 1024;
        return int32_t(std::clamp<int64_t>(F, INT32_MIN, INT32_MAX));
    }
    void Point(const FT_Vector* P) {
        U32(uint32_t(Fixed(P->x)));
        U32(uint32_t(Fixed(P->y)));
    }
    void EndContour() {
        if (Header == std::string::npos) return;
        const uint32_t Cb = uint32_t(Out.size() - Header);
        std::memcpy(&Out[Header], &Cb, 4);
        Header = Record = std::string::npos;
    }
    void Begin(uint16_t Type, uint16_t Points) {
        // Lines run on in one record; every curve gets its own.
        if (Type == TT_PRIM_LINE && Record != std::string::npos && RecordType == TT_PRIM_LINE) {
            uint16_t N;
            std::memcpy(&N, &Out[Record + 2], 2);
            if (N < 0xFFFF) {
                N = uint16_t(N + 1);
                std::memcpy(&Out[Record + 2], &N, 2);
                return;
            }
        }
        Record = Out.size();
        RecordType = Type;
        U16(Type);
        U16(Points);
    }
    static int Move(const FT_Vector* To, void* User) {
        auto* W = static_cast<TRecordWriter*>(User);
        W->EndContour();
        W->Header = W->Out.size();
        W->U32(0);
        W->U32(TT_POLYGON_TYPE);
        W->Point(To);
        return 0;
    }
    static int Line(const FT_Vector* To, void* User) {
        auto* W = static_cast<TRecordWriter*>(User);
        if (W->Header == std::string::npos) return 1;
        W->Begin(TT_PRIM_LINE, 1);
        W->Point(To);
        return 0;
    }
    static int Conic(const FT_Vector* C, const FT_Vector* To, void* User) {
        auto* W = static_cast<TRecordWriter*>(User);
        if (W->Header == std::string::npos) return 1;
        W->Begin(TT_PRIM_QSPLINE, 2);
        W->Point(C);
        W->Point(To);
        return 0;
    }
    static int Cubic(const FT_Vector* A, const FT_Vector* B, const FT_Vector* To, void* User) {
        auto* W = static_cast<TRecordWriter*>(User);
        if (W->Header == std::string::npos) return 1;
        W->Begin(TT_PRIM_CSPLINE, 3);
        W->Point(A);
        W->Point(B);
        W->Point(To);
        return 0;
    }
};

}  // namespace

bool TOutlineFace::NativeOutline(uint32_t Char, bool GlyphIndex, std::string& Out,
                                 int16_t& Advance) {
    Out.clear();
    Advance = 0;
    if (!FState) return false;
    TState& S = *FState;
    FT_UInt Index = 0;
    if (GlyphIndex) {
        Index = Char;
    } else {
        if (S.Unicode && FT_Set_Charmap(S.Face, S.Unicode) == 0)
            Index = FT_Get_Char_Index(S.Face, Char);
        if (Index == 0 && S.Symbol && FT_Set_Charmap(S.Face, S.Symbol) == 0) {
            Index = FT_Get_Char_Index(S.Face, Char);
            if (Index == 0 && Char <= 0xFF) Index = FT_Get_Char_Index(S.Face, 0xF000 + Char);
        }
    }
    if (FT_Load_Glyph(S.Face, Index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return false;
    FT_GlyphSlot G = S.Face->glyph;
    if (G->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    if (FResolved.SyntheticOblique) FT_GlyphSlot_Oblique(G);
    if (FResolved.SyntheticBold) FT_GlyphSlot_Embolden(G);
    Advance = int16_t(std::clamp<FT_Pos>((G->advance.x + 32) >> 6, INT16_MIN, INT16_MAX));
    TRecordWriter W{Out};
    FT_Outline_Funcs Funcs{};
    Funcs.move_to = &TRecordWriter::Move;
    Funcs.line_to = &TRecordWriter::Line;
    Funcs.conic_to = &TRecordWriter::Conic;
    Funcs.cubic_to = &TRecordWriter::Cubic;
    if (FT_Outline_Decompose(&G->outline, &Funcs, &W) != 0) {
        Out.clear();
        return false;
    }
    W.EndContour();
    return true;
}

uint32_t GetGlyphOutlineW(HDC Dc, uint32_t Char, uint32_t Format, GLYPHMETRICS* Metrics,
                          uint32_t Size, void* Buffer) {
    if ((Format & ~GGO_GLYPH_INDEX) != GGO_NATIVE) return GDI_ERROR;
    TPlatformFont Font;
    if (!GetDCFont(Dc, Font)) return GDI_ERROR;
    auto Face = TOutlineFace::Open(Font);
    std::string Records;
    int16_t Advance = 0;
    if (!Face || !Face->NativeOutline(Char, (Format & GGO_GLYPH_INDEX) != 0, Records, Advance))
        return GDI_ERROR;
    if (Metrics) {
        *Metrics = GLYPHMETRICS{};
        Metrics->gmCellIncX = Advance;
    }
    if (Records.size() >= GDI_ERROR) return GDI_ERROR;
    if (!Buffer || Size == 0) return uint32_t(Records.size());
    if (Size < Records.size()) return GDI_ERROR;
    std::memcpy(Buffer, Records.data(), Records.size());
    return uint32_t(Records.size());
}

int ScreenPixelsPerInch() { return 96; }

}  // namespace velmo::platform
