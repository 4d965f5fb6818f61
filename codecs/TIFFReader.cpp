#include "codecs/TIFFReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "core/FileHelpers.h"
#include "core/LZW.h"

namespace velmo {

namespace {

// More pages than the count can hold are not read.
constexpr int64_t kMaxPages = 65535;
// The largest bitmap a page decodes into, in bytes: a small file may claim
// any size, and its short strips would be padded out to it.
constexpr int64_t kMaxDecodedBytes = int64_t(1) << 27;

class TParser {
public:
    TParser(std::string_view Data, bool Intel) : FData(Data), FIntel(Intel) {}

    bool Has(uint64_t Pos, uint64_t Len) const { return Pos <= FData.size() && Len <= FData.size() - Pos; }
    uint16_t U16(uint64_t Pos) const {
        if (!Has(Pos, 2)) return 0;
        const auto* P = reinterpret_cast<const uint8_t*>(FData.data() + Pos);
        return FIntel ? uint16_t(P[0] | P[1] << 8) : uint16_t(P[0] << 8 | P[1]);
    }
    uint32_t U32(uint64_t Pos) const {
        if (!Has(Pos, 4)) return 0;
        const auto* P = reinterpret_cast<const uint8_t*>(FData.data() + Pos);
        return FIntel ? uint32_t(P[0] | P[1] << 8 | P[2] << 16) | uint32_t(P[3]) << 24
                      : uint32_t(P[3] | P[2] << 8 | P[1] << 16) | uint32_t(P[0]) << 24;
    }
    uint64_t U64(uint64_t Pos) const {
        const uint64_t A = U32(Pos), B = U32(Pos + 4);
        return FIntel ? (B << 32 | A) : (A << 32 | B);
    }
    std::string_view Bytes(uint64_t Pos, uint64_t Len) const {
        if (Pos >= FData.size()) return {};
        return FData.substr(size_t(Pos), size_t(std::min<uint64_t>(Len, FData.size() - Pos)));
    }

    static uint64_t TypeSize(uint16_t Type) {
        switch (Type) {
            case 1: case 2: case 6: case 7: return 1;
            case 3: case 8: return 2;
            case 4: case 9: case 11: return 4;
            case 5: case 10: case 12: return 8;
            default: return 0;
        }
    }

