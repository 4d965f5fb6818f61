#include "platform/metafile/MetafileReplay.h"

#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "platform/com/StreamAdapter.h"
#include "platform/files/Stream.h"
#include "platform/gdi/Canvas.h"
#include "platform/gdi/DC.h"
#include "platform/gdiplus/GdiPlusFlat.h"
#include "platform/metafile/MetafileReader.h"
#include "platform/metafile/MetafileRecords.h"

namespace velmo::metafile {

namespace {

bool Fail(std::string* Error, std::string Text) {
    if (Error) *Error = std::move(Text);
    return false;
}

// Pictures larger than this are not played back.
constexpr int64_t MaxReplayPixels = int64_t(1) << 27;

// A DC drawing into the target, freed with every object made for it.
class TReplayDc {
public:
    explicit TReplayDc(TBitmap& Target) {
        FDc = CreateCompatibleDC(nullptr);
        FBitmap = AttachBitmapObject(Target);
        if (FDc && FBitmap) FOld = SelectObject(FDc, FBitmap);
        FStockPen = GetCurrentObject(FDc, OBJ_PEN);
        FStockBrush = GetCurrentObject(FDc, OBJ_BRUSH);
    }
    ~TReplayDc() {
        if (FDc) {
            SelectObject(FDc, FStockPen);
            SelectObject(FDc, FStockBrush);
            if (FOld) SelectObject(FDc, FOld);
            DeleteDC(FDc);
        }
        for (auto& [K, O] : FObjects) DeleteObject(O);
        if (FBitmap) DetachBitmapObject(FBitmap);
    }
    bool Ok() const { return FDc && FBitmap && FOld; }
    HDC Dc() const { return FDc; }

    void Put(uint32_t Key, HGDIOBJ Object) {
        Drop(Key);
        if (Object) FObjects[Key] = Object;
    }
    HGDIOBJ Get(uint32_t Key) const {
        auto It = FObjects.find(Key);
        return It == FObjects.end() ? nullptr : It->second;
    }
    void Drop(uint32_t Key) {
        auto It = FObjects.find(Key);
        if (It == FObjects.end()) return;
        if (GetCurrentObject(FDc, OBJ_PEN) == It->second) SelectObject(FDc, FStockPen);
        if (GetCurrentObject(FDc, OBJ_BRUSH) == It->second) SelectObject(FDc, FStockBrush);
        if (!DeleteObject(It->second)) {
            // Kept by a saved state: freed at the end.
            FLater.push_back(It->second);
        }
        FObjects.erase(It);
    }
    void Stock(int Index) { SelectObject(FDc, GetStockObject(Index)); }

