// EMF to WMF, as the platform's converter does it: the 16-bit format has
// no paths, no Béziers and no alpha, so paths become polygons and
// polylines (Béziers flattened), clip paths become clip regions, and alpha
// blends are composited over white.
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/metafile/MetafileReader.h"
#include "platform/metafile/MetafileRecords.h"

namespace velmo::metafile {

namespace {

struct TFigure {
    std::vector<POINT> Points;
    bool Closed = false;
};

// Fills the figures (closed) into a region of pixel rows: a pixel is in
// when its centre is, by the fill mode.
void PolygonRegion(const std::vector<TFigure>& Figures, int FillMode, int Width, int Height,
                   pixman_region32_t* Out) {
    struct TEdge {
        double X0, Y0, X1, Y1;
        int Dir;
    };
    std::vector<TEdge> Edges;
    double MinY = 1e18, MaxY = -1e18;
    for (const TFigure& F : Figures) {
        const size_t N = F.Points.size();
        for (size_t I = 0; I < N; ++I) {
            const POINT A = F.Points[I], B = F.Points[(I + 1) % N];
            if (A.y == B.y) continue;
            if (A.y < B.y)
                Edges.push_back({double(A.x), double(A.y), double(B.x), double(B.y), 1});
            else
                Edges.push_back({double(B.x), double(B.y), double(A.x), double(A.y), -1});
            MinY = std::min({MinY, double(A.y), double(B.y)});
            MaxY = std::max({MaxY, double(A.y), double(B.y)});
        }
    }
    pixman_region32_init(Out);
    if (Edges.empty()) return;
    const int Y0 = std::max(0, int(std::floor(MinY))), Y1 = std::min(Height, int(std::ceil(MaxY)));
    std::vector<pixman_box32_t> Boxes;
    std::vector<std::pair<double, int>> Hits;
    for (int Y = Y0; Y < Y1; ++Y) {
        const double Cy = Y + 0.5;
        Hits.clear();
        for (const TEdge& E : Edges)
            if (Cy >= E.Y0 && Cy < E.Y1)
                Hits.push_back({E.X0 + (Cy - E.Y0) * (E.X1 - E.X0) / (E.Y1 - E.Y0), E.Dir});
        std::sort(Hits.begin(), Hits.end());
        int Wind = 0;
        for (size_t I = 0; I + 1 < Hits.size(); ++I) {
            Wind += FillMode == ALTERNATE ? 1 : Hits[I].second;
            const bool In = FillMode == ALTERNATE ? (Wind % 2) != 0 : Wind != 0;
            if (!In) continue;
            const int XA = std::max(0, int(std::ceil(Hits[I].first - 0.5)));
            const int XB = std::min(Width, int(std::ceil(Hits[I + 1].first - 0.5)));
            if (XB > XA) Boxes.push_back({XA, Y, XB, Y + 1});
        }
        if (Boxes.size() > (size_t(1) << 22)) break;
    }
    pixman_region32_fini(Out);
    pixman_region32_init_rects(Out, Boxes.data(), int(Boxes.size()));
}

int16_t Clamp16(int64_t V) { return int16_t(std::clamp<int64_t>(V, -32768, 32767)); }

class TWmfWriter {
public:
    TWmfWriter(int Width, int Height) : FWidth(Width), FHeight(Height) {}

