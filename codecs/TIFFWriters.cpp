#include "codecs/TIFFWriters.h"

#include <limits>
#include <unordered_set>
#include <vector>

#include "document/PageTree.h"
#include "render/Picasso.h"

namespace velmo {

void RegisterGdiPlusModule();

namespace {

// Runs one conversion of a BMP of Bitmap through the graphics platform's
// TIFF encoder.
void SaveThroughEncoder(const TBitmap& Bitmap, TStream& Target, const TGDIPlusSettings* Settings,
                        double DPI, bool G4) {
    RegisterGdiPlusModule();
    TGDIPlusSettings S;
    if (Settings != nullptr)
        S = *Settings;
    else
        InitGDIPlusSettings(S);
    TMemoryStream M;
    Bitmap.SaveToStream(M);
    if (DPI > 0) PatchBMPResolution(M, 0, DPI);
    M.Seek(0, soBeginning);
    // The encoder needs a graphics model; a scratch canvas serves, since
    // nothing is drawn.
    TBitmap Scratch(1, 1, pf24bit);
    TPDFPicasso P;
    P.UseGDIPlusModel(&Scratch.Canvas(), S);
    bool Ok = false;
    if (G4) {
        Ok = P.ConvertStreamToG4(M, Target);
    } else {
        CLSID Tiff;
        Ok = P.GDIPlus() != nullptr && P.GDIPlus()->GetEncoderClsid(u"image/tiff", Tiff) &&
             P.ConvertStream(M, Target, Tiff);
    }
    if (!Ok) throw EPageWriterError(G4 ? "the Group 4 TIFF encoder failed" : "the TIFF encoder failed");
}

// Reads and patches the IFD chain of a TIFF held in memory.
class TTIFFChain {
public:
    TTIFFChain(char* Data, uint64_t Size) : FData(reinterpret_cast<uint8_t*>(Data)), FSize(Size) {
        if (Size < 8) return;
        const bool II = FData[0] == 'I' && FData[1] == 'I';
        const bool MM = FData[0] == 'M' && FData[1] == 'M';
        if (!II && !MM) return;
        FIntel = II;
        if (Get16(2) != 42) return;
        FValid = true;
        uint64_t Pos = Get32(4);
        std::unordered_set<uint64_t> Seen;
        // An IFD must lie wholly inside the file and be met only once.
        while (Pos != 0 && Pos + 2 <= FSize && Seen.insert(Pos).second) {
            const uint64_t N = Get16(Pos);
            if (Pos + 2 + 12 * N + 4 > FSize) break;
            FIFDs.push_back(Pos);
            Pos = Get32(Pos + 2 + 12 * N);
        }
    }
    bool Valid() const { return FValid; }
    bool Intel() const { return FIntel; }
    const std::vector<uint64_t>& IFDs() const { return FIFDs; }
    uint64_t NextPointerPos(size_t I) const { return FIFDs[I] + 2 + 12 * uint64_t(Get16(FIFDs[I])); }

