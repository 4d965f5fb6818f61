#include "codecs/GIFWriter.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codecs/TIFFWriters.h"
#include "core/FileHelpers.h"

namespace velmo {

namespace {

// ---------------------------------------------------------------------------
// Octree colour quantizer. Each pixel adds its colour to a leaf at depth
// ColorBits; after each row the deepest, most recently made reducible node
// is folded into a leaf until at most MaxColors leaves remain.

struct TOctreeNode {
    bool IsLeaf = false;
    int64_t PixelCount = 0;
    int64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
    TOctreeNode* Next = nullptr;  // link in its level's reducible list
    std::array<std::unique_ptr<TOctreeNode>, 8> Child;
    int32_t Index = -1;
};

class TColorQuantizer {
public:
    TColorQuantizer(int32_t MaxColors, int32_t ColorBits) : FMaxColors(MaxColors), FColorBits(ColorBits) {}

    void AddColor(uint8_t R, uint8_t G, uint8_t B) {
        std::unique_ptr<TOctreeNode>* Slot = &FTree;
        for (int Level = 0;; ++Level) {
            if (!*Slot) {
                *Slot = std::make_unique<TOctreeNode>();
                TOctreeNode* N = Slot->get();
                if (Level == FColorBits) {
                    N->IsLeaf = true;
                    ++FLeafCount;
                } else {
                    N->Next = FReducible[Level];
                    FReducible[Level] = N;
                }
            }
            TOctreeNode* N = Slot->get();
            if (N->IsLeaf) {
                ++N->PixelCount;
                N->RedSum += R;
                N->GreenSum += G;
                N->BlueSum += B;
                return;
            }
            const int Shift = 7 - Level;
            const int Mask = 0x80 >> Level;
            const int I = ((R & Mask) >> Shift) * 4 + ((G & Mask) >> Shift) * 2 + ((B & Mask) >> Shift);
            Slot = &N->Child[I];
        }
    }

    void ReduceToLimit() {
        while (FLeafCount > FMaxColors && Reduce()) FReduced = true;
    }
    // True once leaves were folded: the table then holds averages, not the
    // image's own colours.
    bool Reduced() const { return FReduced; }

    // The leaves' average colours in depth-first order, each leaf's Index
    // set; the count is the leaf count.
    std::vector<TRGBQuad> ColorTable() {
        std::vector<TRGBQuad> Table;
        Table.reserve(size_t(FLeafCount));
        std::vector<TOctreeNode*> Stack;
        if (FTree) Stack.push_back(FTree.get());
        while (!Stack.empty()) {
            TOctreeNode* N = Stack.back();
            Stack.pop_back();
            if (N->IsLeaf) {
                N->Index = int32_t(Table.size());
                TRGBQuad Q;
                Q.rgbRed = uint8_t(N->RedSum / N->PixelCount);
                Q.rgbGreen = uint8_t(N->GreenSum / N->PixelCount);
                Q.rgbBlue = uint8_t(N->BlueSum / N->PixelCount);
                Table.push_back(Q);
                continue;
            }
            for (int I = 7; I >= 0; --I)
                if (N->Child[I]) Stack.push_back(N->Child[I].get());
        }
        return Table;
    }

private:
    bool Reduce() {
        int Level = FColorBits - 1;
        while (Level > 0 && FReducible[Level] == nullptr) --Level;
        TOctreeNode* N = FReducible[Level];
        if (N == nullptr) return false;
        FReducible[Level] = N->Next;
        int64_t R = 0, G = 0, B = 0;
        int32_t Children = 0;
        for (auto& C : N->Child) {
            if (!C) continue;
            R += C->RedSum;
            G += C->GreenSum;
            B += C->BlueSum;
            N->PixelCount += C->PixelCount;
            C.reset();
            ++Children;
        }
        N->IsLeaf = true;
        N->RedSum = R;
        N->GreenSum = G;
        N->BlueSum = B;
        FLeafCount -= Children - 1;
        return true;
    }

