#include "render/MetafilePattern.h"

#include "core/Flate.h"
#include "core/StringHelpers.h"

namespace velmo {

TPDFPattern::TPDFPattern(TPDFStructure* AStructure, const std::string& AName)
    : TPDFPatternBase(AStructure, AName) {}

TBitmap& TPDFPattern::SetBWToColor(TBitmap& Bitmap, TColor BColor, TColor WColor) {
    Bitmap.SetPixelFormat(pf24bit);
    auto Put = [](uint8_t* P, TColor C) {
        P[0] = uint8_t((C >> 16) & 0xFF);
        P[1] = uint8_t((C >> 8) & 0xFF);
        P[2] = uint8_t(C & 0xFF);
    };
    for (int Y = 0; Y < Bitmap.Height(); ++Y) {
        uint8_t* P = Bitmap.ScanLine(Y);
        for (int X = 0; X < Bitmap.Width(); ++X, P += 3) {
            if (P[0] == 0 && P[1] == 0 && P[2] == 0)
                Put(P, BColor);
            else if (P[0] == 255 && P[1] == 255 && P[2] == 255)
                Put(P, WColor);
        }
    }
    return Bitmap;
}

std::string TPDFPattern::InlineSamples(const TBitmap& BM) {
    TBitmap Converted;
    const TBitmap* B = &BM;
    if (BM.PixelFormat() != pf24bit) {
        Converted.Assign(BM);
        Converted.SetPixelFormat(pf24bit);
        B = &Converted;
    }
    const int W = B->Width(), H = B->Height();
    std::string Out(size_t(W) * size_t(H) * 3, '\0');
    uint8_t* D = reinterpret_cast<uint8_t*>(Out.data());
    for (int Y = 0; Y < H; ++Y) {
        const uint8_t* S = B->ScanLine(Y);
        for (int X = 0; X < W; ++X, S += 3, D += 3) {
            D[0] = S[2];
            D[1] = S[1];
            D[2] = S[0];
        }
    }
    return Out;
}

std::string TPDFPattern::GetInlineStream(const TBitmap& BM) {
    return FlateCompress(InlineSamples(BM));
}

bool TPDFPattern::NewPatternBitMap(const TBitmap& Bitmap, TColor Color) {
    if (!FStructure) return true;
    TBitmap Copy(Bitmap);
    SetBWToColor(Copy, Color, clWhite);
    // A tile pixel is 0.00072 units of the page. Numbers are written with
    // four decimals, which would turn that scale into 0.0007 (tiles 2.8 %
    // small), so the tile is laid out in tenths of a pixel under a matrix of
    // 0.0072: both are exact in four decimals and their product is the scale.
    const int Prec = FStructure->PDFPrecNum;
    const double TileW = Copy.Width() / 10.0, TileH = Copy.Height() / 10.0;
    const std::string W = FormatNumber(Copy.Width(), Prec), H = FormatNumber(Copy.Height(), Prec);
    const std::string TW = FormatNumber(TileW, Prec), TH = FormatNumber(TileH, Prec);
    const std::string CRLF = "\r\n";
    std::string Content = "q " + CRLF + TW + " 0 0 " + TH + " 0 0 cm" + CRLF + "BI" + CRLF +
                          "/BPC 8" + CRLF + "/H " + H + CRLF + "/W " + W + CRLF + "/CS /RGB" +
                          CRLF + "/F /Fl" + CRLF + "ID\r";
    Content += GetInlineStream(Copy);
    Content += CRLF + "EI" + CRLF + "Q" + CRLF;

    TPDFStream* S = FStructure->NewStream(std::move(Content), false);
    TPDFDictionary* D = S->FDictionary;
    D->Add("Type", FStructure->NewName("Pattern"));
    D->Add("PatternType", FStructure->NewNumeric(1));
    D->Add("PaintType", FStructure->NewNumeric(1));
    D->Add("TilingType", FStructure->NewNumeric(1));
    D->Add("BBox", FStructure->NewDoubleArray({0, 0, TileW, TileH}));
    D->Add("XStep", FStructure->NewNumeric(TileW));
    D->Add("YStep", FStructure->NewNumeric(TileH));
    D->Add("Matrix", FStructure->NewDoubleArray({0.0072, 0, 0, 0.0072, 0, 0}));
    D->Add("Resources",
           FStructure->Decode("<< /ProcSet [ /PDF /Text /ImageB /ImageC /ImageI ] >>"));
    if (FStructure->OnNewIndObj) {
        int32_t ObjNum = 0, GenNum = 0;
        FStructure->OnNewIndObj(this, S, ObjNum, GenNum);
        FIndRef = FStructure->NewIndirectRef(ObjNum, GenNum);
    }
    return true;
}

}  // namespace velmo
