#include "codecs/GIFDecoder.h"

#include <algorithm>

#include "core/LZW.h"

namespace velmo {

namespace {

// The largest screen decoded, and the pixels all frames together may paint
// (clipped to the screen): a small file may claim any size, and many
// screen-sized frames of a few bytes each must not take minutes.
constexpr int64_t kMaxScreenPixels = int64_t(1) << 26;
constexpr int64_t kMaxPaintedPixels = int64_t(1) << 26;

// Reads from a byte string; past its end numbers read 0 and the next block
// introducer ";".
class TReader {
public:
    explicit TReader(std::string_view S) : FData(S) {}
    bool AtEnd() const { return FPos >= FData.size(); }
    uint8_t Byte() { return AtEnd() ? 0 : uint8_t(FData[FPos++]); }
    uint16_t Word() {
        const uint16_t Lo = Byte();
        return uint16_t(Lo | Byte() << 8);
    }
    std::string_view Take(size_t N) {
        const size_t Len = std::min(N, FData.size() - std::min(FPos, FData.size()));
        std::string_view V = FData.substr(std::min(FPos, FData.size()), Len);
        FPos += Len;
        return V;
    }
    // A run of data sub-blocks up to the zero length (or the end).
    void SubBlocks(std::string* Into) {
        while (!AtEnd()) {
            const uint8_t Len = Byte();
            if (Len == 0) return;
            std::string_view B = Take(Len);
            if (Into != nullptr) Into->append(B);
        }
    }

private:
    std::string_view FData;
    size_t FPos = 0;
};

std::vector<TPDFGIFRGB> ReadTable(TReader& R, size_t Count) {
    std::vector<TPDFGIFRGB> T(Count);
    for (TPDFGIFRGB& C : T) {
        C.Red = R.Byte();
        C.Green = R.Byte();
        C.Blue = R.Byte();
    }
    return T;
}

}  // namespace

void TPDFGIFDecoder::LoadFromStream(TStream& Source) {
    const int64_t Pos = Source.Position();
    const int64_t Left = std::max<int64_t>(Source.Size() - Pos, 0);
    std::string Data(size_t(Left), '\0');
    const int64_t Got = Left > 0 ? Source.Read(Data.data(), Left) : 0;
    Data.resize(size_t(std::max<int64_t>(Got, 0)));
    LoadFromString(Data);
}

void TPDFGIFDecoder::LoadFromString(std::string_view Source) {
    *this = TPDFGIFDecoder();
    TReader R(Source);
    std::string_view Sig = R.Take(6);
    if (Sig.size() == 6 && Sig.substr(0, 3) == "GIF") FVersion = std::string(Sig.substr(3));
    FValidVersion = FVersion == "87a" || FVersion == "89a";
    if (!FValidVersion) return;

    TPDFGIFLogicalScreen& L = FLogicalScreen;
    L.Width = R.Word();
    L.Height = R.Word();
    const uint8_t Packed = R.Byte();
    L.GlobalColorTable = (Packed & 0x80) != 0;
    L.Colors = uint16_t(1u << (((Packed >> 4) & 7) + 1));
    L.GCTSorted = (Packed & 0x08) != 0;
    L.GCTSize = uint16_t(1u << ((Packed & 7) + 1));
    L.BackgroundColorIndex = R.Byte();
    const uint8_t Aspect = R.Byte();
    L.PixelAspectRatio = Aspect == 0 ? 1.0 : (Aspect + 15) / 64.0;
    if (L.GlobalColorTable) FGlobalColorTable = ReadTable(R, L.GCTSize);

    FLastGraphicControl = TPDFGIFGraphicControlExtension();
    while (!FError) {
        const uint8_t Intro = R.AtEnd() ? uint8_t(';') : R.Byte();
        if (Intro == ';') break;
        if (Intro == '!') {
            const uint8_t Label = R.Byte();
            if (Label == 249) {
                if (R.Byte() != 4) {
                    FError = true;
                    break;
                }
                TPDFGIFGraphicControlExtension G;
                const uint8_t P = R.Byte();
                G.DisposalMethod = (P >> 2) & 7;
                G.UserInput = (P & 2) != 0;
                G.Transparent = (P & 1) != 0;
                G.DelayTime = R.Word();
                G.TransparentColorIndex = R.Byte();
                if (R.Byte() != 0) {
                    FError = true;
                    break;
                }
                G.Valid = true;
                FLastGraphicControl = G;
            } else {
                R.SubBlocks(nullptr);
            }
        } else if (Intro == ',') {
            TPDFGIFImageBlock B;
            B.Left = R.Word();
            B.Top = R.Word();
            B.Width = R.Word();
            B.Height = R.Word();
            const uint8_t P = R.Byte();
            B.HasLocalColorTable = (P & 0x80) != 0;
            B.Interlaced = (P & 0x40) != 0;
            B.LCTSorted = (P & 0x20) != 0;
            B.LCTSize = uint16_t(1u << ((P & 7) + 1));
            if (B.HasLocalColorTable) B.LocalColorTable = ReadTable(R, B.LCTSize);
            B.LZWMinimumCodeSize = R.Byte();
            R.SubBlocks(&B.ImageData);
            B.Control = FLastGraphicControl;
            FLastGraphicControl = TPDFGIFGraphicControlExtension();
            FImageBlocks.push_back(std::move(B));
        }
        // any other byte is skipped
    }
}

TColor TPDFGIFDecoder::BackgroundColor() const {
    if (!FLogicalScreen.GlobalColorTable) return 0;
    const size_t I = FLogicalScreen.BackgroundColorIndex;
    if (I >= FGlobalColorTable.size()) return 0;
    const TPDFGIFRGB& C = FGlobalColorTable[I];
    return TColor(C.Red + C.Green * 256 + C.Blue * 65536);
}

void TPDFGIFDecoder::SaveToBitmap(TBitmap& Target) const {
    const int SW = FLogicalScreen.Width, SH = FLogicalScreen.Height;
    Target = TBitmap();
    Target.SetPixelFormat(pf24bit);
    if (int64_t(SW) * SH > kMaxScreenPixels) return;
    Target.SetSize(SW, SH);
    int64_t Budget = kMaxPaintedPixels;
    for (const TPDFGIFImageBlock& B : FImageBlocks) {
        const int64_t W = B.Width, H = B.Height;
        if (W == 0 || H == 0 || W * H > kMaxScreenPixels) continue;
        // The part of the frame on the screen.
        const int64_t VisW = std::clamp<int64_t>(SW - B.Left, 0, W);
        const int64_t VisH = std::clamp<int64_t>(SH - B.Top, 0, H);
        if (VisW == 0 || VisH == 0) continue;
        // Indices are needed up to the last visible row (every row when
        // interlaced); that many count against the budget.
        const int64_t Needed = W * (B.Interlaced ? H : VisH);
        if (Needed > Budget) break;
        Budget -= Needed;
        TPDFLZWDecompressor D;
        D.SetFillOrder(foBottom);
        D.SetEarlyChange(false);
        D.SetInitialCodeSize(uint32_t(B.LZWMinimumCodeSize) + 1);
        D.SetMaxOutput(size_t(Needed) + TPDFLZWDecompressor::kTableSize);
        const std::string Indices = D.Decompress(B.ImageData);
        const std::vector<TPDFGIFRGB>& Table = B.HasLocalColorTable ? B.LocalColorTable : FGlobalColorTable;
        // Rows in stored order, mapped to image rows (interlaced: four passes).
        int64_t Stored = 0;
        auto PaintRow = [&](int64_t ImageRow) {
            const int64_t RowStart = Stored++ * W;
            if (ImageRow >= VisH) return;
            uint8_t* Dst = Target.ScanLine(int(B.Top + ImageRow)) + 3 * int64_t(B.Left);
            for (int64_t X = 0; X < VisW; ++X) {
                const int64_t At = RowStart + X;
                const size_t Index = At < int64_t(Indices.size()) ? uint8_t(Indices[size_t(At)]) : 0;
                // Indices beyond the table are black.
                TPDFGIFRGB C;
                if (Index < Table.size()) C = Table[Index];
                Dst[3 * X] = C.Blue;
                Dst[3 * X + 1] = C.Green;
                Dst[3 * X + 2] = C.Red;
            }
        };
        if (!B.Interlaced) {
            for (int64_t Y = 0; Y < H; ++Y) PaintRow(Y);
        } else {
            static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
            for (int Pass = 0; Pass < 4; ++Pass)
                for (int64_t Y = kStart[Pass]; Y < H; Y += kStep[Pass]) PaintRow(Y);
        }
    }
}

}  // namespace velmo