    std::unique_ptr<TOctreeNode> FTree;
    int32_t FLeafCount = 0;
    std::array<TOctreeNode*, 8> FReducible{};
    int32_t FMaxColors;
    int32_t FColorBits;
    bool FReduced = false;
};

// Exact mapping for an image whose colours all fit the table: every colour
// is a leaf of its own, found through a small open-addressed hash (two
// colours of one 5-5-5 cell must not merge).
class TExactColorLookup {
public:
    explicit TExactColorLookup(const std::vector<TRGBQuad>& Colors) {
        for (size_t I = 0; I < Colors.size() && I < 256; ++I) {
            const uint32_t Key = KeyOf(Colors[I].rgbRed, Colors[I].rgbGreen, Colors[I].rgbBlue);
            size_t H = Home(Key);
            while (FSlots[H].Index >= 0) H = (H + 1) & (kSlots - 1);
            FSlots[H] = {Key, int16_t(I)};
        }
    }
    uint8_t Lookup(uint8_t R, uint8_t G, uint8_t B) {
        const uint32_t Key = KeyOf(R, G, B);
        if (Key == FLastKey) return FLastIndex;
        // Every colour of the image is in the table, so the probe ends at
        // its slot; an empty slot (never met) gives index 0.
        uint8_t Index = 0;
        for (size_t H = Home(Key);; H = (H + 1) & (kSlots - 1)) {
            if (FSlots[H].Index < 0) break;
            if (FSlots[H].Key == Key) {
                Index = uint8_t(FSlots[H].Index);
                break;
            }
        }
        FLastKey = Key;
        FLastIndex = Index;
        return Index;
    }

private:
    static constexpr size_t kSlots = 1024;  // a power of two, four times the table
    struct TSlot {
        uint32_t Key = 0;
        int16_t Index = -1;
    };
    static uint32_t KeyOf(uint8_t R, uint8_t G, uint8_t B) {
        return uint32_t(R) << 16 | uint32_t(G) << 8 | B;
    }
    static size_t Home(uint32_t Key) { return size_t((Key * 2654435761u) >> 22) & (kSlots - 1); }
    std::array<TSlot, kSlots> FSlots{};
    uint32_t FLastKey = 0xFFFFFFFFu;
    uint8_t FLastIndex = 0;
};

// Nearest-colour mapping cached per 5-5-5 colour cell: a cell's first
// lookup searches the palette (lowest index on ties) and every later colour
// of the cell takes the same answer.
class TFastColorLookup {
public:
    explicit TFastColorLookup(const std::vector<TRGBQuad>& Colors)
        : FColors(Colors), FInverse(32768, -1) {
        for (size_t I = 0; I < FColors.size() && I < 256; ++I) {
            int16_t& Cell = FInverse[CellOf(FColors[I].rgbRed, FColors[I].rgbGreen, FColors[I].rgbBlue)];
            if (Cell == -1) Cell = int16_t(I);
        }
    }
    uint8_t Lookup(uint8_t R, uint8_t G, uint8_t B) {
        int16_t& Cell = FInverse[CellOf(R, G, B)];
        if (Cell != -1) return uint8_t(Cell);
        int Best = 196608;
        int16_t BestIndex = 0;
        for (size_t I = 0; I < FColors.size() && I < 256; ++I) {
            const int D = std::abs(R - FColors[I].rgbRed) + std::abs(G - FColors[I].rgbGreen) +
                          std::abs(B - FColors[I].rgbBlue);
            if (D < Best) {
                Best = D;
                BestIndex = int16_t(I);
            }
        }
        Cell = BestIndex;
        return uint8_t(BestIndex);
    }

private:
    static size_t CellOf(uint8_t R, uint8_t G, uint8_t B) {
        return size_t(B >> 3) * 1024 + size_t(G >> 3) * 32 + size_t(R >> 3);
    }
    const std::vector<TRGBQuad>& FColors;
    std::vector<int16_t> FInverse;
};

// ---------------------------------------------------------------------------
// Variable-length-code LZW of the GIF format.

// Data sub-blocks of at most 255 bytes, each behind its length byte.
class TGIFStream {
public:
    explicit TGIFStream(std::string& Out) : FOut(Out) {}
    void WriteByte(uint8_t B) {
        FData.push_back(char(B));
        if (FData.size() == 255) Flush();
    }
    void Flush() {
        if (FData.empty()) return;
        FOut.push_back(char(FData.size()));
        FOut += FData;
        FData.clear();
    }

private:
    std::string& FOut;
    std::string FData;
};

// The string table: an open-addressed hash of 8,009 slots, each packing
// the key (prefix code × 256 + pixel) and its code into one word.
class THashTable {
public:
    static constexpr uint32_t kSlots = 8009;
    THashTable() : FSlots(kSlots) { Clear(); }
    void Clear() { std::fill(FSlots.begin(), FSlots.end(), 0xFFFFFFFFu); }
    void Insert(uint32_t Key, int32_t Code) {
        uint32_t H = Home(Key);
        while (!Empty(FSlots[H])) H = NextSlot(H);
        FSlots[H] = (Key << 12) | (uint32_t(Code) & 0xFFF);
    }
    int32_t Lookup(uint32_t Key) const {
        uint32_t H = Home(Key);
        while (!Empty(FSlots[H])) {
            if ((FSlots[H] & 0xFFFFF000u) == (Key << 12)) return int32_t(FSlots[H] & 0xFFF);
            H = NextSlot(H);
        }
        return -1;
    }

private:
    static bool Empty(uint32_t Slot) { return Slot >= 0xFFFFF000u; }
    static uint32_t Home(uint32_t Key) { return ((Key >> 4) ^ Key) % kSlots; }
    static uint32_t NextSlot(uint32_t H) {
        if (H == 0) return kSlots - 1;
        return 2 * H >= kSlots ? 2 * H - kSlots : 2 * H;
    }
    std::vector<uint32_t> FSlots;
};

class TGIFEncoder {
public:
    // Appends the minimum code size, the data sub-blocks and the block
    // terminator to Out.
    void Compress(std::string& Out, int32_t BitsPerPixel, const uint8_t* Data, int64_t Count) {
        if (BitsPerPixel < 2) BitsPerPixel = 2;
        FInitialBitsPerCode = BitsPerPixel + 1;
        Out.push_back(char(BitsPerPixel));
        FBitsPerCode = FInitialBitsPerCode;
        FMaxCode = (1 << FBitsPerCode) - 1;
        FClearCode = 1 << BitsPerPixel;
        FEOFCode = FClearCode + 1;
        TGIFStream GIFStream(Out);
        FStream = &GIFStream;
        if (Data != nullptr && Count > 0) EncodeData(Data, Count);
        EmitCode(FEOFCode);
        GIFStream.Flush();
        Out.push_back(0);
    }

private:
    void EncodeData(const uint8_t* Data, int64_t Count) {
        ClearCodeTable();
        int32_t Prefix = Data[0];
        for (int64_t I = 1; I < Count; ++I) {
            const uint8_t C = Data[I];
            const uint32_t Key = uint32_t(Prefix) * 256 + C;
            const int32_t Code = FTable.Lookup(Key);
            if (Code >= 0) {
                Prefix = Code;
                continue;
            }
            EmitCode(Prefix);
            Prefix = C;
            if (FFreeEntry >= 4095) {
                ClearCodeTable();
            } else {
                FTable.Insert(Key, FFreeEntry);
                ++FFreeEntry;
            }
        }
        EmitCode(Prefix);
    }
    void ClearCodeTable() {
        FClearFlag = true;
        EmitCode(FClearCode);
        FTable.Clear();
        FFreeEntry = FClearCode + 2;
    }
    void EmitCode(int32_t Code) {
        if (FOutputBits < 1)
            FBucket = uint32_t(Code);
        else
            FBucket = (uint32_t(Code) << FOutputBits) | (FBucket & ((1u << FOutputBits) - 1));
        FOutputBits += FBitsPerCode;
        while (FOutputBits > 7) {
            FStream->WriteByte(uint8_t(FBucket));
            FBucket >>= 8;
            FOutputBits -= 8;
        }
        if (Code == FEOFCode) {
            while (FOutputBits > 0) {
                FStream->WriteByte(uint8_t(FBucket));
                FBucket >>= 8;
                FOutputBits -= 8;
            }
        }
        if (FFreeEntry > FMaxCode || FClearFlag) {
            if (FClearFlag) {
                FBitsPerCode = FInitialBitsPerCode;
                FMaxCode = (1 << FBitsPerCode) - 1;
                FClearFlag = false;
            } else {
                ++FBitsPerCode;
                FMaxCode = FBitsPerCode >= 12 ? 4096 : (1 << FBitsPerCode) - 1;
            }
        }
    }

