// The fax decoder's target: the first four bytes choose the coding, the
// flags and the image size; the rest is the coded data. Every coding is
// also run through the image decoder's call, and the data are wrapped by
// the one-strip TIFF maker. No black bit may land right of the width.
#include <cstdlib>
#include <string>
#include <string_view>

#include "codecs/CCITTDecoder.h"
#include "codecs/TIFFMaker.h"
#include "tests/fuzz/FuzzTargets.h"

namespace velmo::fuzz {

namespace {

void CheckPadding(const TCCITTByteArray& Buffer, int32_t Width, int32_t Height) {
    const size_t RowBytes = size_t((Width + 7) / 8);
    if (Buffer.size() < RowBytes * size_t(Height)) std::abort();
    if (Width % 8 == 0) return;
    const uint8_t Pad = uint8_t(0xFF >> (Width % 8));
    for (int32_t Y = 0; Y < Height; ++Y)
        if (Buffer[size_t(Y) * RowBytes + RowBytes - 1] & Pad) std::abort();
}

}  // namespace

void CCITT(std::string_view Data) {
    if (Data.size() < 4) return;
    const uint8_t Flags = uint8_t(Data[0]);
    const int32_t Width = 1 + ((uint8_t(Data[1]) << 8 | uint8_t(Data[2])) % 2400);
    const int32_t Height = uint8_t(Data[3]) * 2;
    const std::string_view Coded = Data.substr(4);
    const int K = int(Flags % 3) - 1;
    const bool Align = Flags & 4;
    const bool FillBits = Flags & 8;
    const int32_t FillOrder = (Flags & 16) ? 2 : 1;

    TCCITTByteArray Buffer(size_t((Width + 7) / 8) * size_t(Height), 0);
    TVPLCCITTDecoder D(Width, Height, FillOrder, Align, FillBits, 1);
    if (K < 0) {
        D.DecodeT6(Buffer, Coded);
    } else if (K == 0) {
        D.DecodeT41D(Buffer, Coded);
    } else {
        try {
            D.DecodeT42D(Buffer, Coded);
        } catch (const ECCITTError&) {
        }
    }
    CheckPadding(Buffer, Width, Height);

    TCCITTParams P;
    P.K = K;
    P.Columns = Width;
    P.Rows = Height;
    P.EncodedByteAlign = Align;
    TCCITTByteArray Out;
    std::string Message;
    DecodeCCITTFax(P, Coded, Out, &Message);
    CheckPadding(Out, Width, Height);

    TPDFTIFFMaker M;
    M.Source = std::string(Coded);
    M.Width = Width;
    M.Height = Height;
    M.Compression = K < 0 ? ttCCITT4 : K == 0 ? ttCCITT31d : ttCCITT32d;
    M.EncodedByteAlign = Align;
    M.HorizontalDPI = Flags & 32 ? 0 : 96;
    const std::string Tiff = M.WriteTIFFToString();
    if (Tiff.size() < 128 + Coded.size() || Tiff.compare(128, Coded.size(), Coded) != 0)
        std::abort();
}

VPL_FUZZ_TARGET(ccitt, CCITT);

}  // namespace velmo::fuzz