    void Record(uint16_t Function, const TByteWriter& Params) {
        const size_t Words = 3 + (Params.Size() + 1) / 2;
        FLargest = std::max<uint32_t>(FLargest, uint32_t(Words));
        FBody.U32(uint32_t(Words));
        FBody.U16(Function);
        TByteWriter P = Params;
        FBody.Bytes(P.Data());
        if (P.Size() % 2) FBody.U8(0);
    }
    void Simple(uint16_t F) { Record(F, TByteWriter()); }
    void Word(uint16_t F, uint16_t V) {
        TByteWriter P;
        P.U16(V);
        Record(F, P);
    }
    uint16_t NewSlot() {
        for (size_t I = 0; I < FSlots.size(); ++I)
            if (!FSlots[I]) {
                FSlots[I] = true;
                return uint16_t(I);
            }
        FSlots.push_back(true);
        return uint16_t(FSlots.size() - 1);
    }
    void Delete(uint16_t Slot) {
        Word(META_DELETEOBJECT, Slot);
        if (Slot < FSlots.size()) FSlots[Slot] = false;
    }
    uint16_t Pen(uint16_t Style, int16_t Width, COLORREF Color) {
        TByteWriter P;
        P.U16(Style);
        P.I16(Width);
        P.I16(0);
        P.U32(Color & 0xFFFFFF);
        Record(META_CREATEPENINDIRECT, P);
        return NewSlot();
    }
    uint16_t Brush(uint16_t Style, COLORREF Color) {
        TByteWriter P;
        P.U16(Style);
        P.U32(Color & 0xFFFFFF);
        P.U16(0);
        Record(META_CREATEBRUSHINDIRECT, P);
        return NewSlot();
    }
    // A region object of pixman's bands.
    uint16_t Region(pixman_region32_t* R) {
        int N = 0;
        const pixman_box32_t* B = pixman_region32_rectangles(R, &N);
        struct TScan {
            int Top, Bottom;
            std::vector<std::pair<int, int>> Spans;
        };
        std::vector<TScan> Scans;
        for (int I = 0; I < N; ++I) {
            if (Scans.empty() || Scans.back().Top != B[I].y1 || Scans.back().Bottom != B[I].y2)
                Scans.push_back({B[I].y1, B[I].y2, {}});
            Scans.back().Spans.push_back({B[I].x1, B[I].x2});
        }
        // A region record holds at most 32767 words: keep the first bands.
        size_t Bytes = 22;
        size_t Keep = 0;
        for (; Keep < Scans.size(); ++Keep) {
            const size_t Add = 8 + 4 * Scans[Keep].Spans.size();
            if (Bytes + Add > 60000) break;
            Bytes += Add;
        }
        Scans.resize(Keep);
        TByteWriter P;
        int MaxScan = 0;
        for (const TScan& S : Scans) MaxScan = std::max(MaxScan, int(S.Spans.size() * 2));
        const pixman_box32_t* E = pixman_region32_extents(R);
        P.U16(0);
        P.I16(6);
        P.U32(0);
        P.I16(int16_t(Bytes));
        P.I16(int16_t(Scans.size()));
        P.I16(int16_t(MaxScan));
        P.I16(Clamp16(N ? E->x1 : 0));
        P.I16(Clamp16(N ? E->y1 : 0));
        P.I16(Clamp16(N ? E->x2 : 0));
        P.I16(Clamp16(N ? E->y2 : 0));
        for (const TScan& S : Scans) {
            P.U16(uint16_t(S.Spans.size() * 2));
            P.I16(Clamp16(S.Top));
            P.I16(Clamp16(S.Bottom));
            for (auto [L, Rr] : S.Spans) {
                P.I16(Clamp16(L));
                P.I16(Clamp16(Rr));
            }
            P.U16(uint16_t(S.Spans.size() * 2));
        }
        Record(META_CREATEREGION, P);
        return NewSlot();
    }
    void StretchDib(int64_t X, int64_t Y, int64_t W, int64_t H, const TDib& Dib) {
        TByteWriter P;
        P.U32(0x00CC0020);
        P.U16(0);
        P.I16(Clamp16(Dib.Height));
        P.I16(Clamp16(Dib.Width));
        P.I16(0);
        P.I16(0);
        P.I16(Clamp16(H));
        P.I16(Clamp16(W));
        P.I16(Clamp16(Y));
        P.I16(Clamp16(X));
        P.Bytes(Dib.Header);
        P.Bytes(Dib.Bits);
        Record(META_STRETCHDIB, P);
    }