    // Moves every file offset as if the bytes began Offset further into a
    // file: strip offsets of type LONG (in the entry or in their array),
    // pointers to out-of-line values and the chain's own pointers. The last
    // IFD's next pointer becomes 0 (it can only be 0, a loop or out of
    // range after the walk).
    void Shift(uint32_t Offset) {
        for (size_t I = 0; I < FIFDs.size(); ++I) {
            const uint64_t IFD = FIFDs[I];
            const uint64_t N = Get16(IFD);
            for (uint64_t K = 0; K < N; ++K) {
                const uint64_t E = IFD + 2 + 12 * K;
                const uint16_t Tag = Get16(E), Type = Get16(E + 2);
                const uint64_t Count = Get32(E + 4);
                const uint32_t Value = Get32(E + 8);
                uint32_t NewValue = Value;
                if (Tag == 273 && Type == 4) {
                    if (Count <= 1) {
                        NewValue = Value + Offset;
                    } else if (uint64_t(Value) + 4 * Count <= FSize) {
                        for (uint64_t J = 0; J < Count; ++J)
                            Put32(Value + 4 * J, Get32(Value + 4 * J) + Offset);
                    }
                }
                if (TypeSize(Type) * Count > 4) NewValue = Value + Offset;
                if (NewValue != Value) Put32(E + 8, NewValue);
            }
            const uint64_t Next = NextPointerPos(I);
            Put32(Next, I + 1 < FIFDs.size() ? uint32_t(FIFDs[I + 1] + Offset) : 0);
        }
    }
    void Put32(uint64_t Pos, uint32_t V) {
        for (int I = 0; I < 4; ++I) {
            const int Shift = FIntel ? 8 * I : 8 * (3 - I);
            FData[Pos + I] = uint8_t(V >> Shift);
        }
    }

private:
    static uint64_t TypeSize(uint16_t Type) {
        switch (Type) {
            case 3:
            case 8:
                return 2;
            case 4:
            case 9:
            case 11:
                return 4;
            case 5:
            case 10:
            case 12:
                return 8;
            default:
                return 1;
        }
    }
    uint16_t Get16(uint64_t Pos) const {
        return FIntel ? uint16_t(FData[Pos] | FData[Pos + 1] << 8)
                      : uint16_t(FData[Pos] << 8 | FData[Pos + 1]);
    }
    uint32_t Get32(uint64_t Pos) const {
        uint32_t V = 0;
        for (int I = 0; I < 4; ++I) {
            const int Shift = FIntel ? 8 * I : 8 * (3 - I);
            V |= uint32_t(FData[Pos + I]) << Shift;
        }
        return V;
    }

