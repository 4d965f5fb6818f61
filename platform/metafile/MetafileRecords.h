// The published metafile record formats this layer writes and reads: EMF
// (enhanced metafiles), WMF (16-bit metafiles, with the placeable header)
// and EMF+ (GDI+ records carried in EMF comment records). All values are
// little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gdi/DC.h"

namespace velmo::metafile {

// EMF record types.
enum : uint32_t {
    EMR_HEADER = 1,
    EMR_POLYBEZIERTO = 5,
    EMR_POLYLINETO = 6,
    EMR_EOF = 14,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19,
    EMR_MOVETOEX = 27,
    EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40,
    EMR_LINETO = 54,
    EMR_SETMITERLIMIT = 58,
    EMR_BEGINPATH = 59,
    EMR_ENDPATH = 60,
    EMR_CLOSEFIGURE = 61,
    EMR_FILLPATH = 62,
    EMR_STROKEANDFILLPATH = 63,
    EMR_STROKEPATH = 64,
    EMR_SELECTCLIPPATH = 67,
    EMR_ABORTPATH = 68,
    EMR_COMMENT = 70,
    EMR_EXTSELECTCLIPRGN = 75,
    EMR_STRETCHDIBITS = 81,
    EMR_POLYBEZIERTO16 = 88,
    EMR_POLYLINETO16 = 89,
    EMR_EXTCREATEPEN = 95,
    EMR_ALPHABLEND = 114,
};

constexpr uint32_t EmfSignature = 0x464D4520;   // " EMF"
constexpr uint32_t EmfPlusSignature = 0x2B464D45;  // "EMF+"
constexpr uint32_t StockObjectFlag = 0x80000000;
constexpr size_t EmfHeaderSize = 108;

// Pen style bits of extended pens.
constexpr uint32_t PS_GEOMETRIC = 0x00010000;
constexpr uint32_t PS_ENDCAP_ROUND = 0x0000, PS_ENDCAP_SQUARE = 0x0100, PS_ENDCAP_FLAT = 0x0200;
constexpr uint32_t PS_JOIN_ROUND = 0x0000, PS_JOIN_BEVEL = 0x1000, PS_JOIN_MITER = 0x2000;

// WMF record functions.
enum : uint16_t {
    META_EOF = 0x0000,
    META_SAVEDC = 0x001E,
    META_SETBKMODE = 0x0102,
    META_SETMAPMODE = 0x0103,
    META_SETPOLYFILLMODE = 0x0106,
    META_RESTOREDC = 0x0127,
    META_SELECTCLIPREGION = 0x012C,
    META_SELECTOBJECT = 0x012D,
    META_DELETEOBJECT = 0x01F0,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_LINETO = 0x0213,
    META_MOVETO = 0x0214,
    META_INTERSECTCLIPRECT = 0x0416,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_POLYLINE = 0x0325,
    META_POLYPOLYGON = 0x0538,
    META_CREATEREGION = 0x06FF,
    META_STRETCHDIB = 0x0F43,
};

constexpr uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr int WmfUnitsPerInch = 96;

// EMF+ record types and object kinds.
enum : uint16_t {
    EmfPlusHeader = 0x4001,
    EmfPlusEndOfFile = 0x4002,
    EmfPlusObject = 0x4008,
    EmfPlusClear = 0x4009,
    EmfPlusFillPath = 0x4014,
    EmfPlusDrawPath = 0x4015,
    EmfPlusDrawImage = 0x401A,
    EmfPlusSave = 0x4025,
    EmfPlusRestore = 0x4026,
    EmfPlusSetPageTransform = 0x4030,
    EmfPlusResetClip = 0x4031,
    EmfPlusSetClipPath = 0x4033,
};
enum : uint8_t {
    EmfPlusObjectBrush = 1,
    EmfPlusObjectPen = 2,
    EmfPlusObjectPath = 3,
    EmfPlusObjectImage = 5,
};
constexpr uint32_t EmfPlusGraphicsVersion = 0xDBC01002;
constexpr uint32_t EmfPlusPixelFormatPARGB = 0x000E200B;

// ---- Little-endian byte buffers ----

class TByteWriter {
public:
    void U8(uint8_t V) { FBytes.push_back(char(V)); }
    void U16(uint16_t V) {
        U8(uint8_t(V));
        U8(uint8_t(V >> 8));
    }
    void U32(uint32_t V) {
        U16(uint16_t(V));
        U16(uint16_t(V >> 16));
    }
    void I16(int16_t V) { U16(uint16_t(V)); }
    void I32(int32_t V) { U32(uint32_t(V)); }
    void F32(float V);
    void Bytes(std::string_view B) { FBytes.append(B); }
    void Pad4() {
        while (FBytes.size() % 4) U8(0);
    }
    void PatchU32(size_t At, uint32_t V);
    size_t Size() const { return FBytes.size(); }
    std::string& Data() { return FBytes; }

private:
    std::string FBytes;
};

// Reads little-endian values from a view; every read is checked, and a
// read past the end sets Failed and gives 0.
class TByteReader {
public:
    explicit TByteReader(std::string_view Data, size_t At = 0) : FData(Data), FAt(At) {}
    bool Has(size_t N) const { return FAt <= FData.size() && FData.size() - FAt >= N; }
    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    int16_t I16() { return int16_t(U16()); }
    int32_t I32() { return int32_t(U32()); }
    float F32();
    std::string_view Take(size_t N);
    void Skip(size_t N) {
        if (Has(N))
            FAt += N;
        else
            FFailed = true, FAt = FData.size();
    }
    size_t Pos() const { return FAt; }
    bool Failed() const { return FFailed; }

private:
    std::string_view FData;
    size_t FAt;
    bool FFailed = false;
};

// A device-independent bitmap: a BITMAPINFOHEADER and its rows, bottom row
// first, each padded to 4 bytes.
struct TDib {
    int32_t Width = 0, Height = 0;
    uint16_t BitCount = 24;
    std::string Header;  // 40 bytes
    std::string Bits;
};
// 24-bit rows of Bitmap's Area.
TDib DibFromBitmap(const TBitmap& Bitmap, const RECT& Area);
// 32-bit rows of premultiplied B, G, R, A pixels (Pixels rows top first).
TDib DibFromPremultiplied(const uint32_t* Pixels, int Width, int Height);
// Premultiplied ARGB words (rows top first) of a 24- or 32-bit BI_RGB DIB;
// false for any other kind or when the bits are short. Caps the pixel count.
bool DecodeDib(std::string_view Header, std::string_view Bits, int& Width, int& Height,
               std::vector<uint32_t>& Pixels, bool HasAlpha);

// ---- EMF writer ----

// Builds an EMF record by record. Object handles are the smallest free
// slot (1 and up); the header is patched with the totals at Finish.
class TEmfWriter {
public:
    // Frame of Width × Height device pixels on a 96-DPI reference device.
    TEmfWriter(int Width, int Height);
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }

    void Simple(uint32_t Type);  // records without parameters
    void Value(uint32_t Type, uint32_t V);
    void Point(uint32_t Type, int32_t X, int32_t Y);
    void Points(uint32_t Type, const std::vector<POINT>& P);  // POLYBEZIERTO / POLYLINETO
    void Bounds(uint32_t Type);                                // FILLPATH and the like
    uint32_t CreatePen(uint32_t Style, uint32_t Width, COLORREF Color);
    uint32_t ExtCreatePen(uint32_t Style, uint32_t Width, COLORREF Color);
    uint32_t CreateBrush(bool Hollow, COLORREF Color);
    void Select(uint32_t Handle) { Value(EMR_SELECTOBJECT, Handle); }
    void Delete(uint32_t Handle);
    // RGN_COPY of the rectangles, or no clip when Rects is null.
    void ClipRegion(const std::vector<RECT>* Rects, uint32_t Mode = 5);
    void StretchDIBits(int X, int Y, int W, int H, const TDib& Dib);
    void AlphaBlend(int X, int Y, int W, int H, const TDib& Dib);
    void Comment(std::string_view Data);
    std::string Finish();
    uint32_t RecordCount() const { return FRecords; }

private:
    void Begin(uint32_t Type);
    void End();
    void Grow(int64_t X0, int64_t Y0, int64_t X1, int64_t Y1);
    uint32_t NewHandle();

    int FWidth, FHeight;
    TByteWriter FOut;
    size_t FStart = 0;
    uint32_t FRecords = 0;
    std::vector<bool> FHandles{true};  // slot 0 is reserved
    int64_t FBX0 = INT32_MAX, FBY0 = INT32_MAX, FBX1 = INT32_MIN, FBY1 = INT32_MIN;
    bool FFinished = false;
};

// The frame rectangle (0.01 mm, right and bottom included) of a metafile of
// Width × Height pixels on the 96-DPI reference device, and back.
int32_t FrameFromPixels(int Pixels);
int PixelsFromFrame(int32_t Left, int32_t Right);

// ---- EMF+ writer ----

// EMF+ records, grouped into EMF comment records.
class TEmfPlusWriter {
public:
    TEmfPlusWriter(int Width, int Height);
    // The record with its header; Data is padded to 4 bytes.
    void Record(uint16_t Type, uint16_t Flags, std::string_view Data);
    // An object of a kind in slot Id, split into parts when large.
    void Object(uint8_t Kind, uint8_t Id, std::string_view Data);
    // A path object (device coordinates) in slot Id.
    void PathObject(uint8_t Id, const std::vector<float>& XY, const std::vector<uint8_t>& Types);
    void PenObject(uint8_t Id, uint32_t ARGB, float Width, int32_t Join, int32_t StartCap,
                   int32_t EndCap, float MiterLimit);
    void ImageObject(uint8_t Id, const uint32_t* PARGB, int Width, int Height);
    void FillPath(uint8_t PathId, uint32_t ARGB);
    void DrawPath(uint8_t PathId, uint8_t PenId);
    void DrawImage(uint8_t ImageId, float X, float Y, float W, float H, int SrcW, int SrcH);
    // Mode 0 replaces the clip, 1 intersects it.
    void SetClipPath(uint8_t PathId, int Mode);
    void ResetClip();
    std::string Finish();

private:
    void Flush();
    TEmfWriter FEmf;
    TByteWriter FPending;
    bool FFinished = false;
};

// ---- EMF to WMF ----

// The 16-bit metafile of an EMF, with the placeable header (96 units per
// inch, Width × Height units): Béziers flattened, paths painted as polygons
// with their fill mode, clip paths and regions as clip regions, alpha blends
// composited over white. Empty when the EMF does not pass the validator.
std::string EmfToWmf(std::string_view Emf, int Width, int Height);

}  // namespace velmo::metafile
