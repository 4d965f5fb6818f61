#include "render/EPSExport.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <stdexcept>

#include "core/ASCII85.h"
#include "core/Flate.h"
#include "core/StringHelpers.h"
#include "platform/gdi/Bitmap.h"
#include "render/Dither.h"

namespace velmo {

namespace {

// A dithered mask is made at twice the mask's size unless that would exceed
// this many pixels; larger masks are dithered at their own size.
constexpr int64_t kMaxDoubledMaskPixels = int64_t(1) << 26;

int64_t RoundHalfEven(double V) {
    if (!std::isfinite(V)) return 0;
    return int64_t(std::nearbyint(std::clamp(V, -2.0e9, 2.0e9)));
}

// The colour's name text: from its first "(" to the parenthesis that closes
// it (escaped parentheses inside the name are skipped).
size_t NameEnd(const std::string& Color, size_t Open) {
    int Depth = 0;
    for (size_t I = Open; I < Color.size(); ++I) {
        const char C = Color[I];
        if (C == '\\') {
            ++I;
        } else if (C == '(') {
            ++Depth;
        } else if (C == ')' && --Depth == 0) {
            return I;
        }
    }
    return std::string::npos;
}

bool Dark(const TRGBQuad& Q) {
    return 77 * int32_t(Q.rgbRed) + 150 * int32_t(Q.rgbGreen) + 29 * int32_t(Q.rgbBlue) <= 0x7F00;
}

bool IsGrayRamp(const std::vector<TRGBQuad>& P) {
    for (size_t I = 0; I < P.size(); ++I)
        if (P[I].rgbRed != I || P[I].rgbGreen != I || P[I].rgbBlue != I) return false;
    return true;
}

// The 1-bit samples of a black-and-white bitmap with 1 where a pixel is
// dark (Light: where it is light), whatever its palette says.
std::string ToneBits(const TBitmap& BM, bool Light) {
    const int W = BM.Width(), H = BM.Height();
    const size_t RowBytes = (size_t(W) + 7) / 8;
    const auto& P = BM.Palette();
    const bool Dark0 = P.size() < 1 || Dark(P[0]);
    const bool Dark1 = P.size() >= 2 ? Dark(P[1]) : false;
    std::string Out(RowBytes * size_t(H), '\0');
    for (int Y = 0; Y < H; ++Y) {
        const uint8_t* S = BM.ScanLine(Y);
        uint8_t* D = reinterpret_cast<uint8_t*>(Out.data()) + RowBytes * size_t(Y);
        if (Dark1 && !Dark0) {
            std::copy(S, S + RowBytes, D);
        } else if (!Dark1 && Dark0) {
            for (size_t I = 0; I < RowBytes; ++I) D[I] = uint8_t(~S[I]);
        } else {
            std::fill(D, D + RowBytes, Dark0 ? 0xFF : 0x00);
        }
        if (Light)
            for (size_t I = 0; I < RowBytes; ++I) D[I] = uint8_t(~D[I]);
        // Bits past the width stay clear.
        if (W % 8) D[RowBytes - 1] &= uint8_t(0xFF << (8 - W % 8));
    }
    return Out;
}

// The 1-bit mask of the image: the mask at twice its size (within the cap),
// dithered, 1 where it is white.
std::string MaskBits(const TBitmap& Mask, int& MW, int& MH) {
    TBitmap Source;
    Source.Assign(Mask);
    Source.SetPixelFormat(pf24bit);
    const int W = Source.Width(), H = Source.Height();
    const int Scale = int64_t(W) * H * 4 <= kMaxDoubledMaskPixels ? 2 : 1;
    TBitmap Doubled(W * Scale, H * Scale, pf24bit);
    for (int Y = 0; Y < Doubled.Height(); ++Y) {
        const uint8_t* S = Source.ScanLine(Y / Scale);
        uint8_t* D = Doubled.ScanLine(Y);
        for (int X = 0; X < Doubled.Width(); ++X) std::copy(S + 3 * (X / Scale), S + 3 * (X / Scale) + 3, D + 3 * X);
    }
    TBitmap Dithered;
    DitherToMonochrome(Doubled, Dithered);
    MW = Dithered.Width();
    MH = Dithered.Height();
    const size_t RowBytes = (size_t(MW) + 7) / 8;
    std::string Out(RowBytes * size_t(MH), '\0');
    for (int Y = 0; Y < MH; ++Y) {
        const uint8_t* S = Dithered.ScanLine(Y);
        uint8_t* D = reinterpret_cast<uint8_t*>(Out.data()) + RowBytes * size_t(Y);
        for (int X = 0; X < MW; ++X)
            if (S[X]) D[X / 8] |= uint8_t(0x80 >> (X % 8));
    }
    return Out;
}

}  // namespace

std::string TPDFEPSExport::FormatPSNumber(double V) { return FormatNumber(V, 4) + " "; }

std::string TPDFEPSExport::FormatPSInteger(int64_t N) { return std::to_string(N) + " "; }

void TPDFEPSExport::EmitLine(std::string Text) {
    if (!Text.empty() && Text.back() == ' ') Text.pop_back();
    FBuffer.push_back(std::move(Text));
}

void TPDFEPSExport::StartDocument(double Left, double Bottom, double Right, double Top) {
    FBuffer.clear();
    // PostScript starts every page in black: a first black fill needs no
    // colour line, while any other first colour must be written.
    FLastColor = "0 setgray";
    EmitLine("%!PS-Adobe-3.0 EPSF-3.0");
    EmitLine("%%BoundingBox: " + std::to_string(RoundHalfEven(Left)) + " " +
             std::to_string(RoundHalfEven(Bottom)) + " " + std::to_string(RoundHalfEven(Right)) +
             " " + std::to_string(RoundHalfEven(Top)));
    EmitLine("%%Creator: (Velmo PDF Library DVer)");
    EmitLine("%%DocumentProcessColors: (Cyan) (Magenta) (Yellow) (Black)");
    EmitLine("%%EndComments");
    EmitLine("%%KorbexPDFLibrary-Start");
    for (const char* P :
         {"/c { curveto } def", "/cm { concat } def", "/cp { currentpoint } def",
          "/f { fill } def", "/f* { eofill } def", "/h { closepath } def",
          "/j { setlinejoin } def", "/J { setlinecap } def", "/l { lineto } def",
          "/m { moveto } def", "/M { setmiterlimit } def", "/n { newpath } def",
          "/q { gsave } def", "/Q { grestore } def", "/s { stroke } def",
          "/w { setlinewidth } def", "/W { clip } def", "/W* { eoclip } def"})
        EmitLine(P);
    EmitLine("%%KorbexPDFLibrary-End");
    FImages.clear();
}

void TPDFEPSExport::FinishDocument() {
    auto End = std::find(FBuffer.begin(), FBuffer.end(), "%%EndComments");
    if (End != FBuffer.end()) {
        std::vector<std::string> Comments;
        for (size_t I = 0; I < FCustomColors.size(); ++I) {
            const std::string& C = FCustomColors[I];
            const size_t Open = C.find('(');
            const size_t Close = Open == std::string::npos ? std::string::npos : NameEnd(C, Open);
            const std::string Name =
                Close == std::string::npos ? std::string() : C.substr(Open, Close - Open + 1);
            Comments.push_back((I == 0 ? "%%DocumentCustomColors: " : "%%+ ") + Name);
        }
        for (size_t I = 0; I < FCustomColors.size(); ++I) {
            const std::string& C = FCustomColors[I];
            const size_t Open = C.find('(');
            const size_t Close = Open == std::string::npos ? std::string::npos : NameEnd(C, Open);
            const std::string Tints = Close == std::string::npos ? C : C.substr(0, Close + 1);
            Comments.push_back((I == 0 ? "%%CMYKCustomColor: " : "%%+ ") + Tints);
        }
        FBuffer.insert(End, Comments.begin(), Comments.end());
    }
    EmitLine("%%EOF");
}

std::string TPDFEPSExport::Text() const {
    std::string S;
    for (const std::string& L : FBuffer) {
        S += L;
        S += "\r\n";
    }
    return S;
}

void TPDFEPSExport::SaveToStream(TStream& Target) const {
    for (const std::string& L : FBuffer) {
        Target.WriteBuffer(L);
        Target.WriteBuffer(std::string_view("\r\n"));
    }
}

void TPDFEPSExport::SaveToFile(const std::string& FileName) const {
    std::ofstream F(FileName, std::ios::binary | std::ios::trunc);
    if (!F) throw std::runtime_error("cannot create " + FileName);
    const std::string S = Text();
    F.write(S.data(), std::streamsize(S.size()));
    if (!F) throw std::runtime_error("cannot write " + FileName);
}

// ---- Generic canvas ----

void TPDFEPSExport::BeginPath() { EmitLine("n"); }

void TPDFEPSExport::MoveTo(double NewX, double NewY) {
    FX = NewX;
    FY = NewY;
    EmitLine(FormatPSNumber(NewX) + FormatPSNumber(NewY) + "m");
}

void TPDFEPSExport::AddLineToPath(double EndX, double EndY) {
    FX = EndX;
    FY = EndY;
    EmitLine(FormatPSNumber(EndX) + FormatPSNumber(EndY) + "l");
}

void TPDFEPSExport::AddBezierToPath(double CtAX, double CtAY, double CtBX, double CtBY, double EndX,
                                    double EndY) {
    PSCurveTo(CtAX, CtAY, CtBX, CtBY, EndX, EndY);
    FX = EndX;
    FY = EndY;
}

void TPDFEPSExport::AddQBezierToPath(double QX, double QY, double EndX, double EndY) {
    PSCurveTo(FX + 2.0 / 3 * (QX - FX), FY + 2.0 / 3 * (QY - FY), QX + 1.0 / 3 * (EndX - QX),
              QY + 1.0 / 3 * (EndY - QY), EndX, EndY);
    FX = EndX;
    FY = EndY;
}

void TPDFEPSExport::ClosePath() { EmitLine("h"); }
void TPDFEPSExport::StrokePath() { EmitLine("s"); }
void TPDFEPSExport::FillPath() { EmitLine("f"); }

void TPDFEPSExport::StrokeAndFillPath() {
    EmitLine("f");
    EmitLine("s");
}

// ---- PostScript operations ----

void TPDFEPSExport::PSNewPath() { EmitLine("n"); }

void TPDFEPSExport::PSMoveTo(double X, double Y) {
    EmitLine(FormatPSNumber(X) + FormatPSNumber(Y) + "m");
}

void TPDFEPSExport::PSLineTo(double X, double Y) {
    EmitLine(FormatPSNumber(X) + FormatPSNumber(Y) + "l");
}

void TPDFEPSExport::PSCurveTo(double X1, double Y1, double X2, double Y2, double X3, double Y3) {
    EmitLine(FormatPSNumber(X1) + FormatPSNumber(Y1) + FormatPSNumber(X2) + FormatPSNumber(Y2) +
             FormatPSNumber(X3) + FormatPSNumber(Y3) + "c");
}

void TPDFEPSExport::PSCurveToV(double X2, double Y2, double X3, double Y3) {
    EmitLine("cp " + FormatPSNumber(X2) + FormatPSNumber(Y2) + FormatPSNumber(X3) +
             FormatPSNumber(Y3) + "c");
}

void TPDFEPSExport::PSCurveToY(double X1, double Y1, double X3, double Y3) {
    EmitLine(FormatPSNumber(X1) + FormatPSNumber(Y1) + FormatPSNumber(X3) + FormatPSNumber(Y3) +
             FormatPSNumber(X3) + FormatPSNumber(Y3) + "c");
}

void TPDFEPSExport::PSClosePath() { EmitLine("h"); }
void TPDFEPSExport::PSStroke() { EmitLine("s"); }
void TPDFEPSExport::PSFill(bool EvenOdd) { EmitLine(EvenOdd ? "f*" : "f"); }
void TPDFEPSExport::PSClip(bool EvenOdd) { EmitLine(EvenOdd ? "W*" : "W"); }

void TPDFEPSExport::PSSaveGraphicsState() {
    EmitLine("q");
    FColorStack.push_back(FLastColor);
}

void TPDFEPSExport::PSRestoreGraphicsState() {
    EmitLine("Q");
    if (!FColorStack.empty()) {
        FLastColor = std::move(FColorStack.back());
        FColorStack.pop_back();
    }
}

void TPDFEPSExport::PSConcat(const TPDFXForm& M) {
    EmitLine("[ " + FormatPSNumber(M.eM11) + FormatPSNumber(M.eM12) + FormatPSNumber(M.eM21) +
             FormatPSNumber(M.eM22) + FormatPSNumber(M.eDx) + FormatPSNumber(M.eDy) + "] cm");
}

void TPDFEPSExport::PSSetColor(const std::string& ColorText) {
    if (ColorText.find("findcmykcustomcolor") != std::string::npos &&
        std::find(FCustomColors.begin(), FCustomColors.end(), ColorText) == FCustomColors.end())
        FCustomColors.push_back(ColorText);
    if (ColorText == FLastColor) return;
    EmitLine(ColorText);
    FLastColor = ColorText;
}

void TPDFEPSExport::PSSetLineWidth(double Width) {
    if (Width > 1000) Width = 1;
    EmitLine(FormatPSNumber(Width) + "w");
}

void TPDFEPSExport::PSSetLineCap(int32_t Cap) { EmitLine(FormatPSInteger(Cap) + "J"); }
void TPDFEPSExport::PSSetLineJoin(int32_t Join) { EmitLine(FormatPSInteger(Join) + "j"); }
void TPDFEPSExport::PSSetMiterLimit(double Limit) { EmitLine(FormatPSNumber(Limit) + "M"); }

// ---- Images ----

void TPDFEPSExport::EmitData(const std::string& Bytes) {
    EmitLine("currentfile /ASCII85Decode filter /FlateDecode filter");
    EmitLine("/ReusableStreamDecode filter");
    FBuffer.push_back(EncodeASCII85(FlateCompress(Bytes)));
}

void TPDFEPSExport::PSImageFromBitmap(const TBitmap& BM, const TBitmap* Mask,
                                      const std::string& ResName, bool IsMask, bool CMYK,
                                      bool Reusable) {
    if (BM.Empty()) return;
    const bool Masked = Mask != nullptr && !Mask->Empty();
    if (Reusable) {
        if (PSRepaintImage(ResName)) return;
    }
    TImageEntry Entry;
    Entry.Masked = Masked && !IsMask;
    Entry.Stencil = IsMask;
    Entry.Space = WriteImageData(BM, Entry.Masked ? Mask : nullptr, ResName, IsMask, CMYK);
    if (Reusable) FImages.emplace(ResName, Entry);
    PaintImage(ResName, Entry);
}

bool TPDFEPSExport::PSRepaintImage(const std::string& ResName) {
    auto It = FImages.find(ResName);
    if (It == FImages.end()) return false;
    PaintImage(ResName, It->second);
    return true;
}

std::string TPDFEPSExport::WriteImageData(const TBitmap& Source, const TBitmap* Mask,
                                          const std::string& Name, bool IsMask, bool CMYK) {
    int MW = 0, MH = 0;
    if (Mask) {
        std::string Bits = MaskBits(*Mask, MW, MH);
        EmitData(Bits);
        EmitLine("/maskstreamfor" + Name + " exch def");
    }

    // 1-bit samples are written dark = 1; palettes other than a grey ramp,
    // 4-bit bitmaps and B, G, R, A bitmaps are written as RGB.
    TBitmap Converted;
    const TBitmap* BM = &Source;
    const TPixelFormat F = Source.PixelFormat();
    if (IsMask && F != pf1bit) {
        Converted.Assign(Source);
        Converted.SetPixelFormat(pf1bit);
        BM = &Converted;
    } else if (F == pf4bit || (F == pf8bit && !IsGrayRamp(Source.Palette())) ||
               (F == pf32bit && !CMYK)) {
        Converted.Assign(Source);
        Converted.SetPixelFormat(pf24bit);
        BM = &Converted;
    }
    const int W = BM->Width(), H = BM->Height();
    const TPixelFormat Format = BM->PixelFormat();
    std::string Data;
    if (Format == pf1bit) {
        // A stencil paints where it is light: those samples become 1.
        Data = ToneBits(*BM, IsMask);
    } else {
        const int N = Format == pf8bit ? 1 : Format == pf24bit ? 3 : 4;
        Data.resize(size_t(W) * size_t(H) * size_t(N));
        uint8_t* D = reinterpret_cast<uint8_t*>(Data.data());
        for (int Y = 0; Y < H; ++Y) {
            const uint8_t* S = BM->ScanLine(Y);
            if (N == 3) {
                for (int X = 0; X < W; ++X, S += 3, D += 3) {
                    D[0] = S[2];
                    D[1] = S[1];
                    D[2] = S[0];
                }
            } else {
                D = std::copy(S, S + size_t(W) * size_t(N), D);
            }
        }
    }
    EmitData(Data);
    EmitLine("/datastreamfor" + Name + " exch def");

    // A stencil paints in the current colour and sets no space.
    const char* Space = IsMask              ? ""
                        : Format == pf24bit ? "/DeviceRGB setcolorspace"
                        : Format == pf32bit ? "/DeviceCMYK setcolorspace"
                                            : "/DeviceGray setcolorspace";
    const std::string Ws = std::to_string(W), Hs = std::to_string(H);
    EmitLine("/ImageDataDictionaryfor" + Name + " 8 dict def");
    EmitLine("ImageDataDictionaryfor" + Name + " begin");
    EmitLine("/ImageType 1 def");
    EmitLine("/Width " + Ws + " def");
    EmitLine("/Height " + Hs + " def");
    EmitLine(Format == pf1bit ? "/BitsPerComponent 1 def" : "/BitsPerComponent 8 def");
    EmitLine("/DataSource datastreamfor" + Name + " def");
    EmitLine("/MultipleDataSources false def");
    EmitLine("/ImageMatrix [ " + Ws + " 0 0 -" + Hs + " 0 " + Hs + " ] def");
    switch (Format) {
        case pf1bit:
            EmitLine("/Decode [ 1 0 ] def");
            break;
        case pf8bit:
            EmitLine("/Decode [ 0 1 ] def");
            break;
        case pf24bit:
            EmitLine("/Decode [ 0 1 0 1 0 1 ] def");
            break;
        default:
            EmitLine("/Decode [ 0 1 0 1 0 1 0 1 ] def");
            break;
    }
    EmitLine("end");

    if (Mask) {
        const std::string Ms = std::to_string(MW), Mh = std::to_string(MH);
        EmitLine("/ImageMaskDictionaryfor" + Name + " 8 dict def");
        EmitLine("ImageMaskDictionaryfor" + Name + " begin");
        EmitLine("/ImageType 1 def");
        EmitLine("/Width " + Ms + " def");
        EmitLine("/Height " + Mh + " def");
        EmitLine("/BitsPerComponent 1 def");
        EmitLine("/DataSource maskstreamfor" + Name + " def");
        EmitLine("/MultipleDataSources false def");
        EmitLine("/ImageMatrix [ " + Ms + " 0 0 -" + Mh + " 0 " + Mh + " ] def");
        EmitLine("/Decode [ 1 0 ] def");
        EmitLine("end");
        EmitLine("/MaskedImageDictionaryfor" + Name + " 7 dict def");
        EmitLine("MaskedImageDictionaryfor" + Name + " begin");
        EmitLine("/ImageType 3 def");
        EmitLine("/InterleaveType 3 def");
        EmitLine("/MaskDict ImageMaskDictionaryfor" + Name + " def");
        EmitLine("/DataDict ImageDataDictionaryfor" + Name + " def");
        EmitLine("end");
    }
    return Space;
}

void TPDFEPSExport::PaintImage(const std::string& Name, const TImageEntry& Entry) {
    if (Entry.Stencil) {
        EmitLine("datastreamfor" + Name + " resetfile");
        EmitLine("ImageDataDictionaryfor" + Name + " imagemask");
        return;
    }
    // The image takes the current colour space, which a repeated paint may
    // find changed; setting it leaves the current colour black, so the next
    // colour is written whatever it is.
    EmitLine(Entry.Space);
    FLastColor.clear();
    if (Entry.Masked) {
        EmitLine("maskstreamfor" + Name + " resetfile");
        EmitLine("datastreamfor" + Name + " resetfile");
        EmitLine("MaskedImageDictionaryfor" + Name + " image");
    } else {
        EmitLine("datastreamfor" + Name + " resetfile");
        EmitLine("ImageDataDictionaryfor" + Name + " image");
    }
}

}  // namespace velmo