    uint8_t* FData;
    uint64_t FSize;
    bool FValid = false;
    bool FIntel = true;
    std::vector<uint64_t> FIFDs;
};

// The classic format's offsets are 32-bit, and the shift a signed 32-bit
// value: the joined file must stay under both limits.
bool FitsClassicTIFF(int64_t TargetSize, int64_t SourceSize) {
    return TargetSize >= 0 && TargetSize <= std::numeric_limits<int32_t>::max() &&
           TargetSize + SourceSize <= int64_t(std::numeric_limits<uint32_t>::max());
}

uint32_t ReadStream32(TStream& S, int64_t Pos, bool Intel, bool& Ok) {
    uint8_t B[4] = {};
    S.Seek(Pos, soBeginning);
    Ok = S.Read(B, 4) == 4;
    return Intel ? uint32_t(B[0] | B[1] << 8 | B[2] << 16) | uint32_t(B[3]) << 24
                 : uint32_t(B[3] | B[2] << 8 | B[1] << 16) | uint32_t(B[0]) << 24;
}

uint16_t ReadStream16(TStream& S, int64_t Pos, bool Intel, bool& Ok) {
    uint8_t B[2] = {};
    S.Seek(Pos, soBeginning);
    Ok = S.Read(B, 2) == 2;
    return Intel ? uint16_t(B[0] | B[1] << 8) : uint16_t(B[0] << 8 | B[1]);
}

void WriteStream32(TStream& S, int64_t Pos, bool Intel, uint32_t V) {
    uint8_t B[4];
    for (int I = 0; I < 4; ++I) B[I] = uint8_t(V >> (Intel ? 8 * I : 8 * (3 - I)));
    S.Seek(Pos, soBeginning);
    S.WriteBuffer(B, 4);
}

// The position of the next-IFD pointer of the last sound IFD of a TIFF held
// in a stream (walked with a visited set and bounds), or -1 without one.
int64_t LastNextPointer(TStream& S, bool& Intel) {
    const int64_t Size = S.Size();
    uint8_t H[4] = {};
    S.Seek(0, soBeginning);
    if (Size < 8 || S.Read(H, 4) != 4) return -1;
    if (!((H[0] == 'I' && H[1] == 'I') || (H[0] == 'M' && H[1] == 'M'))) return -1;
    Intel = H[0] == 'I';
    if ((Intel ? H[2] | H[3] << 8 : H[2] << 8 | H[3]) != 42) return -1;
    bool Ok = true;
    int64_t Pos = ReadStream32(S, 4, Intel, Ok);
    int64_t Last = -1;
    std::unordered_set<int64_t> Seen;
    while (Ok && Pos != 0 && Pos + 2 <= Size && Seen.insert(Pos).second) {
        const int64_t N = ReadStream16(S, Pos, Intel, Ok);
        if (!Ok || Pos + 2 + 12 * N + 4 > Size) break;
        Last = Pos + 2 + 12 * N;
        Pos = ReadStream32(S, Last, Intel, Ok);
    }
    return Last;
}

}  // namespace

void SaveBitmapAsTIFF(const TBitmap& Bitmap, TStream& Target, const TGDIPlusSettings* Settings,
                      double DPI) {
    SaveThroughEncoder(Bitmap, Target, Settings, DPI, false);
}

void SaveBitmapAsG4TIFF(const TBitmap& Bitmap, TStream& Target, const TGDIPlusSettings* Settings,
                        double DPI) {
    const int32_t Threshold = Settings != nullptr ? Settings->MonoThreshold : 0;
    if (Threshold < 1 || Bitmap.PixelFormat() != pf24bit) {
        SaveThroughEncoder(Bitmap, Target, Settings, DPI, true);
        return;
    }
    // Dark pixels are forced to black; the others are left for the
    // encoder's own 1-bit rule.
    TBitmap Copy(Bitmap);
    const int64_t Limit = 3 * int64_t(Threshold);
    for (int Y = 0; Y < Copy.Height(); ++Y) {
        uint8_t* Row = Copy.ScanLine(Y);
        for (int X = 0; X < Copy.Width(); ++X) {
            uint8_t* P = Row + 3 * X;
            if (int64_t(P[0]) + P[1] + P[2] < Limit) P[0] = P[1] = P[2] = 0;
        }
    }
    SaveThroughEncoder(Copy, Target, Settings, DPI, true);
}

bool AppendTIFFStream(TStream& Target, TMemoryStream& Source) {
    const int64_t TargetSize = Target.Size();
    const int64_t SourceSize = Source.Size();
    if (!FitsClassicTIFF(TargetSize, SourceSize)) return false;
    bool TargetIntel = true;
    const int64_t Link = LastNextPointer(Target, TargetIntel);
    TTIFFChain Chain(Source.Memory(), uint64_t(SourceSize));
    if (Chain.Valid() && Link >= 0 && Chain.Intel() != TargetIntel) return false;
    uint32_t NextPos = 0;
    if (Chain.Valid()) {
        Chain.Shift(uint32_t(TargetSize));
        if (!Chain.IFDs().empty()) NextPos = uint32_t(Chain.IFDs().front() + uint64_t(TargetSize));
    }
    Target.Seek(0, soEnd);
    Source.Seek(0, soBeginning);
    if (SourceSize > 0) Target.CopyFrom(Source, SourceSize);
    if (Link >= 0) WriteStream32(Target, Link, TargetIntel, NextPos);
    Target.Seek(0, soEnd);
    return true;
}

bool TMultipageTIFFWriter::AddPage(TMemoryStream& Page) {
    const int64_t PageSize = Page.Size();
    TTIFFChain Chain(Page.Memory(), uint64_t(PageSize));
    if (!Chain.Valid() || Chain.IFDs().empty()) return false;
    const int64_t TargetSize = FPageCount == 0 ? 0 : FTarget.Size();
    if (!FitsClassicTIFF(TargetSize, PageSize)) return false;
    if (FPageCount > 0 && Chain.Intel() != FIntel) return false;
    // The first page goes in as it is, apart from a looping or broken end
    // of its chain.
    Chain.Shift(uint32_t(TargetSize));
    if (FPageCount == 0) {
        FTarget.Seek(0, soBeginning);
        FTarget.SetSize(0);
    } else {
        FTarget.Seek(0, soEnd);
    }
    Page.Seek(0, soBeginning);
    FTarget.CopyFrom(Page, PageSize);
    if (FPageCount > 0)
        WriteStream32(FTarget, FLastIFD, FIntel, uint32_t(Chain.IFDs().front() + uint64_t(TargetSize)));
    FIntel = Chain.Intel();
    FLastIFD = uint32_t(Chain.NextPointerPos(Chain.IFDs().size() - 1) + uint64_t(TargetSize));
    FTarget.Seek(0, soEnd);
    ++FPageCount;
    return true;
}

}  // namespace velmo
