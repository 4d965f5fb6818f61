#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdi/Bitmap.h"
#include "platform/gdiplus/ImageCodecs.h"
#include "platform/gdiplus/Internal.h"
#include "platform/metafile/MetafileRecords.h"

namespace velmo::metafile {

void TByteWriter::F32(float V) {
    uint32_t U;
    std::memcpy(&U, &V, 4);
    U32(U);
}

void TByteWriter::PatchU32(size_t At, uint32_t V) {
    for (int I = 0; I < 4; ++I) FBytes[At + size_t(I)] = char((V >> (8 * I)) & 0xFF);
}

uint8_t TByteReader::U8() {
    if (!Has(1)) {
        FFailed = true;
        return 0;
    }
    return uint8_t(FData[FAt++]);
}
uint16_t TByteReader::U16() {
    if (!Has(2)) {
        FFailed = true, FAt = FData.size();
        return 0;
    }
    const uint16_t V = uint16_t(uint8_t(FData[FAt]) | (uint8_t(FData[FAt + 1]) << 8));
    FAt += 2;
    return V;
}
uint32_t TByteReader::U32() {
    if (!Has(4)) {
        FFailed = true, FAt = FData.size();
        return 0;
    }
    const uint32_t Lo = U16();
    return Lo | (uint32_t(U16()) << 16);
}
float TByteReader::F32() {
    const uint32_t U = U32();
    float V;
    std::memcpy(&V, &U, 4);
    return V;
}
std::string_view TByteReader::Take(size_t N) {
    if (!Has(N)) {
        FFailed = true, FAt = FData.size();
        return {};
    }
    const std::string_view V = FData.substr(FAt, N);
    FAt += N;
    return V;
}

namespace {

std::string InfoHeader(int32_t W, int32_t H, uint16_t Bits, uint32_t ImageSize) {
    TByteWriter B;
    B.U32(40);
    B.I32(W);
    B.I32(H);  // positive: bottom row first
    B.U16(1);
    B.U16(Bits);
    B.U32(0);  // BI_RGB
    B.U32(ImageSize);
    B.I32(3780);  // 96 DPI in pixels per metre
    B.I32(3780);
    B.U32(0);
    B.U32(0);
    return std::move(B.Data());
}

}  // namespace

TDib DibFromBitmap(const TBitmap& Bitmap, const RECT& Area) {
    TDib D;
    D.Width = Area.right - Area.left;
    D.Height = Area.bottom - Area.top;
    D.BitCount = 24;
    const size_t Row = (size_t(D.Width) * 3 + 3) & ~size_t(3);
    D.Bits.assign(Row * size_t(D.Height), '\0');
    for (int Y = 0; Y < D.Height; ++Y) {
        char* Out = D.Bits.data() + Row * size_t(D.Height - 1 - Y);
        for (int X = 0; X < D.Width; ++X) {
            const TColor C = Bitmap.GetPixel(Area.left + X, Area.top + Y);
            Out[3 * X] = char(GetBValue(C));
            Out[3 * X + 1] = char(GetGValue(C));
            Out[3 * X + 2] = char(GetRValue(C));
        }
    }
    D.Header = InfoHeader(D.Width, D.Height, 24, uint32_t(D.Bits.size()));
    return D;
}

TDib DibFromPremultiplied(const uint32_t* Pixels, int Width, int Height) {
    TDib D;
    D.Width = Width, D.Height = Height, D.BitCount = 32;
    D.Bits.resize(size_t(Width) * size_t(Height) * 4);
    for (int Y = 0; Y < Height; ++Y) {
        const uint32_t* In = Pixels + size_t(Y) * size_t(Width);
        char* Out = D.Bits.data() + size_t(Height - 1 - Y) * size_t(Width) * 4;
        for (int X = 0; X < Width; ++X) {
            const uint32_t P = In[X];
            Out[4 * X] = char(P & 0xFF);
            Out[4 * X + 1] = char((P >> 8) & 0xFF);
            Out[4 * X + 2] = char((P >> 16) & 0xFF);
            Out[4 * X + 3] = char(P >> 24);
        }
    }
    D.Header = InfoHeader(Width, Height, 32, uint32_t(D.Bits.size()));
    return D;
}

bool DecodeDib(std::string_view Header, std::string_view Bits, int& Width, int& Height,
               std::vector<uint32_t>& Pixels, bool HasAlpha) {
    TByteReader R(Header);
    const uint32_t Size = R.U32();
    const int32_t W = R.I32(), H = R.I32();
    const uint16_t Planes = R.U16(), Count = R.U16();
    const uint32_t Compression = R.U32();
    if (R.Failed() || Size < 40 || Size > Header.size() || Planes != 1 || Compression != 0 ||
        (Count != 24 && Count != 32) || W <= 0 || H == 0 || H == INT32_MIN)
        return false;
    const int64_t AbsH = H < 0 ? -int64_t(H) : int64_t(H);
    if (int64_t(W) * AbsH > (int64_t(1) << 26)) return false;
    const size_t Row = ((size_t(W) * Count / 8) + 3) & ~size_t(3);
    if (Bits.size() / Row < size_t(AbsH)) return false;
    Width = W, Height = int(AbsH);
    Pixels.assign(size_t(W) * size_t(AbsH), 0);
    for (int Y = 0; Y < Height; ++Y) {
        const int SrcY = H > 0 ? Height - 1 - Y : Y;
        const uint8_t* In = reinterpret_cast<const uint8_t*>(Bits.data()) + Row * size_t(SrcY);
        uint32_t* Out = Pixels.data() + size_t(Y) * size_t(W);
        for (int X = 0; X < W; ++X) {
            const uint8_t* P = In + size_t(X) * (Count / 8);
            uint32_t A = 255;
            if (Count == 32 && HasAlpha) A = P[3];
            uint32_t B = P[0], G = P[1], Rr = P[2];
            if (HasAlpha) B = std::min(B, A), G = std::min(G, A), Rr = std::min(Rr, A);
            Out[X] = (A << 24) | (Rr << 16) | (G << 8) | B;
        }
    }
    return true;
}

// ---- EMF ----

int32_t FrameFromPixels(int Pixels) {
    return int32_t(std::lround(double(Pixels) * 2540.0 / 96.0)) - 1;
}

int PixelsFromFrame(int32_t Left, int32_t Right) {
    return int(std::lround((double(Right) - double(Left) + 1) * 96.0 / 2540.0));
}

TEmfWriter::TEmfWriter(int Width, int Height)
    : FWidth(std::max(Width, 1)), FHeight(std::max(Height, 1)) {
    Begin(EMR_HEADER);
    for (int I = 0; I < 4; ++I) FOut.I32(0);  // bounds, patched
    FOut.I32(0);
    FOut.I32(0);
    FOut.I32(FrameFromPixels(FWidth));
    FOut.I32(FrameFromPixels(FHeight));
    FOut.U32(EmfSignature);
    FOut.U32(0x10000);
    FOut.U32(0);  // nBytes
    FOut.U32(0);  // nRecords
    FOut.U16(0);  // nHandles
    FOut.U16(0);
    FOut.U32(0);  // no description
    FOut.U32(0);
    FOut.U32(0);  // no palette
    // Reference device: a 1920 × 1080 screen at 96 DPI.
    FOut.I32(1920);
    FOut.I32(1080);
    FOut.I32(508);
    FOut.I32(286);
    FOut.U32(0);  // no pixel format
    FOut.U32(0);
    FOut.U32(0);  // no OpenGL
    FOut.I32(508000);
    FOut.I32(285750);
    End();
}

void TEmfWriter::Begin(uint32_t Type) {
    FStart = FOut.Size();
    FOut.U32(Type);
    FOut.U32(0);
}

void TEmfWriter::End() {
    FOut.Pad4();
    FOut.PatchU32(FStart + 4, uint32_t(FOut.Size() - FStart));
    ++FRecords;
}

void TEmfWriter::Grow(int64_t X0, int64_t Y0, int64_t X1, int64_t Y1) {
    FBX0 = std::min(FBX0, X0), FBY0 = std::min(FBY0, Y0);
    FBX1 = std::max(FBX1, X1), FBY1 = std::max(FBY1, Y1);
}

void TEmfWriter::Simple(uint32_t Type) {
    Begin(Type);
    End();
}

void TEmfWriter::Value(uint32_t Type, uint32_t V) {
    Begin(Type);
    FOut.U32(V);
    End();
}

void TEmfWriter::Point(uint32_t Type, int32_t X, int32_t Y) {
    Begin(Type);
    FOut.I32(X);
    FOut.I32(Y);
    End();
}

void TEmfWriter::Points(uint32_t Type, const std::vector<POINT>& P) {
    Begin(Type);
    int64_t X0 = INT32_MAX, Y0 = INT32_MAX, X1 = INT32_MIN, Y1 = INT32_MIN;
    for (const POINT& Q : P)
        X0 = std::min<int64_t>(X0, Q.x), Y0 = std::min<int64_t>(Y0, Q.y),
        X1 = std::max<int64_t>(X1, Q.x), Y1 = std::max<int64_t>(Y1, Q.y);
    if (P.empty()) X0 = Y0 = X1 = Y1 = 0;
    FOut.I32(int32_t(X0));
    FOut.I32(int32_t(Y0));
    FOut.I32(int32_t(X1));
    FOut.I32(int32_t(Y1));
    FOut.U32(uint32_t(P.size()));
    for (const POINT& Q : P) {
        FOut.I32(Q.x);
        FOut.I32(Q.y);
    }
    End();
    if (!P.empty()) Grow(X0, Y0, X1, Y1);
}

void TEmfWriter::Bounds(uint32_t Type) {
    Begin(Type);
    FOut.I32(0);
    FOut.I32(0);
    FOut.I32(FWidth - 1);
    FOut.I32(FHeight - 1);
    End();
}

uint32_t TEmfWriter::NewHandle() {
    for (size_t I = 1; I < FHandles.size(); ++I)
        if (!FHandles[I]) {
            FHandles[I] = true;
            return uint32_t(I);
        }
    FHandles.push_back(true);
    return uint32_t(FHandles.size() - 1);
}

void TEmfWriter::Delete(uint32_t Handle) {
    if (Handle < FHandles.size()) FHandles[Handle] = false;
    Value(EMR_DELETEOBJECT, Handle);
}

uint32_t TEmfWriter::CreatePen(uint32_t Style, uint32_t Width, COLORREF Color) {
    const uint32_t H = NewHandle();
    Begin(EMR_CREATEPEN);
    FOut.U32(H);
    FOut.U32(Style);
    FOut.U32(Width);
    FOut.U32(0);
    FOut.U32(Color & 0xFFFFFF);
    End();
    return H;
}

uint32_t TEmfWriter::ExtCreatePen(uint32_t Style, uint32_t Width, COLORREF Color) {
    const uint32_t H = NewHandle();
    Begin(EMR_EXTCREATEPEN);
    FOut.U32(H);
    FOut.U32(0);  // no brush bitmap
    FOut.U32(0);
    FOut.U32(0);
    FOut.U32(0);
    FOut.U32(Style);
    FOut.U32(Width);
    FOut.U32(0);  // BS_SOLID
    FOut.U32(Color & 0xFFFFFF);
    FOut.U32(0);
    FOut.U32(0);  // no style entries
    End();
    return H;
}

uint32_t TEmfWriter::CreateBrush(bool Hollow, COLORREF Color) {
    const uint32_t H = NewHandle();
    Begin(EMR_CREATEBRUSHINDIRECT);
    FOut.U32(H);
    FOut.U32(Hollow ? 1 : 0);
    FOut.U32(Color & 0xFFFFFF);
    FOut.U32(0);
    End();
    return H;
}

void TEmfWriter::ClipRegion(const std::vector<RECT>* Rects, uint32_t Mode) {
    Begin(EMR_EXTSELECTCLIPRGN);
    if (!Rects) {
        FOut.U32(0);
        FOut.U32(5);  // RGN_COPY of no region: no clip
        End();
        return;
    }
    const uint32_t N = uint32_t(Rects->size());
    FOut.U32(32 + 16 * N);
    FOut.U32(Mode);
    int32_t X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
    for (size_t I = 0; I < Rects->size(); ++I) {
        const RECT& R = (*Rects)[I];
        if (I == 0)
            X0 = R.left, Y0 = R.top, X1 = R.right, Y1 = R.bottom;
        else
            X0 = std::min(X0, R.left), Y0 = std::min(Y0, R.top), X1 = std::max(X1, R.right),
            Y1 = std::max(Y1, R.bottom);
    }
    FOut.U32(32);
    FOut.U32(1);  // RDH_RECTANGLES
    FOut.U32(N);
    FOut.U32(16 * N);
    FOut.I32(X0);
    FOut.I32(Y0);
    FOut.I32(X1);
    FOut.I32(Y1);
    for (const RECT& R : *Rects) {
        FOut.I32(R.left);
        FOut.I32(R.top);
        FOut.I32(R.right);
        FOut.I32(R.bottom);
    }
    End();
}

void TEmfWriter::StretchDIBits(int X, int Y, int W, int H, const TDib& Dib) {
    Begin(EMR_STRETCHDIBITS);
    FOut.I32(X);
    FOut.I32(Y);
    FOut.I32(X + W - 1);
    FOut.I32(Y + H - 1);
    FOut.I32(X);
    FOut.I32(Y);
    FOut.I32(0);
    FOut.I32(0);
    FOut.I32(Dib.Width);
    FOut.I32(Dib.Height);
    FOut.U32(80);
    FOut.U32(uint32_t(Dib.Header.size()));
    FOut.U32(uint32_t(80 + Dib.Header.size()));
    FOut.U32(uint32_t(Dib.Bits.size()));
    FOut.U32(0);  // DIB_RGB_COLORS
    FOut.U32(0x00CC0020);
    FOut.I32(W);
    FOut.I32(H);
    FOut.Bytes(Dib.Header);
    FOut.Bytes(Dib.Bits);
    End();
    Grow(X, Y, int64_t(X) + W - 1, int64_t(Y) + H - 1);
}

void TEmfWriter::AlphaBlend(int X, int Y, int W, int H, const TDib& Dib) {
    Begin(EMR_ALPHABLEND);
    FOut.I32(X);
    FOut.I32(Y);
    FOut.I32(X + W - 1);
    FOut.I32(Y + H - 1);
    FOut.I32(X);
    FOut.I32(Y);
    FOut.I32(W);
    FOut.I32(H);
    FOut.U32(0x01FF0000);  // AC_SRC_OVER, constant alpha 255, AC_SRC_ALPHA
    FOut.I32(0);
    FOut.I32(0);
    const float Identity[6] = {1, 0, 0, 1, 0, 0};
    for (float F : Identity) FOut.F32(F);
    FOut.U32(0);  // background colour
    FOut.U32(0);  // DIB_RGB_COLORS
    FOut.U32(108);
    FOut.U32(uint32_t(Dib.Header.size()));
    FOut.U32(uint32_t(108 + Dib.Header.size()));
    FOut.U32(uint32_t(Dib.Bits.size()));
    FOut.I32(Dib.Width);
    FOut.I32(Dib.Height);
    FOut.Bytes(Dib.Header);
    FOut.Bytes(Dib.Bits);
    End();
    Grow(X, Y, int64_t(X) + W - 1, int64_t(Y) + H - 1);
}

void TEmfWriter::Comment(std::string_view Data) {
    Begin(EMR_COMMENT);
    FOut.U32(uint32_t(Data.size()));
    FOut.Bytes(Data);
    End();
}

std::string TEmfWriter::Finish() {
    if (FFinished) return {};
    FFinished = true;
    Begin(EMR_EOF);
    FOut.U32(0);
    FOut.U32(16);
    FOut.U32(20);
    End();
    if (FBX1 < FBX0) FBX0 = FBY0 = 0, FBX1 = FBY1 = -1;  // nothing drawn: empty bounds
    FOut.PatchU32(8, uint32_t(int32_t(std::clamp<int64_t>(FBX0, INT32_MIN, INT32_MAX))));
    FOut.PatchU32(12, uint32_t(int32_t(std::clamp<int64_t>(FBY0, INT32_MIN, INT32_MAX))));
    FOut.PatchU32(16, uint32_t(int32_t(std::clamp<int64_t>(FBX1, INT32_MIN, INT32_MAX))));
    FOut.PatchU32(20, uint32_t(int32_t(std::clamp<int64_t>(FBY1, INT32_MIN, INT32_MAX))));
    FOut.PatchU32(48, uint32_t(FOut.Size()));
    FOut.PatchU32(52, FRecords);
    const uint32_t Handles = uint32_t(std::min<size_t>(FHandles.size(), 0xFFFF));
    FOut.Data()[56] = char(Handles & 0xFF);
    FOut.Data()[57] = char(Handles >> 8);
    return std::move(FOut.Data());
}

// ---- EMF+ ----

TEmfPlusWriter::TEmfPlusWriter(int Width, int Height) : FEmf(Width, Height) {
    TByteWriter H;
    H.U32(EmfPlusGraphicsVersion);
    H.U32(1);  // reference device is a video display
    H.U32(96);
    H.U32(96);
    Record(EmfPlusHeader, 0, H.Data());  // flags 0: EMF+ only, no dual records
    Flush();
    TByteWriter Scale;
    Scale.F32(1.0f);
    Record(EmfPlusSetPageTransform, 2, Scale.Data());  // unit pixel
}

void TEmfPlusWriter::Record(uint16_t Type, uint16_t Flags, std::string_view Data) {
    const size_t Padded = (Data.size() + 3) & ~size_t(3);
    FPending.U16(Type);
    FPending.U16(Flags);
    FPending.U32(uint32_t(12 + Padded));
    FPending.U32(uint32_t(Padded));
    FPending.Bytes(Data);
    FPending.Pad4();
    if (FPending.Size() >= 16384) Flush();
}

void TEmfPlusWriter::Flush() {
    if (FPending.Size() == 0) return;
    std::string Payload;
    Payload.reserve(FPending.Size() + 4);
    TByteWriter Sig;
    Sig.U32(EmfPlusSignature);
    Payload = Sig.Data() + FPending.Data();
    FEmf.Comment(Payload);
    FPending.Data().clear();
}

void TEmfPlusWriter::Object(uint8_t Kind, uint8_t Id, std::string_view Data) {
    // Objects larger than one record's share are split into parts, each
    // with the continuation bit and the whole object's size before its
    // bytes (as the platform writes them, the last part included).
    constexpr size_t Part = 32000;
    const uint16_t Flags = uint16_t((Kind << 8) | Id);
    if (Data.size() <= Part) {
        Record(EmfPlusObject, Flags, Data);
        return;
    }
    for (size_t At = 0; At < Data.size(); At += Part) {
        TByteWriter P;
        P.U32(uint32_t(Data.size()));
        P.Bytes(Data.substr(At, Part));
        Record(EmfPlusObject, uint16_t(Flags | 0x8000), P.Data());
    }
}

void TEmfPlusWriter::PathObject(uint8_t Id, const std::vector<float>& XY,
                                const std::vector<uint8_t>& Types) {
    TByteWriter P;
    P.U32(EmfPlusGraphicsVersion);
    P.U32(uint32_t(Types.size()));
    P.U32(0);  // plain float points
    for (float V : XY) P.F32(V);
    for (uint8_t T : Types) P.U8(T);
    P.Pad4();
    Object(EmfPlusObjectPath, Id, P.Data());
}

void TEmfPlusWriter::PenObject(uint8_t Id, uint32_t ARGB, float Width, int32_t Join,
                               int32_t StartCap, int32_t EndCap, float MiterLimit) {
    TByteWriter P;
    P.U32(EmfPlusGraphicsVersion);
    P.U32(0);
    // Optional data: start cap 0x2, end cap 0x4, join 0x8, miter limit 0x10.
    P.U32(0x2 | 0x4 | 0x8 | 0x10);
    P.U32(2);  // unit pixel
    P.F32(Width);
    P.I32(StartCap);
    P.I32(EndCap);
    P.I32(Join);
    P.F32(MiterLimit);
    P.U32(EmfPlusGraphicsVersion);  // the pen's brush: solid colour
    P.U32(0);
    P.U32(ARGB);
    Object(EmfPlusObjectPen, Id, P.Data());
}

void TEmfPlusWriter::ImageObject(uint8_t Id, const uint32_t* PARGB, int Width, int Height) {
    TByteWriter P;
    P.U32(EmfPlusGraphicsVersion);
    P.U32(1);  // bitmap
    P.I32(Width);
    P.I32(Height);
    // Readers know PNG best: the pixels go in compressed when the encoder
    // takes them, else as premultiplied rows.
    std::string Png;
    TGPStatus Status = gsOk;
    if (GpBitmap* B = gdiplus::NewBitmap(Width, Height, PixelFormat32bppPARGB, Status)) {
        for (int Y = 0; Y < Height; ++Y)
            gdiplus::WriteRowPARGB(*B, Y, PARGB + size_t(Y) * size_t(Width));
        if (gdiplus::EncodeImage(*B, gdiplus::EncoderPng, nullptr, Png) != gsOk) Png.clear();
        gdiplus::DisposeLiveImage(B);
    }
    if (!Png.empty()) {
        P.I32(0);
        P.U32(0);
        P.U32(1);  // compressed
        P.Bytes(Png);
    } else {
        P.I32(Width * 4);
        P.U32(EmfPlusPixelFormatPARGB);
        P.U32(0);  // pixel data
        for (size_t I = 0; I < size_t(Width) * size_t(Height); ++I) P.U32(PARGB[I]);
    }
    P.Pad4();
    Object(EmfPlusObjectImage, Id, P.Data());
}

void TEmfPlusWriter::FillPath(uint8_t PathId, uint32_t ARGB) {
    TByteWriter P;
    P.U32(ARGB);
    Record(EmfPlusFillPath, uint16_t(0x8000 | PathId), P.Data());
}

void TEmfPlusWriter::DrawPath(uint8_t PathId, uint8_t PenId) {
    TByteWriter P;
    P.U32(PenId);
    Record(EmfPlusDrawPath, PathId, P.Data());
}

void TEmfPlusWriter::DrawImage(uint8_t ImageId, float X, float Y, float W, float H, int SrcW,
                               int SrcH) {
    TByteWriter P;
    P.U32(0);  // no image attributes
    P.I32(2);  // source unit pixel
    P.F32(0);
    P.F32(0);
    P.F32(float(SrcW));
    P.F32(float(SrcH));
    P.F32(X);
    P.F32(Y);
    P.F32(W);
    P.F32(H);
    Record(EmfPlusDrawImage, ImageId, P.Data());
}

void TEmfPlusWriter::SetClipPath(uint8_t PathId, int Mode) {
    Record(EmfPlusSetClipPath, uint16_t(((Mode & 0xF) << 8) | PathId), {});
}

void TEmfPlusWriter::ResetClip() { Record(EmfPlusResetClip, 0, {}); }

std::string TEmfPlusWriter::Finish() {
    if (FFinished) return {};
    FFinished = true;
    Record(EmfPlusEndOfFile, 0, {});
    Flush();
    return FEmf.Finish();
}

}  // namespace velmo::metafile