    TGIFStream* FStream = nullptr;
    THashTable FTable;
    uint32_t FBucket = 0;
    int32_t FOutputBits = 0;
    bool FClearFlag = false;
    int32_t FBitsPerCode = 0, FInitialBitsPerCode = 0;
    int32_t FMaxCode = 0, FClearCode = 0, FEOFCode = 0;
    int32_t FFreeEntry = 0;
};

void Put16(std::string& S, uint32_t V) {
    S.push_back(char(V & 0xFF));
    S.push_back(char((V >> 8) & 0xFF));
}

}  // namespace

void TPDFGIFWriter::Assign(const TBitmap& Source) {
    FBitmap.reset();
    FWidth = FHeight = 0;
    if (Source.Width() > 65535 || Source.Height() > 65535)
        throw EPageWriterError("a GIF image cannot be wider or taller than 65,535 pixels");
    TBitmap Copy;
    const TBitmap* BM = &Source;
    if (Source.PixelFormat() != pf24bit) {
        Copy.Assign(Source);
        Copy.SetPixelFormat(pf24bit);
        BM = &Copy;
    }
    const int W = BM->Width(), H = BM->Height();
    TColorQuantizer Q(256, 8);
    for (int Y = 0; Y < H; ++Y) {
        const uint8_t* Row = BM->ScanLine(Y);
        for (int X = 0; X < W; ++X) Q.AddColor(Row[3 * X + 2], Row[3 * X + 1], Row[3 * X]);
        Q.ReduceToLimit();
    }
    // Only the leaves are searched; the table's unused entries are black.
    const std::vector<TRGBQuad> Leaves = Q.ColorTable();
    std::vector<TRGBQuad> Palette(256);
    std::copy(Leaves.begin(), Leaves.end(), Palette.begin());
    auto Result = std::make_unique<TBitmap>(W, H, pf8bit);
    Result->SetPalette(Palette);
    auto MapRows = [&](auto& Lookup) {
        for (int Y = 0; Y < H; ++Y) {
            const uint8_t* Row = BM->ScanLine(Y);
            uint8_t* Out = Result->ScanLine(Y);
            for (int X = 0; X < W; ++X)
                Out[X] = Lookup.Lookup(Row[3 * X + 2], Row[3 * X + 1], Row[3 * X]);
        }
    };
    if (Q.Reduced()) {
        TFastColorLookup Lookup(Leaves);
        MapRows(Lookup);
    } else {
        TExactColorLookup Lookup(Leaves);
        MapRows(Lookup);
    }
    FWidth = W;
    FHeight = H;
    FBitmap = std::move(Result);
}

void TPDFGIFWriter::SaveToStream(TStream& Stream) const {
    std::string Out = "GIF87a";
    Put16(Out, uint32_t(FWidth));
    Put16(Out, uint32_t(FHeight));
    Out += std::string("\x70\x00\x00", 3);
    Out.push_back(',');
    Put16(Out, 0);
    Put16(Out, 0);
    Put16(Out, uint32_t(FWidth));
    Put16(Out, uint32_t(FHeight));
    Out.push_back(char(0x87));
    for (int I = 0; I < 256; ++I) {
        TRGBQuad Q;
        if (FBitmap && size_t(I) < FBitmap->Palette().size()) Q = FBitmap->Palette()[size_t(I)];
        Out.push_back(char(Q.rgbRed));
        Out.push_back(char(Q.rgbGreen));
        Out.push_back(char(Q.rgbBlue));
    }
    std::vector<uint8_t> Pixels(size_t(FWidth) * size_t(FHeight));
    for (int Y = 0; FBitmap && Y < FHeight; ++Y)
        std::memcpy(Pixels.data() + size_t(Y) * size_t(FWidth), FBitmap->ScanLine(Y), size_t(FWidth));
    TGIFEncoder Encoder;
    Encoder.Compress(Out, 8, Pixels.empty() ? nullptr : Pixels.data(), int64_t(Pixels.size()));
    Out.push_back(';');
    Stream.WriteBuffer(Out);
}

void TPDFGIFWriter::SaveToFile(const std::u16string& FileName) const {
    auto S = CreateWideFileStream(FileName, 0xFF00);
    SaveToStream(*S);
}

void SaveBitmapAsGIF(const TBitmap& Bitmap, TStream& Target) {
    TPDFGIFWriter W;
    W.Assign(Bitmap);
    W.SaveToStream(Target);
}

}  // namespace velmo