    // Draws premultiplied pixels scaled onto X, Y, W × H through the clip.
    void Pixels(int X, int Y, int W, int H, const std::vector<uint32_t>& Px, int BW, int BH) {
        if (W == 0 || H == 0 || BW <= 0 || BH <= 0) return;
        WithDcTarget(FDc, [&](TBitmap& B, const pixman_region32* Clip) {
            const int64_t XA = std::max<int64_t>(0, std::min<int64_t>(X, int64_t(X) + W));
            const int64_t XB = std::min<int64_t>(B.Width(), std::max<int64_t>(X, int64_t(X) + W));
            const int64_t YA = std::max<int64_t>(0, std::min<int64_t>(Y, int64_t(Y) + H));
            const int64_t YB = std::min<int64_t>(B.Height(), std::max<int64_t>(Y, int64_t(Y) + H));
            for (int64_t Dy = YA; Dy < YB; ++Dy) {
                const int64_t Sy = std::clamp<int64_t>((Dy - Y) * BH / H, 0, BH - 1);
                for (int64_t Dx = XA; Dx < XB; ++Dx) {
                    if (Clip && !pixman_region32_contains_point(
                                    const_cast<pixman_region32*>(Clip), int(Dx), int(Dy), nullptr))
                        continue;
                    const int64_t Sx = std::clamp<int64_t>((Dx - X) * BW / W, 0, BW - 1);
                    const uint32_t P = Px[size_t(Sy) * size_t(BW) + size_t(Sx)];
                    const uint32_t A = P >> 24;
                    if (A == 0) continue;
                    const TColor D = B.GetPixel(int(Dx), int(Dy));
                    auto Mix = [&](uint32_t S, uint32_t Dv) {
                        return uint8_t(std::min<uint32_t>(255, S + (Dv * (255 - A) + 127) / 255));
                    };
                    B.SetPixel(int(Dx), int(Dy),
                               RGB(Mix((P >> 16) & 0xFF, GetRValue(D)), Mix((P >> 8) & 0xFF, GetGValue(D)),
                                   Mix(P & 0xFF, GetBValue(D))));
                }
            }
        });
    }

private:
    HDC FDc = nullptr;
    HBITMAP FBitmap = nullptr;
    HGDIOBJ FOld = nullptr, FStockPen = nullptr, FStockBrush = nullptr;
    std::unordered_map<uint32_t, HGDIOBJ> FObjects;
    std::vector<HGDIOBJ> FLater;

public:
    void FreeLater() {
        for (HGDIOBJ O : FLater) DeleteObject(O);
        FLater.clear();
    }
};

HRGN RegionOfRects(const std::vector<RECT>& Rects) {
    HRGN All = CreateRectRgn(0, 0, 0, 0);
    for (const RECT& R : Rects) {
        HRGN One = CreateRectRgn(R.left, R.top, R.right, R.bottom);
        CombineRgn(All, All, One, RGN_OR);
        DeleteObject(One);
    }
    return All;
}

}  // namespace

bool ReplayEmf(std::string_view Data, TBitmap& Target, std::string* Error) {
    if (!ValidateEmf(Data, Error)) return false;
    TReplayDc D(Target);
    if (!D.Ok()) return Fail(Error, "target cannot be drawn on");
    HDC Dc = D.Dc();
    EnumerateEmf(Data, [&](const TEmfRecord& R) {
        TByteReader P(R.Bytes, 8);
        switch (R.Type) {
            case EMR_SETPOLYFILLMODE:
                SetPolyFillMode(Dc, int(P.U32()));
                break;
            case EMR_SAVEDC:
                SaveDC(Dc);
                break;
            case EMR_RESTOREDC:
                RestoreDC(Dc, P.I32());
                break;
            case EMR_CREATEPEN: {
                const uint32_t H = P.U32(), Style = P.U32(), Width = P.U32();
                P.U32();
                const COLORREF C = P.U32();
                D.Put(H, CreatePen(int(Style & 0xF) == PS_NULL ? PS_NULL : PS_SOLID,
                                   int(std::min<uint32_t>(Width, 4096)), C & 0xFFFFFF));
                break;
            }
            case EMR_EXTCREATEPEN: {
                const uint32_t H = P.U32();
                P.Skip(16);
                const uint32_t Style = P.U32(), Width = P.U32();
                P.U32();
                const COLORREF C = P.U32();
                D.Put(H, CreatePen(int(Style & 0xF) == PS_NULL ? PS_NULL : PS_SOLID,
                                   int(std::min<uint32_t>(Width, 4096)), C & 0xFFFFFF));
                break;
            }
            case EMR_CREATEBRUSHINDIRECT: {
                const uint32_t H = P.U32(), Style = P.U32();
                const COLORREF C = P.U32();
                D.Put(H, Style == 1 ? nullptr : CreateSolidBrush(C & 0xFFFFFF));
                if (Style == 1) D.Put(H | 0x40000000u, nullptr);
                break;
            }
            case EMR_SELECTOBJECT: {
                const uint32_t H = P.U32();
                if (H & StockObjectFlag) {
                    const int Index = int(H & 0xFF);
                    if (Index == NULL_BRUSH || Index == NULL_PEN || Index == WHITE_BRUSH ||
                        Index == BLACK_PEN)
                        D.Stock(Index);
                } else if (HGDIOBJ O = D.Get(H)) {
                    SelectObject(Dc, O);
                } else {
                    D.Stock(NULL_BRUSH);  // a hollow brush was made in that slot
                }
                break;
            }
            case EMR_DELETEOBJECT:
                D.Drop(P.U32());
                break;
            case EMR_BEGINPATH:
                BeginPath(Dc);
                break;
            case EMR_ENDPATH:
                EndPath(Dc);
                break;
            case EMR_ABORTPATH:
                AbortPath(Dc);
                break;
            case EMR_CLOSEFIGURE:
                CloseFigure(Dc);
                break;
            case EMR_MOVETOEX: {
                const int32_t X = P.I32(), Y = P.I32();
                MoveToEx(Dc, X, Y, nullptr);
                break;
            }
            case EMR_LINETO: {
                const int32_t X = P.I32(), Y = P.I32();
                LineTo(Dc, X, Y);
                break;
            }
            case EMR_POLYLINETO:
            case EMR_POLYBEZIERTO:
            case EMR_POLYLINETO16:
            case EMR_POLYBEZIERTO16: {
                P.Skip(16);
                const uint32_t N = P.U32();
                const bool Short = R.Type == EMR_POLYLINETO16 || R.Type == EMR_POLYBEZIERTO16;
                std::vector<POINT> Q(N);
                for (POINT& Pt : Q) {
                    if (Short)
                        Pt.x = P.I16(), Pt.y = P.I16();
                    else
                        Pt.x = P.I32(), Pt.y = P.I32();
                }
                if (R.Type == EMR_POLYLINETO || R.Type == EMR_POLYLINETO16) {
                    for (const POINT& Pt : Q) LineTo(Dc, Pt.x, Pt.y);
                } else if (N >= 3) {
                    PolyBezierTo(Dc, Q.data(), DWORD(N - N % 3));
                }
                break;
            }
            case EMR_FILLPATH:
                FillPath(Dc);
                break;
            case EMR_STROKEPATH:
                StrokePath(Dc);
                break;
            case EMR_STROKEANDFILLPATH:
                StrokeAndFillPath(Dc);
                break;
            case EMR_SELECTCLIPPATH:
                SelectClipPath(Dc, int(P.U32()));
                break;
            case EMR_EXTSELECTCLIPRGN: {
                const uint32_t Cb = P.U32(), Mode = P.U32();
                if (Cb == 0) {
                    SelectClipRgn(Dc, nullptr);
                    break;
                }
                P.Skip(8);
                const uint32_t N = std::min<uint32_t>(P.U32(), 1u << 20);
                P.Skip(20);
                std::vector<RECT> Rects;
                for (uint32_t I = 0; I < N && !P.Failed(); ++I) {
                    RECT Rc;
                    Rc.left = P.I32(), Rc.top = P.I32(), Rc.right = P.I32(), Rc.bottom = P.I32();
                    if (!P.Failed()) Rects.push_back(Rc);
                }
                HRGN Rg = RegionOfRects(Rects);
                ExtSelectClipRgn(Dc, Rg, int(Mode));
                DeleteObject(Rg);
                break;
            }
            case EMR_STRETCHDIBITS:
            case EMR_ALPHABLEND: {
                TEmfImage Img;
                if (ReadEmfImage(R, Img))
                    D.Pixels(Img.X, Img.Y, Img.Width, Img.Height, Img.Pixels, Img.PixelsWide,
                             Img.PixelsHigh);
                break;
            }
            default:
                break;
        }
        return true;
    });
    D.FreeLater();
    return true;
}

bool ReplayWmf(std::string_view Data, TBitmap& Target, std::string* Error) {
    if (!ValidateWmf(Data, Error)) return false;
    TReplayDc D(Target);
    if (!D.Ok()) return Fail(Error, "target cannot be drawn on");
    HDC Dc = D.Dc();
    double OrgX = 0, OrgY = 0, ExtX = Target.Width(), ExtY = Target.Height();
    TMetafileInfo Info;
    if (ReadMetafileInfo(Data, Info) && Info.WmfInch)
        ExtX = Info.WmfBox[2] - Info.WmfBox[0], ExtY = Info.WmfBox[3] - Info.WmfBox[1],
        OrgX = Info.WmfBox[0], OrgY = Info.WmfBox[1];
    auto Dx = [&](int V) {
        return int(std::lround((V - OrgX) * Target.Width() / (ExtX == 0 ? 1 : ExtX)));
    };
    auto Dy = [&](int V) {
        return int(std::lround((V - OrgY) * Target.Height() / (ExtY == 0 ? 1 : ExtY)));
    };
    std::vector<bool> Slots;
    auto NewSlot = [&]() {
        for (size_t I = 0; I < Slots.size(); ++I)
            if (!Slots[I]) {
                Slots[I] = true;
                return uint32_t(I);
            }
        Slots.push_back(true);
        return uint32_t(Slots.size() - 1);
    };
    std::vector<bool> SlotIsRegion;
    EnumerateWmf(Data, [&](const TWmfRecord& R) {
        TByteReader P(R.Params);
        switch (R.Function) {
            case META_SETWINDOWORG:
                OrgY = P.I16(), OrgX = P.I16();
                break;
            case META_SETWINDOWEXT:
                ExtY = P.I16(), ExtX = P.I16();
                break;
            case META_SETPOLYFILLMODE:
                SetPolyFillMode(Dc, P.U16() == WINDING ? WINDING : ALTERNATE);
                break;
            case META_SAVEDC:
                SaveDC(Dc);
                break;
            case META_RESTOREDC:
                RestoreDC(Dc, P.I16());
                break;
            case META_CREATEPENINDIRECT: {
                const uint16_t Style = P.U16();
                const int16_t Width = P.I16();
                P.I16();
                const COLORREF C = P.U32();
                const double Scale = ExtX == 0 ? 1 : std::fabs(Target.Width() / ExtX);
                const uint32_t Slot = NewSlot();
                D.Put(Slot, CreatePen((Style & 0xF) == PS_NULL ? PS_NULL : PS_SOLID,
                                      std::clamp(int(std::lround(std::abs(Width) * Scale)), 0, 4096),
                                      C & 0xFFFFFF));
                break;
            }
            case META_CREATEBRUSHINDIRECT: {
                const uint16_t Style = P.U16();
                const COLORREF C = P.U32();
                const uint32_t Slot = NewSlot();
                D.Put(Slot, Style == 1 ? GetStockObject(NULL_BRUSH) : CreateSolidBrush(C & 0xFFFFFF));
                break;
            }
            case META_CREATEREGION: {
                P.Skip(10);
                const uint16_t Scans = P.U16();
                P.Skip(10);
                std::vector<RECT> Rects;
                for (uint16_t I = 0; I < Scans && !P.Failed(); ++I) {
                    const uint16_t Count = P.U16();
                    const int16_t Top = P.I16(), Bottom = P.I16();
                    for (uint16_t J = 0; J + 1 < Count && !P.Failed(); J += 2) {
                        const int16_t L = P.I16(), Rr = P.I16();
                        Rects.push_back(RECT{Dx(L), Dy(Top), Dx(Rr), Dy(Bottom)});
                    }
                    P.U16();
                }
                const uint32_t Slot = NewSlot();
                D.Put(Slot, RegionOfRects(Rects));
                break;
            }
            case META_SELECTOBJECT:
                if (HGDIOBJ O = D.Get(P.U16())) SelectObject(Dc, O);
                break;
            case META_INTERSECTCLIPRECT: {
                const int16_t B = P.I16(), Rr = P.I16(), T = P.I16(), L = P.I16();
                IntersectClipRect(Dc, Dx(L), Dy(T), Dx(Rr), Dy(B));
                break;
            }
            case META_SELECTCLIPREGION:
                if (HGDIOBJ O = D.Get(P.U16())) SelectClipRgn(Dc, O);
                break;
            case META_DELETEOBJECT: {
                const uint16_t Slot = P.U16();
                D.Drop(Slot);
                if (Slot < Slots.size()) Slots[Slot] = false;
                break;
            }
            case META_MOVETO: {
                const int16_t Y = P.I16(), X = P.I16();
                MoveToEx(Dc, Dx(X), Dy(Y), nullptr);
                break;
            }
            case META_LINETO: {
                const int16_t Y = P.I16(), X = P.I16();
                LineTo(Dc, Dx(X), Dy(Y));
                break;
            }
            case META_POLYLINE: {
                const uint16_t N = P.U16();
                for (uint16_t I = 0; I < N && !P.Failed(); ++I) {
                    const int16_t X = P.I16(), Y = P.I16();
                    if (I == 0)
                        MoveToEx(Dc, Dx(X), Dy(Y), nullptr);
                    else
                        LineTo(Dc, Dx(X), Dy(Y));
                }
                break;
            }
            case META_POLYPOLYGON: {
                const uint16_t Polys = P.U16();
                std::vector<uint16_t> Counts(Polys);
                for (uint16_t& C : Counts) C = P.U16();
                BeginPath(Dc);
                for (uint16_t C : Counts) {
                    for (uint16_t I = 0; I < C && !P.Failed(); ++I) {
                        const int16_t X = P.I16(), Y = P.I16();
                        if (I == 0)
                            MoveToEx(Dc, Dx(X), Dy(Y), nullptr);
                        else
                            LineTo(Dc, Dx(X), Dy(Y));
                    }
                    CloseFigure(Dc);
                }
                EndPath(Dc);
                StrokeAndFillPath(Dc);
                break;
            }
            case META_STRETCHDIB: {
                P.U32();
                P.U16();
                P.I16(), P.I16(), P.I16(), P.I16();
                const int16_t H = P.I16(), W = P.I16(), Y = P.I16(), X = P.I16();
                const std::string_view Dib = R.Params.substr(std::min<size_t>(22, R.Params.size()));
                TByteReader Hd(Dib);
                const uint32_t HSize = Hd.U32();
                if (HSize < 40 || HSize > Dib.size()) break;
                int BW = 0, BH = 0;
                std::vector<uint32_t> Px;
                if (DecodeDib(Dib.substr(0, HSize), Dib.substr(HSize), BW, BH, Px, false)) {
                    const int X0 = Dx(X), Y0 = Dy(Y);
                    D.Pixels(X0, Y0, Dx(X + W) - X0, Dy(Y + H) - Y0, Px, BW, BH);
                }
                break;
            }
            default:
                break;
        }
        return true;
    });
    D.FreeLater();
    return true;
}

bool ReplayEmfPlus(std::string_view Data, TBitmap& Target, std::string* Error) {
    if (!ValidateEmfPlus(Data, Error)) return false;
    namespace gp = ::velmo::gdiplus;
    GpULONG_PTR Token = 0;
    GdiplusStartupInput In;
    TGdiplusStartupOutput Out;
    if (gp::GdiplusStartup(&Token, &In, &Out) != gsOk) return Fail(Error, "GDI+ did not start");
    bool Ok = true;
    {
        TReplayDc D(Target);
        GpGraphics* G = nullptr;
        if (!D.Ok() || gp::GdipCreateFromHDC(D.Dc(), &G) != gsOk) {
            Ok = false;
        } else {
            gp::GdipSetPageUnit(G, UnitPixel);
            GpPath* Paths[256] = {};
            GpPen* Pens[256] = {};
            GpBitmap* Images[256] = {};
            std::vector<std::vector<uint32_t>> ImagePixels(256);
            auto Clear = [&](uint8_t Id) {
                if (Paths[Id]) gp::GdipDeletePath(Paths[Id]), Paths[Id] = nullptr;
                if (Pens[Id]) gp::GdipDeletePen(Pens[Id]), Pens[Id] = nullptr;
                if (Images[Id]) gp::GdipDisposeImage(reinterpret_cast<GpImage*>(Images[Id])), Images[Id] = nullptr;
            };
            EnumerateEmfPlus(Data, [&](const TEmfPlusRecord& R) {
                TByteReader P(R.Data);
                const uint8_t Id = uint8_t(R.Flags & 0xFF);
                switch (R.Type) {
                    case EmfPlusObject: {
                        const uint8_t Kind = uint8_t((R.Flags >> 8) & 0x7F);
                        Clear(Id);
                        P.U32();
                        if (Kind == EmfPlusObjectPath) {
                            const uint32_t N = P.U32(), Flags = P.U32();
                            if (Flags != 0 || N > (1u << 22)) break;
                            std::vector<GpPointF> Pts(N);
                            for (GpPointF& Pt : Pts) Pt.X = P.F32(), Pt.Y = P.F32();
                            std::vector<uint8_t> Types(N);
                            for (uint8_t& T : Types) T = P.U8();
                            if (!P.Failed())
                                gp::GdipCreatePath2(Pts.data(), Types.data(), int32_t(N),
                                                    0, &Paths[Id]);
                        } else if (Kind == EmfPlusObjectPen) {
                            P.U32();
                            const uint32_t Flags = P.U32();
                            P.U32();
                            const float Width = P.F32();
                            int32_t StartCap = 0, EndCap = 0, Join = 0;
                            float Miter = 10;
                            if (Flags & 0x1) P.Skip(24);
                            if (Flags & 0x2) StartCap = P.I32();
                            if (Flags & 0x4) EndCap = P.I32();
                            if (Flags & 0x8) Join = P.I32();
                            if (Flags & 0x10) Miter = P.F32();
                            if (Flags & ~0x1Fu) break;  // other pen data not written here
                            P.U32();
                            const uint32_t BrushType = P.U32();
                            const uint32_t Color = P.U32();
                            if (P.Failed() || BrushType != 0 || !std::isfinite(Width)) break;
                            if (gp::GdipCreatePen1(Color, std::clamp(Width, 0.0f, 1e5f), UnitPixel,
                                                   &Pens[Id]) == gsOk) {
                                gp::GdipSetPenStartCap(Pens[Id], StartCap);
                                gp::GdipSetPenEndCap(Pens[Id], EndCap);
                                gp::GdipSetPenLineJoin(Pens[Id], Join);
                                if (std::isfinite(Miter)) gp::GdipSetPenMiterLimit(Pens[Id], Miter);
                            }
                        } else if (Kind == EmfPlusObjectImage) {
                            if (P.U32() != 1) break;
                            const int32_t W = P.I32(), H = P.I32(), Stride = P.I32();
                            const uint32_t Format = P.U32(), Type = P.U32();
                            if (!P.Failed() && Type == 1) {
                                // Compressed: a PNG (or other image file).
                                TMemoryStream Bytes;
                                const std::string_view Rest = R.Data.substr(std::min<size_t>(28, R.Data.size()));
                                Bytes.WriteBuffer(Rest.data(), int64_t(Rest.size()));
                                Bytes.Seek(0, soBeginning);
                                auto* Adapter = new TStreamAdapter(Bytes);
                                GpImage* Image = nullptr;
                                if (gp::GdipLoadImageFromStream(Adapter, &Image) == gsOk)
                                    Images[Id] = reinterpret_cast<GpBitmap*>(Image);
                                Adapter->Release();
                                break;
                            }
                            if (P.Failed() || Type != 0 || Format != EmfPlusPixelFormatPARGB ||
                                W <= 0 || H <= 0 || Stride != W * 4 ||
                                int64_t(W) * H > (int64_t(1) << 26))
                                break;
                            const std::string_view Bits = P.Take(size_t(Stride) * size_t(H));
                            if (P.Failed()) break;
                            auto& Px = ImagePixels[Id];
                            Px.assign(size_t(W) * size_t(H), 0);
                            std::memcpy(Px.data(), Bits.data(), Bits.size());
                            gp::GdipCreateBitmapFromScan0(W, H, Stride, PixelFormat32bppPARGB,
                                                          reinterpret_cast<uint8_t*>(Px.data()),
                                                          &Images[Id]);
                        }
                        break;
                    }
                    case EmfPlusFillPath:
                        if (Paths[Id] && (R.Flags & 0x8000)) {
                            GpSolidFill* B = nullptr;
                            if (gp::GdipCreateSolidFill(P.U32(), &B) == gsOk) {
                                gp::GdipFillPath(G, reinterpret_cast<GpBrush*>(B), Paths[Id]);
                                gp::GdipDeleteBrush(reinterpret_cast<GpBrush*>(B));
                            }
                        }
                        break;
                    case EmfPlusDrawPath: {
                        const uint32_t Pen = P.U32();
                        if (Paths[Id] && Pen < 256 && Pens[Pen]) gp::GdipDrawPath(G, Pens[Pen], Paths[Id]);
                        break;
                    }
                    case EmfPlusDrawImage: {
                        if (!Images[Id] || (R.Flags & 0x4000)) break;
                        P.U32();
                        P.I32();
                        const float SX = P.F32(), SY = P.F32(), SW = P.F32(), SH = P.F32();
                        const float X = P.F32(), Y = P.F32(), W = P.F32(), H = P.F32();
                        const GpPointF Pts[3] = {{X, Y}, {X + W, Y}, {X, Y + H}};
                        gp::GdipDrawImagePointsRect(G, reinterpret_cast<GpImage*>(Images[Id]), Pts, 3, SX, SY, SW, SH, UnitPixel,
                                                    nullptr, nullptr, nullptr);
                        break;
                    }
                    case EmfPlusSetClipPath:
                        if (Paths[Id]) gp::GdipSetClipPath(G, Paths[Id], (R.Flags >> 8) & 0xF);
                        break;
                    case EmfPlusResetClip: {
                        GpRegion* All = nullptr;
                        if (gp::GdipCreateRegion(&All) == gsOk) {
                            gp::GdipSetClipRegion(G, All, CombineModeReplace);
                            gp::GdipDeleteRegion(All);
                        }
                        break;
                    }
                    case EmfPlusClear:
                        gp::GdipGraphicsClear(G, P.U32());
                        break;
                    default:
                        break;
                }
                return true;
            });
            for (int I = 0; I < 256; ++I) Clear(uint8_t(I));
            gp::GdipDeleteGraphics(G);
        }
    }
    gp::GdiplusShutdown(Token);
    return Ok ? true : Fail(Error, "target cannot be drawn on");
}

bool ReplayMetafile(std::string_view Data, TBitmap& Target, std::string* Error) {
    TMetafileInfo Info;
    if (!ReadMetafileInfo(Data, Info)) return Fail(Error, "not a metafile");
    int W = Info.WidthPixels, H = Info.HeightPixels;
    if (Info.Kind == TMetafileKind::Emf || Info.Kind == TMetafileKind::EmfPlus) {
        // Our own pictures: device pixels are the frame's pixels.
        W = std::max(W, 1), H = std::max(H, 1);
    }
    if (W <= 0 || H <= 0 || int64_t(W) * H > MaxReplayPixels) return Fail(Error, "picture size out of range");
    Target.SetPixelFormat(pf24bit);
    Target.SetSize(W, H);
    {
        TCanvasLock Lock(Target.Canvas());
        Target.Canvas().Brush().Color = clWhite;
        Target.Canvas().Brush().Style = bsSolid;
        Target.Canvas().FillRect(RECT{0, 0, W, H});
    }
    switch (Info.Kind) {
        case TMetafileKind::Emf:
            return ReplayEmf(Data, Target, Error);
        case TMetafileKind::EmfPlus:
            return ReplayEmfPlus(Data, Target, Error);
        case TMetafileKind::Wmf:
            return ReplayWmf(Data, Target, Error);
        default:
            return Fail(Error, "not a metafile");
    }
}

}  // namespace velmo::metafile