    // The entry at Pos with its values. Values that would run past the end
    // of the file are not read.
    TTIFFEntry Entry(uint64_t Pos) const {
        TTIFFEntry E;
        E.Tag = U16(Pos);
        E.TagType = U16(Pos + 2);
        E.Length = U32(Pos + 4);
        E.Offset = U32(Pos + 8);
        const uint64_t Size = TypeSize(E.TagType);
        if (Size == 0) return E;
        if (E.Length == 0) {
            E.IntegerValues.push_back(0);
            E.DoubleValues.push_back(0);
            return E;
        }
        const uint64_t Total = Size * uint64_t(E.Length);  // at most 8 × (2^32 - 1)
        const uint64_t At = Total <= 4 ? Pos + 8 : E.Offset;
        if (!Has(At, Total)) return E;
        const uint64_t N = E.Length;
        switch (E.TagType) {
            case 2:
                E.StringValue.assign(Bytes(At, N - 1));
                break;
            case 7:
                E.StringValue.assign(Bytes(At, N));
                break;
            case 5:
            case 10:
                E.DoubleValues.reserve(size_t(N));
                for (uint64_t I = 0; I < N; ++I) {
                    const uint32_t Num = U32(At + 8 * I), Den = U32(At + 8 * I + 4);
                    double V = 0;
                    if (E.TagType == 5 && Den != 0) V = double(Num) / double(Den);
                    if (E.TagType == 10 && Den != 0) V = double(int32_t(Num)) / double(int32_t(Den));
                    E.DoubleValues.push_back(V);
                }
                break;
            case 11:
                for (uint64_t I = 0; I < N; ++I) {
                    const uint32_t Bits = U32(At + 4 * I);
                    float F;
                    std::memcpy(&F, &Bits, 4);
                    E.DoubleValues.push_back(double(F));
                }
                break;
            case 12:
                for (uint64_t I = 0; I < N; ++I) {
                    const uint64_t Bits = U64(At + 8 * I);
                    double D;
                    std::memcpy(&D, &Bits, 8);
                    E.DoubleValues.push_back(D);
                }
                break;
            default:
                E.IntegerValues.reserve(size_t(N));
                for (uint64_t I = 0; I < N; ++I) {
                    int32_t V = 0;
                    switch (E.TagType) {
                        case 1: V = uint8_t(FData[size_t(At + I)]); break;
                        case 6: V = int8_t(FData[size_t(At + I)]); break;
                        case 3: V = U16(At + 2 * I); break;
                        case 8: V = int16_t(U16(At + 2 * I)); break;
                        default: V = int32_t(U32(At + 4 * I)); break;
                    }
                    E.IntegerValues.push_back(V);
                }
                break;
        }
        return E;
    }

private:
    std::string_view FData;
    bool FIntel;
};

int32_t First(const TTIFFEntry& E) { return E.IntegerValues.empty() ? 0 : E.IntegerValues[0]; }
double FirstD(const TTIFFEntry& E) { return E.DoubleValues.empty() ? 0 : E.DoubleValues[0]; }

int32_t RoundDpi(double V) {
    if (!std::isfinite(V)) return 0;
    return int32_t(std::clamp(std::round(V), -2147483648.0, 2147483647.0));
}

std::string PointerBytes(std::string_view Data, uint64_t Pos) {
    if (Pos + 4 > Data.size()) return {};
    return std::string(Data.substr(size_t(Pos), 4));
}

// Source row layout of a decodable page: bytes per row and the bitmap
// format; false when the page does not fit one.
struct TRowLayout {
    TPixelFormat Format = pf24bit;
    int64_t RowSize = 0;
    int32_t SourceBytesPerPixel = 0;
};

int64_t RowsPerStripOf(const TTIFFPage& P, int Height) {
    return P.RowsPerStrip > 0 ? P.RowsPerStrip : Height;
}

}  // namespace

TPDFTIFF::TPDFTIFF() = default;

TPDFTIFF::TPDFTIFF(const TTIFFPage& Page) {
    FValidTIFF = true;
    FPageCount = 1;
    FPages.push_back(Page);
}

TPDFTIFF::~TPDFTIFF() = default;

TBitmap& TPDFTIFF::Bitmap() {
    if (!FBitmap) FBitmap = std::make_unique<TBitmap>();
    return *FBitmap;
}

void TPDFTIFF::LoadFromString(std::string_view S, int32_t ReqPageNo) {
    FValidTIFF = false;
    FPageCount = 0;
    FPages.clear();
    FIFDPointers.clear();
    FHasJPEGTags = false;
    if (S.size() < 8) return;
    const bool II = S[0] == 'I' && S[1] == 'I', MM = S[0] == 'M' && S[1] == 'M';
    if (!II && !MM) return;
    const TParser P(S, II);
    if (P.U16(2) != 42) return;
    FValidTIFF = true;

    // The chain: IFDs wholly inside the file, each met once.
    std::vector<uint64_t> Chain;
    std::vector<uint64_t> PointerPos;
    {
        uint64_t PtrPos = 4;
        uint64_t Pos = P.U32(4);
        std::unordered_set<uint64_t> Seen;
        while (Pos != 0 && int64_t(Chain.size()) < kMaxPages && P.Has(Pos, 2) && Seen.insert(Pos).second) {
            const uint64_t N = P.U16(Pos);
            if (N == 0 || !P.Has(Pos + 2, 12 * N + 4)) break;
            Chain.push_back(Pos);
            PointerPos.push_back(PtrPos);
            PtrPos = Pos + 2 + 12 * N;
            Pos = P.U32(PtrPos);
        }
    }
    std::vector<size_t> ToParse;
    if (ReqPageNo >= 0) {
        if (Chain.empty()) return;
        ToParse.push_back(size_t(ReqPageNo) < Chain.size() ? size_t(ReqPageNo) : 0);
    } else {
        for (size_t I = 0; I < Chain.size(); ++I) ToParse.push_back(I);
    }

    // Strips are copied out of the file; overlapping strips cannot make the
    // copies grow far beyond the file itself.
    uint64_t StripBudget = 2 * uint64_t(S.size()) + (uint64_t(1) << 24);

    for (size_t Index : ToParse) {
        const uint64_t IFD = Chain[Index];
        FIFDPointers.push_back(PointerBytes(S, PointerPos[Index]));
        TTIFFPage Page;
        int32_t ResUnit = 2;
        double XRes = 0, YRes = 0;
        std::vector<int64_t> Offsets, Counts;
        bool HaveOffsets = false, HaveCounts = false, TileTags = false;
        std::string JPEGHeader;
        const uint64_t N = P.U16(IFD);
        for (uint64_t K = 0; K < N && FValidTIFF; ++K) {
            const TTIFFEntry E = P.Entry(IFD + 2 + 12 * K);
            switch (E.Tag) {
                case 256: Page.Width = First(E); break;
                case 257: Page.Height = First(E); break;
                case 258: Page.BitsPerSample = First(E); break;
                case 259:
                    switch (First(E)) {
                        case 1: Page.Compression = ttNone; break;
                        case 3: Page.Compression = ttCCITT31d; break;
                        case 4: Page.Compression = ttCCITT4; break;
                        case 5: Page.Compression = ttComp; break;
                        case 6: case 7: Page.Compression = ttJPEG; break;
                        case 8: case 32946: Page.Compression = ttDeflate; break;
                        case 32773: Page.Compression = ttPackbits; break;
                        default: break;
                    }
                    break;
                case 262:
                    if (First(E) >= 0 && First(E) <= 7) {
                        Page.PhotometricInterpretation = TTIFFPhotometricInterpretation(First(E));
                        Page.Reversed = First(E) == 1;
                    }
                    break;
                case 266: Page.FillOrder = First(E); break;
                case 273:
                case 324:
                    if (E.Tag == 273 && TileTags) {
                        FValidTIFF = false;
                        break;
                    }
                    if (HaveOffsets) {
                        FValidTIFF = false;
                        break;
                    }
                    if (E.Tag == 324) Page.StripsAreTiles = TileTags = true;
                    HaveOffsets = true;
                    Offsets.assign(E.IntegerValues.begin(), E.IntegerValues.end());
                    break;
                case 279:
                case 325:
                    if (E.Tag == 279 && TileTags) {
                        FValidTIFF = false;
                        break;
                    }
                    if (HaveCounts) {
                        FValidTIFF = false;
                        break;
                    }
                    if (E.Tag == 325) Page.StripsAreTiles = TileTags = true;
                    HaveCounts = true;
                    Counts.assign(E.IntegerValues.begin(), E.IntegerValues.end());
                    break;
                case 277: Page.SamplesPerPixel = First(E); break;
                case 278:
                    if (TileTags) {
                        FValidTIFF = false;
                        break;
                    }
                    Page.RowsPerStrip = First(E);
                    if (Offsets.size() == 1 && Page.RowsPerStrip <= 1) Page.RowsPerStrip = Page.Height;
                    break;
                case 282: XRes = FirstD(E); break;
                case 283: YRes = FirstD(E); break;
                case 284:
                    if (First(E) == 2) Page.PlanarConfiguration = pcPlanar;
                    break;
                case 292:
                    if (Page.Compression == ttCCITT31d) {
                        if (First(E) & 1) Page.Compression = ttCCITT32d;
                        if (First(E) & 4) Page.EncodedByteAlign = true;
                    }
                    break;
                case 296: ResUnit = First(E); break;
                case 317: Page.Predictor = First(E); break;
                case 320: Page.PaletteValues = E.IntegerValues; break;
                case 322: Page.ColumnsPerTile = First(E); break;
                case 323: Page.RowsPerTile = First(E); break;
                case 338: Page.ExtraSamples = First(E); break;
                case 347: {
                    // JPEGTables arrive as UNDEFINED bytes (or BYTE values).
                    std::string T = E.StringValue;
                    if (T.empty() && !E.IntegerValues.empty() && E.TagType == 1)
                        for (int32_t V : E.IntegerValues) T.push_back(char(V));
                    if (T.size() < 3) {
                        FHasJPEGTags = true;
                    } else {
                        if (T.compare(0, 2, "\xFF\xD8") == 0) T.erase(0, 2);
                        if (T.size() >= 2 && T.compare(T.size() - 2, 2, "\xFF\xD9") == 0) T.resize(T.size() - 2);
                        JPEGHeader = T;
                    }
                    break;
                }
                case 519: case 520: case 521: FHasJPEGTags = true; break;
                case 529: {
                    const auto& D = E.DoubleValues;
                    auto Near = [](double A, double B) { return std::fabs(A - B) <= 1e-12 * 1000; };
                    if (!(D.size() == 3 && Near(D[0], 0.2989) && Near(D[1], 0.5867) && Near(D[2], 0.1144)))
                        FHasJPEGTags = true;
                    break;
                }
                case 530: {
                    const auto& V = E.IntegerValues;
                    if (!(V.size() == 2 && (V[0] == 1 || V[0] == 2) && (V[1] == 1 || V[1] == 2)))
                        FHasJPEGTags = true;
                    break;
                }
                default: break;
            }
        }
        if (!FValidTIFF) break;
        if (Counts.size() < Offsets.size()) Counts.assign(Offsets.size(), 0);
        Page.Strips.reserve(Offsets.size());
        for (size_t I = 0; I < Offsets.size(); ++I) {
            const uint64_t Off = uint32_t(Offsets[I]);
            const uint64_t Len = uint32_t(Counts[I]);
            std::string_view B = P.Bytes(Off, Len);
            if (B.size() > StripBudget) B = {};
            StripBudget -= B.size();
            Page.Strips.emplace_back(B);
        }
        if (Page.Compression == ttJPEG && Page.PhotometricInterpretation == piRGB)
            JPEGHeader += std::string("\xFF\xEE\x00\x0E" "Adobe\x00\x64\x80\x00\x00\x00\x00", 16);
        if (!JPEGHeader.empty() && Page.Compression == ttJPEG) {
            for (std::string& Strip : Page.Strips) {
                std::string_view Body = Strip;
                if (Body.size() >= 2 && Body.compare(0, 2, "\xFF\xD8") == 0) Body.remove_prefix(2);
                Strip = "\xFF\xD8" + JPEGHeader + std::string(Body);
            }
        }
        const double Scale = ResUnit == 3 ? 2.54 : 1.0;
        Page.XRes = RoundDpi(XRes * Scale);
        Page.YRes = RoundDpi(YRes * Scale);
        const bool CCITT =
            Page.Compression == ttCCITT4 || Page.Compression == ttCCITT31d || Page.Compression == ttCCITT32d;
        if (Page.BitsPerSample == 0) Page.BitsPerSample = CCITT ? 1 : 8;
        if (Page.Strips.size() == 1) {
            if (!Page.StripsAreTiles) {
                if (Page.RowsPerStrip <= 1) Page.RowsPerStrip = Page.Height;
            } else {
                if (Page.RowsPerTile <= 1) Page.RowsPerTile = Page.Height;
                if (Page.ColumnsPerTile <= 1) Page.ColumnsPerTile = Page.Width;
            }
        }
        if (Page.BitsPerSample > 32) Page.BitsPerSample = Page.Compression == ttPackbits ? 1 : 0;
        FPages.push_back(std::move(Page));
    }
    FPageCount = uint16_t(FPages.size());
}

void TPDFTIFF::LoadFromStream(TStream& InStream, int32_t ReqPageNo) {
    InStream.Seek(0, soBeginning);
    const int64_t Size = InStream.Size();
    std::string Data(size_t(std::max<int64_t>(Size, 0)), '\0');
    const int64_t Got = Size > 0 ? InStream.Read(Data.data(), Size) : 0;
    Data.resize(size_t(std::max<int64_t>(Got, 0)));
    LoadFromString(Data, ReqPageNo);
}

void TPDFTIFF::LoadFromFile(const std::u16string& FileName) {
    auto S = CreateWideFileStream(FileName, 32);
    LoadFromStream(*S, -1);
}

bool TPDFTIFF::GetPage(int32_t Index, TTIFFPage& Page) const {
    if (Index < 1 || Index > int32_t(FPages.size())) return false;
    Page = FPages[size_t(Index - 1)];
    return true;
}

std::string TPDFTIFF::GetIFDPointer(int32_t Page) const {
    if (Page < 1 || Page > int32_t(FPageCount) || size_t(Page) > FIFDPointers.size()) return {};
    return FIFDPointers[size_t(Page - 1)];
}

void TPDFTIFF::SimpleExtract(int32_t PageNo) {
    if (PageNo < 1 || PageNo > int32_t(FPages.size())) return;
    const TTIFFPage& Pg = FPages[size_t(PageNo - 1)];
    if (Pg.Width <= 0 || Pg.Height <= 0 || int64_t(Pg.Width) * Pg.Height > TBitmap::MaxPixels) return;
    TPixelFormat Format;
    int64_t RowSize;
    const int32_t Spp = Pg.SamplesPerPixel;
    if (Pg.BitsPerSample == 1 && Spp == 1) {
        Format = pf1bit;
        RowSize = (int64_t(Pg.Width) + 7) / 8;
    } else if (Pg.BitsPerSample == 8 && Spp == 3) {
        Format = pf24bit;
        RowSize = 3 * int64_t(Pg.Width);
    } else if (Pg.BitsPerSample == 8 && Spp > 3 && Spp <= 255) {
        Format = pf32bit;
        RowSize = int64_t(Spp) * Pg.Width;
    } else if (Pg.BitsPerSample == 8 && Spp == 1) {
        Format = pf8bit;
        RowSize = Pg.Width;
    } else {
        return;
    }
    if (int64_t(Pg.Width) * Pg.Height * BitsPerPixel(Format) / 8 > kMaxDecodedBytes) return;
    FBitmap = std::make_unique<TBitmap>(Pg.Width, Pg.Height, Format);
    TBitmap& BM = *FBitmap;
    const int64_t Rows = RowsPerStripOf(Pg, Pg.Height);
    if (Rows <= 0) return;
    for (size_t S = 0; S < Pg.Strips.size() && int64_t(S) * Rows < Pg.Height; ++S) {
        const std::string& Strip = Pg.Strips[S];
        const int64_t First = int64_t(S) * Rows;
        for (int64_t R = 0; R < Rows && First + R < Pg.Height; ++R) {
            uint8_t* Dst = BM.ScanLine(int(First + R));
            const int64_t At = R * RowSize;
            // Bytes past the strip's end read as $FF.
            auto Src = [&](int64_t I) -> uint8_t {
                const int64_t J = At + I;
                return J < int64_t(Strip.size()) ? uint8_t(Strip[size_t(J)]) : 0xFF;
            };
            switch (Format) {
                case pf24bit:
                    for (int64_t X = 0; X < Pg.Width; ++X) {
                        Dst[3 * X] = Src(3 * X + 2);
                        Dst[3 * X + 1] = Src(3 * X + 1);
                        Dst[3 * X + 2] = Src(3 * X);
                    }
                    break;
                case pf32bit:
                    for (int64_t X = 0; X < Pg.Width; ++X)
                        for (int C = 0; C < 4; ++C) Dst[4 * X + C] = Src(Spp * X + 3 - C);
                    break;
                default:
                    for (int64_t X = 0; X < RowSize; ++X) Dst[X] = Src(X);
                    break;
            }
        }
    }
}

void TPDFTIFF::CompDecode(int32_t PageNo) {
    if (PageNo < 1 || PageNo > int32_t(FPages.size())) return;
    const TTIFFPage& Pg = FPages[size_t(PageNo - 1)];
    if (Pg.Width <= 0 || Pg.Height <= 0 || int64_t(Pg.Width) * Pg.Height > TBitmap::MaxPixels) return;
    const int32_t Spp = Pg.SamplesPerPixel;
    if (Spp < 1 || Spp > 255) return;
    TPixelFormat Format = pf24bit;
    bool Known = false;
    if (Pg.PhotometricInterpretation == piRGB || Pg.PhotometricInterpretation == piRGBPalette) {
        Format = pf24bit;
        Known = Pg.BitsPerSample == 8 && Spp >= 3;
    }
    if (Pg.PhotometricInterpretation == piCMYK) {
        Format = pf32bit;
        Known = Pg.BitsPerSample == 8 && Spp >= 4;
    }
    if (Spp == 1 && Pg.BitsPerSample == 8) {
        Format = pf8bit;
        Known = true;
    }
    if (Spp == 1 && Pg.BitsPerSample == 1) {
        Format = pf1bit;
        Known = true;
    }
    if (!Known) return;
    const int64_t W = Pg.Width;
    const int64_t RowSize = Format == pf1bit ? (W + 7) / 8 : Format == pf8bit ? W : int64_t(Spp) * W;
    const int32_t Channels = Format == pf1bit || Format == pf8bit ? 1 : Spp;
    if (int64_t(Pg.Width) * Pg.Height * BitsPerPixel(Format) / 8 > kMaxDecodedBytes) return;
    FBitmap = std::make_unique<TBitmap>(Pg.Width, Pg.Height, Format);
    TBitmap& BM = *FBitmap;
    const int64_t Rows = RowsPerStripOf(Pg, Pg.Height);
    if (Rows <= 0) return;
    std::vector<uint8_t> Row(static_cast<size_t>(RowSize));
    for (size_t S = 0; S < Pg.Strips.size() && int64_t(S) * Rows < Pg.Height; ++S) {
        const int64_t First = int64_t(S) * Rows;
        const int64_t Needed = std::min<int64_t>(Rows, Pg.Height - First) * RowSize;
        TPDFLZWDecompressor D;
        D.SetFillOrder(foTop);
        D.SetEarlyChange(true);
        D.SetInitialCodeSize(9);
        D.SetMaxOutput(size_t(Needed) + TPDFLZWDecompressor::kTableSize);
        const std::string Data = D.Decompress(Pg.Strips[S]);
        for (int64_t R = 0; R < Rows && First + R < Pg.Height; ++R) {
            const int64_t At = R * RowSize;
            for (int64_t I = 0; I < RowSize; ++I)
                Row[size_t(I)] = At + I < int64_t(Data.size()) ? uint8_t(Data[size_t(At + I)]) : 0xFF;
            if (Pg.Predictor == 2) {
                for (int64_t I = Channels; I < RowSize; ++I) Row[size_t(I)] += Row[size_t(I - Channels)];
            } else if (Pg.Predictor != 1) {
                continue;
            }
            uint8_t* Dst = BM.ScanLine(int(First + R));
            switch (Format) {
                case pf24bit:
                    for (int64_t X = 0; X < W; ++X) {
                        const uint8_t* Px = Row.data() + Spp * X;
                        Dst[3 * X] = Px[2];
                        Dst[3 * X + 1] = Px[1];
                        Dst[3 * X + 2] = Px[0];
                    }
                    break;
                case pf32bit:
                    for (int64_t X = 0; X < W; ++X) {
                        const uint8_t* Px = Row.data() + Spp * X;
                        if (Pg.PhotometricInterpretation == piCMYK) {
                            for (int C = 0; C < 4; ++C) Dst[4 * X + C] = Px[3 - C];
                        } else {
                            Dst[4 * X] = Px[2];
                            Dst[4 * X + 1] = Px[1];
                            Dst[4 * X + 2] = Px[0];
                            Dst[4 * X + 3] = Px[3];
                        }
                    }
                    break;
                default:
                    std::memcpy(Dst, Row.data(), size_t(RowSize));
                    break;
            }
        }
    }
}

namespace {

void Put16(std::string& S, size_t At, uint32_t V) {
    S[At] = char(V & 0xFF);
    S[At + 1] = char((V >> 8) & 0xFF);
}
void Put32(std::string& S, size_t At, uint32_t V) {
    for (int I = 0; I < 4; ++I) S[At + size_t(I)] = char((V >> (8 * I)) & 0xFF);
}

}  // namespace

std::string TPDFTIFF::SaveToString() const {
    TTIFFPage Pg;
    if (!FPages.empty()) Pg = FPages[0];
    const std::string Strip = Pg.Strips.empty() ? std::string() : Pg.Strips[0];
    static const char kBanner[] = "VelmoPDF";
    constexpr size_t kEntries = 13;
    const size_t IFD = 12;
    auto Align = [](size_t V) { return (V + 3) & ~size_t(3); };
    size_t At = Align(IFD + 2 + 12 * kEntries + 4);
    const size_t XResAt = At;
    const size_t YResAt = XResAt + 8;
    const size_t BannerAt = YResAt + 8;
    const size_t StripAt = Align(BannerAt + sizeof kBanner);
    std::string S(StripAt + Strip.size(), '\0');
    S[0] = S[1] = 'I';
    Put16(S, 2, 42);
    Put32(S, 4, uint32_t(IFD));
    Put16(S, IFD, kEntries);
    size_t E = IFD + 2;
    auto Entry = [&](uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Value) {
        Put16(S, E, Tag);
        Put16(S, E + 2, Type);
        Put32(S, E + 4, Count);
        if (Type == 3 && Count == 1)
            Put16(S, E + 8, Value);
        else
            Put32(S, E + 8, Value);
        E += 12;
    };
    Entry(256, 4, 1, uint32_t(Pg.Width));
    Entry(257, 4, 1, uint32_t(Pg.Height));
    Entry(258, 3, 1, uint32_t(Pg.BitsPerSample));
    Entry(259, 3, 1, 4);
    Entry(262, 3, 1, 0);
    Entry(273, 4, 1, uint32_t(StripAt));
    Entry(277, 3, 1, uint32_t(Pg.SamplesPerPixel));
    Entry(278, 4, 1, uint32_t(Pg.RowsPerStrip));
    Entry(279, 4, 1, uint32_t(Strip.size()));
    Entry(282, 5, 1, uint32_t(XResAt));
    Entry(283, 5, 1, uint32_t(YResAt));
    Entry(296, 3, 1, 2);
    Entry(305, 2, sizeof kBanner, uint32_t(BannerAt));
    Put32(S, E, 0);
    Put32(S, XResAt, 96);
    Put32(S, XResAt + 4, 1);
    Put32(S, YResAt, 96);
    Put32(S, YResAt + 4, 1);
    std::memcpy(S.data() + BannerAt, kBanner, sizeof kBanner);
    std::memcpy(S.data() + StripAt, Strip.data(), Strip.size());
    return S;
}

void TPDFTIFF::SaveToStream(TStream& OutStream) const { OutStream.WriteBuffer(SaveToString()); }

}  // namespace velmo