    std::string Finish() {
        Simple(META_EOF);
        TByteWriter Out;
        Out.U32(PlaceableKey);
        Out.U16(0);
        Out.I16(0);
        Out.I16(0);
        Out.I16(Clamp16(FWidth));
        Out.I16(Clamp16(FHeight));
        Out.U16(uint16_t(WmfUnitsPerInch));
        Out.U32(0);
        uint16_t Sum = 0;
        {
            TByteReader R(Out.Data());
            for (int I = 0; I < 10; ++I) Sum ^= R.U16();
        }
        Out.U16(Sum);
        Out.U16(1);
        Out.U16(9);
        Out.U16(0x0300);
        Out.U32(uint32_t(9 + FBody.Size() / 2));
        Out.U16(uint16_t(std::min<size_t>(FSlots.size(), 0xFFFF)));
        Out.U32(FLargest);
        Out.U16(0);
        Out.Bytes(FBody.Data());
        return std::move(Out.Data());
    }

private:
    int FWidth, FHeight;
    TByteWriter FBody;
    std::vector<bool> FSlots;
    uint32_t FLargest = 9;
};

// Flattens a cubic Bézier into line ends appended to Out.
void Flatten(POINT P0, POINT P1, POINT P2, POINT P3, std::vector<POINT>& Out) {
    auto D = [](POINT A, POINT B) {
        return std::hypot(double(B.x) - double(A.x), double(B.y) - double(A.y));
    };
    const double Len = D(P0, P1) + D(P1, P2) + D(P2, P3);
    const int N = std::clamp(int(std::ceil(Len / 4)), 1, 64);
    for (int I = 1; I <= N; ++I) {
        const double T = double(I) / N, U = 1 - T;
        const double X = U * U * U * P0.x + 3 * U * U * T * P1.x + 3 * U * T * T * P2.x + T * T * T * P3.x;
        const double Y = U * U * U * P0.y + 3 * U * U * T * P1.y + 3 * U * T * T * P2.y + T * T * T * P3.y;
        Out.push_back(POINT{LONG(std::lround(X)), LONG(std::lround(Y))});
    }
}

struct TRegionHolder {
    pixman_region32_t R;
    bool Has = false;  // false: no clip
    TRegionHolder() { pixman_region32_init(&R); }
    ~TRegionHolder() { pixman_region32_fini(&R); }
    TRegionHolder(const TRegionHolder& O) : Has(O.Has) {
        pixman_region32_init(&R);
        pixman_region32_copy(&R, const_cast<pixman_region32_t*>(&O.R));
    }
    TRegionHolder& operator=(const TRegionHolder& O) {
        if (this != &O) {
            pixman_region32_copy(&R, const_cast<pixman_region32_t*>(&O.R));
            Has = O.Has;
        }
        return *this;
    }
};

}  // namespace

std::string EmfToWmf(std::string_view Emf, int Width, int Height) {
    if (!ValidateEmf(Emf)) return {};
    TWmfWriter W(Width, Height);
    {
        TByteWriter P;
        P.U16(8);  // MM_ANISOTROPIC
        W.Record(META_SETMAPMODE, P);
        TByteWriter Org;
        Org.I16(0);
        Org.I16(0);
        W.Record(META_SETWINDOWORG, Org);
        TByteWriter Ext;
        Ext.I16(Clamp16(Height));
        Ext.I16(Clamp16(Width));
        W.Record(META_SETWINDOWEXT, Ext);
        W.Word(META_SETBKMODE, 1);  // transparent
    }
    std::vector<int> Map(1, -1);  // EMF handle -> WMF slot
    std::vector<bool> IsPen(1, false);
    struct TSel {
        int Pen = -1, Brush = -1;  // WMF slots, -1: the default objects
    };
    TSel Sel;
    std::vector<TSel> SelStack;
    TRegionHolder Clip;
    std::vector<TRegionHolder> ClipStack;
    int FillMode = ALTERNATE;
    std::vector<TFigure> Path;
    POINT Cur{};
    bool InPath = false;
    int NullPen = -1, NullBrush = -1;

    auto Figure = [&]() -> TFigure& {
        if (Path.empty() || Path.back().Closed) Path.push_back(TFigure{{Cur}, false});
        return Path.back();
    };
    auto SelectClip = [&]() {
        TRegionHolder Full;
        pixman_region32_t* R = &Clip.R;
        if (!Clip.Has) {
            pixman_region32_fini(&Full.R);
            pixman_region32_init_rect(&Full.R, 0, 0, unsigned(std::max(Width, 1)),
                                      unsigned(std::max(Height, 1)));
            R = &Full.R;
        }
        const uint16_t Slot = W.Region(R);
        W.Word(META_SELECTCLIPREGION, Slot);
        W.Delete(Slot);
    };
    auto Polys = [&](uint16_t Function, const std::vector<const TFigure*>& Figs) {
        if (Figs.empty()) return;
        if (Function == META_POLYLINE) {
            for (const TFigure* F : Figs) {
                TByteWriter P;
                const size_t N = std::min<size_t>(F->Points.size() + (F->Closed ? 1 : 0), 8000);
                P.U16(uint16_t(N));
                for (size_t I = 0; I < N; ++I) {
                    const POINT Q = F->Points[I % F->Points.size()];
                    P.I16(Clamp16(Q.x));
                    P.I16(Clamp16(Q.y));
                }
                W.Record(META_POLYLINE, P);
            }
            return;
        }
        TByteWriter P;
        std::vector<const TFigure*> Keep;
        size_t Total = 0;
        for (const TFigure* F : Figs) {
            if (Total + F->Points.size() > 14000 || Keep.size() >= 1000) break;
            Keep.push_back(F);
            Total += F->Points.size();
        }
        P.U16(uint16_t(Keep.size()));
        for (const TFigure* F : Keep) P.U16(uint16_t(F->Points.size()));
        for (const TFigure* F : Keep)
            for (const POINT Q : F->Points) {
                P.I16(Clamp16(Q.x));
                P.I16(Clamp16(Q.y));
            }
        W.Record(META_POLYPOLYGON, P);
    };
    // Combines Shape into the clip as RGN_AND (1), RGN_OR (2), RGN_DIFF (4)
    // or RGN_COPY (5); with no clip yet the whole picture stands for it.
    auto CombineClip = [&](pixman_region32_t& Shape, uint32_t Mode) {
        if (!Clip.Has && Mode != 5) {
            pixman_region32_fini(&Clip.R);
            pixman_region32_init_rect(&Clip.R, 0, 0, unsigned(std::max(Width, 1)),
                                      unsigned(std::max(Height, 1)));
        }
        if (Mode == 5)
            pixman_region32_copy(&Clip.R, &Shape);
        else if (Mode == 2)
            pixman_region32_union(&Clip.R, &Clip.R, &Shape);
        else if (Mode == 4)
            pixman_region32_subtract(&Clip.R, &Clip.R, &Shape);
        else
            pixman_region32_intersect(&Clip.R, &Clip.R, &Shape);
        Clip.Has = true;
    };
    auto Paint = [&](bool Fill, bool Stroke) {
        std::vector<const TFigure*> Closed, Open, All;
        for (const TFigure& F : Path) {
            if (F.Points.size() < 2) continue;
            All.push_back(&F);
            (F.Closed ? Closed : Open).push_back(&F);
        }
        if (Fill) {
            if (!Stroke) {
                if (NullPen < 0) NullPen = W.Pen(5, 0, 0);
                W.Word(META_SELECTOBJECT, uint16_t(NullPen));
            }
            Polys(META_POLYPOLYGON, All);
            if (!Stroke && Sel.Pen >= 0) W.Word(META_SELECTOBJECT, uint16_t(Sel.Pen));
            if (Stroke) Polys(META_POLYLINE, Open);
        } else if (Stroke) {
            if (NullBrush < 0) NullBrush = W.Brush(1, 0);
            W.Word(META_SELECTOBJECT, uint16_t(NullBrush));
            Polys(META_POLYPOLYGON, Closed);
            Polys(META_POLYLINE, Open);
            if (Sel.Brush >= 0) W.Word(META_SELECTOBJECT, uint16_t(Sel.Brush));
        }
        Path.clear();
    };

    EnumerateEmf(Emf, [&](const TEmfRecord& R) {
        TByteReader P(R.Bytes, 8);
        switch (R.Type) {
            case EMR_SETPOLYFILLMODE:
                FillMode = P.U32() == WINDING ? WINDING : ALTERNATE;
                W.Word(META_SETPOLYFILLMODE, uint16_t(FillMode));
                break;
            case EMR_SAVEDC:
                W.Simple(META_SAVEDC);
                SelStack.push_back(Sel);
                ClipStack.push_back(Clip);
                break;
            case EMR_RESTOREDC: {
                TByteWriter Q;
                Q.I16(-1);
                W.Record(META_RESTOREDC, Q);
                if (!SelStack.empty()) {
                    Sel = SelStack.back(), SelStack.pop_back();
                    Clip = ClipStack.back(), ClipStack.pop_back();
                }
                break;
            }
            case EMR_CREATEPEN:
            case EMR_EXTCREATEPEN: {
                const uint32_t H = P.U32();
                uint32_t Style, Width;
                COLORREF Color;
                if (R.Type == EMR_CREATEPEN) {
                    Style = P.U32(), Width = P.U32(), P.U32(), Color = P.U32();
                } else {
                    P.Skip(16);
                    Style = P.U32(), Width = P.U32(), P.U32(), Color = P.U32();
                }
                if (H >= 65536) break;
                if (H >= Map.size()) Map.resize(size_t(H) + 1, -1), IsPen.resize(size_t(H) + 1);
                Map[H] = W.Pen(uint16_t(Style & 0xFFFF), Clamp16(Width), Color);
                IsPen[H] = true;
                break;
            }
            case EMR_CREATEBRUSHINDIRECT: {
                const uint32_t H = P.U32(), Style = P.U32(), Color = P.U32();
                if (H >= 65536) break;
                if (H >= Map.size()) Map.resize(size_t(H) + 1, -1), IsPen.resize(size_t(H) + 1);
                Map[H] = W.Brush(uint16_t(Style == 1 ? 1 : 0), Color);
                IsPen[H] = false;
                break;
            }
            case EMR_SELECTOBJECT: {
                const uint32_t H = P.U32();
                if (H & StockObjectFlag) {
                    const uint32_t Stock = H & 0x7FFFFFFF;
                    if (Stock == NULL_PEN) {
                        if (NullPen < 0) NullPen = W.Pen(5, 0, 0);
                        W.Word(META_SELECTOBJECT, uint16_t(NullPen));
                        Sel.Pen = NullPen;
                    } else if (Stock == NULL_BRUSH) {
                        if (NullBrush < 0) NullBrush = W.Brush(1, 0);
                        W.Word(META_SELECTOBJECT, uint16_t(NullBrush));
                        Sel.Brush = NullBrush;
                    }
                    break;
                }
                if (H < Map.size() && Map[H] >= 0) {
                    W.Word(META_SELECTOBJECT, uint16_t(Map[H]));
                    if (IsPen[H])
                        Sel.Pen = Map[H];
                    else
                        Sel.Brush = Map[H];
                }
                break;
            }
            case EMR_DELETEOBJECT: {
                const uint32_t H = P.U32();
                if (H < Map.size() && Map[H] >= 0) {
                    if (Sel.Pen == Map[H]) Sel.Pen = -1;
                    if (Sel.Brush == Map[H]) Sel.Brush = -1;
                    W.Delete(uint16_t(Map[H]));
                    Map[H] = -1;
                }
                break;
            }
            case EMR_BEGINPATH:
                Path.clear();
                InPath = true;
                break;
            case EMR_ENDPATH:
                InPath = false;
                break;
            case EMR_ABORTPATH:
                Path.clear();
                InPath = false;
                break;
            case EMR_MOVETOEX:
                Cur.x = P.I32(), Cur.y = P.I32();
                if (InPath) {
                    Path.push_back(TFigure{{Cur}, false});
                } else {
                    TByteWriter Q;
                    Q.I16(Clamp16(Cur.y));
                    Q.I16(Clamp16(Cur.x));
                    W.Record(META_MOVETO, Q);
                }
                break;
            case EMR_LINETO: {
                const POINT To{P.I32(), P.I32()};
                if (InPath) {
                    Figure().Points.push_back(To);
                } else {
                    TByteWriter Q;
                    Q.I16(Clamp16(To.y));
                    Q.I16(Clamp16(To.x));
                    W.Record(META_LINETO, Q);
                }
                Cur = To;
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
                if (!InPath || Q.empty()) {
                    if (!Q.empty()) Cur = Q.back();
                    break;
                }
                TFigure& F = Figure();
                if (R.Type == EMR_POLYLINETO || R.Type == EMR_POLYLINETO16) {
                    F.Points.insert(F.Points.end(), Q.begin(), Q.end());
                } else {
                    for (size_t I = 0; I + 2 < Q.size(); I += 3) {
                        Flatten(Cur, Q[I], Q[I + 1], Q[I + 2], F.Points);
                        Cur = Q[I + 2];
                    }
                }
                Cur = Q.back();
                break;
            }
            case EMR_CLOSEFIGURE:
                if (!Path.empty() && !Path.back().Closed) {
                    Path.back().Closed = true;
                    Cur = Path.back().Points.front();
                }
                break;
            case EMR_FILLPATH:
                Paint(true, false);
                break;
            case EMR_STROKEPATH:
                Paint(false, true);
                break;
            case EMR_STROKEANDFILLPATH:
                Paint(true, true);
                break;
            case EMR_SELECTCLIPPATH: {
                const uint32_t Mode = P.U32();
                TRegionHolder Shape;
                std::vector<TFigure> Figures = Path;
                PolygonRegion(Figures, FillMode, Width, Height, &Shape.R);
                CombineClip(Shape.R, Mode);
                Path.clear();
                int N = 0;
                const pixman_box32_t* One = pixman_region32_rectangles(&Shape.R, &N);
                if (Mode == 1 && N == 1) {
                    // A rectangle intersected: the record every 16-bit
                    // reader knows.
                    TByteWriter Q;
                    Q.I16(Clamp16(One->y2));
                    Q.I16(Clamp16(One->x2));
                    Q.I16(Clamp16(One->y1));
                    Q.I16(Clamp16(One->x1));
                    W.Record(META_INTERSECTCLIPRECT, Q);
                    break;
                }
                SelectClip();
                break;
            }
            case EMR_EXTSELECTCLIPRGN: {
                const uint32_t Cb = P.U32(), Mode = P.U32();
                if (Cb == 0) {
                    Clip.Has = false;
                    pixman_region32_clear(&Clip.R);
                    SelectClip();
                    break;
                }
                P.Skip(8);
                const uint32_t N = P.U32();
                P.Skip(20);
                std::vector<pixman_box32_t> Boxes;
                for (uint32_t I = 0; I < N && !P.Failed(); ++I) {
                    const int32_t L = P.I32(), T = P.I32(), Rr = P.I32(), B = P.I32();
                    if (Rr > L && B > T) Boxes.push_back({L, T, Rr, B});
                }
                TRegionHolder Shape;
                pixman_region32_fini(&Shape.R);
                pixman_region32_init_rects(&Shape.R, Boxes.data(), int(Boxes.size()));
                CombineClip(Shape.R, Mode);
                SelectClip();
                break;
            }
            case EMR_STRETCHDIBITS:
            case EMR_ALPHABLEND: {
                TEmfImage Img;
                if (!ReadEmfImage(R, Img)) break;
                const int32_t X = Img.X, Y = Img.Y, Wd = Img.Width, Ht = Img.Height;
                const int BW = Img.PixelsWide, BH = Img.PixelsHigh;
                const std::vector<uint32_t>& Px = Img.Pixels;
                // Over white: premultiplied colour plus the white left uncovered.
                std::vector<uint32_t> Over(Px.size());
                for (size_t I = 0; I < Px.size(); ++I) {
                    const uint32_t A = Px[I] >> 24, Rest = 255 - A;
                    const uint32_t Rr = std::min<uint32_t>(255, ((Px[I] >> 16) & 0xFF) + Rest);
                    const uint32_t G = std::min<uint32_t>(255, ((Px[I] >> 8) & 0xFF) + Rest);
                    const uint32_t B = std::min<uint32_t>(255, (Px[I] & 0xFF) + Rest);
                    Over[I] = 0xFF000000u | (Rr << 16) | (G << 8) | B;
                }
                TDib D = DibFromPremultiplied(Over.data(), BW, BH);
                // 24-bit rows: the 16-bit readers know them best.
                TDib D24;
                D24.Width = BW, D24.Height = BH;
                const size_t Row = (size_t(BW) * 3 + 3) & ~size_t(3);
                D24.Bits.assign(Row * size_t(BH), '\0');
                for (int Yy = 0; Yy < BH; ++Yy)
                    for (int Xx = 0; Xx < BW; ++Xx) {
                        const uint32_t C = Over[size_t(Yy) * size_t(BW) + size_t(Xx)];
                        char* O = D24.Bits.data() + Row * size_t(BH - 1 - Yy) + size_t(Xx) * 3;
                        O[0] = char(C & 0xFF), O[1] = char((C >> 8) & 0xFF), O[2] = char((C >> 16) & 0xFF);
                    }
                D24.Header = D.Header;
                {
                    TByteWriter Hd;
                    Hd.Bytes(D.Header);
                    std::string& S = Hd.Data();
                    S[14] = 24, S[15] = 0;
                    TByteWriter Sz;
                    Sz.U32(uint32_t(D24.Bits.size()));
                    S.replace(20, 4, Sz.Data());
                    D24.Header = S;
                }
                // WMF records hold at most 2^32 words; large images are cut
                // into bands so that each stays small.
                const int Band = std::max(1, int((1 << 20) / std::max<size_t>(Row, 1)));
                for (int Top = 0; Top < BH; Top += Band) {
                    const int Rows = std::min(Band, BH - Top);
                    TDib Part;
                    Part.Width = BW, Part.Height = Rows;
                    Part.Bits = D24.Bits.substr(Row * size_t(BH - Top - Rows), Row * size_t(Rows));
                    Part.Header = D24.Header;
                    TByteWriter Hh;
                    Hh.I32(Rows);
                    Part.Header.replace(8, 4, Hh.Data());
                    TByteWriter Sz;
                    Sz.U32(uint32_t(Part.Bits.size()));
                    Part.Header.replace(20, 4, Sz.Data());
                    const int64_t Y0 = int64_t(Y) + int64_t(Ht) * Top / BH;
                    const int64_t Y1 = int64_t(Y) + int64_t(Ht) * (Top + Rows) / BH;
                    W.StretchDib(X, Y0, Wd, Y1 - Y0, Part);
                }
                break;
            }
            default:
                break;
        }
        return true;
    });
    return W.Finish();
}

}  // namespace velmo::metafile
