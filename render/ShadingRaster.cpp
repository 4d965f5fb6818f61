#include "render/ShadingRaster.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace velmo {

namespace {

constexpr int32_t kMaxValues = 32;
constexpr int64_t kMaxImagePixels = int64_t(1) << 26;

bool Invert(const TPDFXForm& M, TPDFXForm& R) {
    const double Det = M.eM11 * M.eM22 - M.eM12 * M.eM21;
    if (!std::isfinite(Det) || std::fabs(Det) < 1e-300) return false;
    R.eM11 = M.eM22 / Det;
    R.eM12 = -M.eM12 / Det;
    R.eM21 = -M.eM21 / Det;
    R.eM22 = M.eM11 / Det;
    R.eDx = (M.eM21 * M.eDy - M.eM22 * M.eDx) / Det;
    R.eDy = (M.eM12 * M.eDx - M.eM11 * M.eDy) / Det;
    return std::isfinite(R.eM11) && std::isfinite(R.eM12) && std::isfinite(R.eM21) &&
           std::isfinite(R.eM22) && std::isfinite(R.eDx) && std::isfinite(R.eDy);
}

inline void Map(const TPDFXForm& M, double X, double Y, double& OX, double& OY) {
    OX = X * M.eM11 + Y * M.eM21 + M.eDx;
    OY = X * M.eM12 + Y * M.eM22 + M.eDy;
}

// Turns vertex or pixel values into an opaque ARGB pixel.
class TColorizer {
public:
    explicit TColorizer(const TVPLShading& S) : FS(S) {}

    uint32_t Color(const double* In, int32_t Count) {
        const double* V = In;
        int32_t N = Count;
        if (!FS.Functions.empty()) {
            N = 0;
            // One function gives every component, else one each.
            const size_t Outputs = FS.Functions.size() == 1 ? size_t(FS.Components) : 1;
            for (const auto& F : FS.Functions) {
                FOut.assign(Outputs, 0);
                F->RunFunction(std::span<const double>(In, size_t(Count)),
                               std::span<double>(FOut));
                for (double O : FOut)
                    if (N < kMaxValues) FValues[size_t(N++)] = O;
            }
            V = FValues.data();
        }
        return 0xFF000000u | (FS.ToRGB(V, N) & 0xFFFFFF);
    }

private:
    const TVPLShading& FS;
    std::vector<double> FOut;
    std::array<double, kMaxValues> FValues{};
};

uint32_t Lerp(uint32_t A, uint32_t B, double T) {
    uint32_t R = 0xFF000000u;
    for (int Shift = 0; Shift <= 16; Shift += 8) {
        const double X = double((A >> Shift) & 0xFF), Y = double((B >> Shift) & 0xFF);
        R |= uint32_t(std::lround(X + (Y - X) * T)) << Shift;
    }
    return R;
}

// Colour lookup along the parameter of an axial or radial shading, s in
// [0, 1] of the axis: the ramp when given, else the function sampled
// finely enough for every device pixel.
class TParamTable {
public:
    TParamTable(const TVPLShading& S, int32_t Samples) {
        if (!S.Ramp.empty()) {
            FRamp = &S.Ramp;
            return;
        }
        TColorizer C(S);
        FTable.resize(size_t(Samples));
        for (int32_t I = 0; I < Samples; ++I) {
            const double T = S.Domain[0] + (S.Domain[1] - S.Domain[0]) * I / (Samples - 1);
            FTable[size_t(I)] = C.Color(&T, 1);
        }
    }
    uint32_t At(double S) const {
        S = std::clamp(S, 0.0, 1.0);
        if (FRamp != nullptr) {
            const auto& R = *FRamp;
            if (R.size() == 1) return 0xFF000000u | R[0];
            const double P = S * double(R.size() - 1);
            const size_t I = std::min(size_t(P), R.size() - 2);
            return Lerp(0xFF000000u | R[I], 0xFF000000u | R[I + 1], P - double(I));
        }
        return FTable[size_t(std::lround(S * double(FTable.size() - 1)))];
    }

private:
    const std::vector<uint32_t>* FRamp = nullptr;
    std::vector<uint32_t> FTable;
};

// ---- Mesh data -------------------------------------------------------------

class TBitReader {
public:
    explicit TBitReader(const std::string& D) : FData(D) {}
    bool Read(int32_t Bits, uint64_t& V) {
        V = 0;
        if (Bits <= 0 || Bits > 32) return false;
        if (FBit + uint64_t(Bits) > uint64_t(FData.size()) * 8) return false;
        for (int32_t I = 0; I < Bits; ++I, ++FBit) {
            const uint8_t B = uint8_t(FData[size_t(FBit >> 3)]);
            V = (V << 1) | ((B >> (7 - (FBit & 7))) & 1);
        }
        return true;
    }
    void Align() { FBit = (FBit + 7) & ~uint64_t(7); }

private:
    const std::string& FData;
    uint64_t FBit = 0;
};

struct TVertex {
    double X = 0, Y = 0;  // device
    std::array<double, kMaxValues> V{};
};

class TMeshReader {
public:
    TMeshReader(const TVPLShading& S, const TPDFXForm& ToDevice)
        : FS(S), FBits(S.Data), FM(ToDevice), FN(std::min(S.VertexValues(), kMaxValues)) {}

    bool Usable() const {
        const int32_t BC = FS.BitsPerCoordinate, BV = FS.BitsPerComponent;
        const bool CoordOk = BC == 1 || BC == 2 || BC == 4 || BC == 8 || BC == 12 || BC == 16 ||
                             BC == 24 || BC == 32;
        const bool CompOk = BV == 1 || BV == 2 || BV == 4 || BV == 8 || BV == 12 || BV == 16;
        return CoordOk && CompOk && FN > 0 && FS.Decode.size() >= size_t(4 + 2 * FN);
    }
    bool Flag(uint64_t& F) { return FBits.Read(FS.BitsPerFlag, F); }
    bool Point(double& X, double& Y) {
        uint64_t A, B;
        if (!FBits.Read(FS.BitsPerCoordinate, A) || !FBits.Read(FS.BitsPerCoordinate, B))
            return false;
        const double Max = std::ldexp(1.0, FS.BitsPerCoordinate) - 1;
        const double SX = FS.Decode[0] + double(A) * (FS.Decode[1] - FS.Decode[0]) / Max;
        const double SY = FS.Decode[2] + double(B) * (FS.Decode[3] - FS.Decode[2]) / Max;
        Map(FM, SX, SY, X, Y);
        return std::isfinite(X) && std::isfinite(Y);
    }
    bool Values(std::array<double, kMaxValues>& V) {
        const double Max = std::ldexp(1.0, FS.BitsPerComponent) - 1;
        for (int32_t I = 0; I < FN; ++I) {
            uint64_t C;
            if (!FBits.Read(FS.BitsPerComponent, C)) return false;
            const double Lo = FS.Decode[size_t(4 + 2 * I)], Hi = FS.Decode[size_t(5 + 2 * I)];
            V[size_t(I)] = Lo + double(C) * (Hi - Lo) / Max;
        }
        return true;
    }
    bool Vertex(TVertex& T) { return Point(T.X, T.Y) && Values(T.V); }
    void Align() { FBits.Align(); }
    int32_t Count() const { return FN; }

private:
    const TVPLShading& FS;
    TBitReader FBits;
    TPDFXForm FM;
    int32_t FN;
};

// ---- Pixel painting ----------------------------------------------------------

class TCanvasImage {
public:
    TCanvasImage(const TVPLShading& S, const TPDFXForm& ToDevice, int32_t X0, int32_t Y0,
                 int32_t W, int32_t H, std::vector<uint32_t>& Px)
        : FS(S), FX0(X0), FY0(Y0), FW(W), FH(H), FPx(Px), FColor(S) {
        FHasBox = S.HasBBox && Invert(ToDevice, FInv);
    }

    // Inside the shading's box (always, without one).
    bool InBox(double DX, double DY) const {
        if (!FHasBox) return true;
        double X, Y;
        Map(FInv, DX, DY, X, Y);
        return X >= FS.BBox[0] && X <= FS.BBox[2] && Y >= FS.BBox[1] && Y <= FS.BBox[3];
    }

    void Triangle(const TVertex& A, const TVertex& B, const TVertex& C, int32_t N) {
        if (++FTriangles > kMaxShadingTriangles) throw EPDFFunctionError("Shading too complex");
        const double MinX = std::min({A.X, B.X, C.X}), MaxX = std::max({A.X, B.X, C.X});
        const double MinY = std::min({A.Y, B.Y, C.Y}), MaxY = std::max({A.Y, B.Y, C.Y});
        const int32_t PX0 = std::max(FX0, int32_t(std::floor(std::max(MinX - 0.5, -1e9))));
        const int32_t PX1 = std::min(FX0 + FW - 1, int32_t(std::ceil(std::min(MaxX, 1e9))));
        const int32_t PY0 = std::max(FY0, int32_t(std::floor(std::max(MinY - 0.5, -1e9))));
        const int32_t PY1 = std::min(FY0 + FH - 1, int32_t(std::ceil(std::min(MaxY, 1e9))));
        if (PX0 > PX1 || PY0 > PY1) return;
        const double Den = (B.Y - C.Y) * (A.X - C.X) + (C.X - B.X) * (A.Y - C.Y);
        if (!(std::fabs(Den) > 1e-12)) return;
        std::array<double, kMaxValues> V{};
        const double Eps = -1e-9;
        for (int32_t Y = PY0; Y <= PY1; ++Y) {
            const double CY = Y + 0.5;
            for (int32_t X = PX0; X <= PX1; ++X) {
                const double CX = X + 0.5;
                const double L1 = ((B.Y - C.Y) * (CX - C.X) + (C.X - B.X) * (CY - C.Y)) / Den;
                const double L2 = ((C.Y - A.Y) * (CX - C.X) + (A.X - C.X) * (CY - C.Y)) / Den;
                const double L3 = 1 - L1 - L2;
                if (L1 < Eps || L2 < Eps || L3 < Eps) continue;
                if (!InBox(CX, CY)) continue;
                for (int32_t I = 0; I < N; ++I)
                    V[size_t(I)] =
                        L1 * A.V[size_t(I)] + L2 * B.V[size_t(I)] + L3 * C.V[size_t(I)];
                Set(X, Y, FColor.Color(V.data(), N));
            }
        }
    }

    void Set(int32_t X, int32_t Y, uint32_t C) {
        FPx[size_t(Y - FY0) * size_t(FW) + size_t(X - FX0)] = C;
    }

    TColorizer& Colorizer() { return FColor; }

private:
    const TVPLShading& FS;
    int32_t FX0, FY0, FW, FH;
    std::vector<uint32_t>& FPx;
    TColorizer FColor;
    TPDFXForm FInv{};
    bool FHasBox = false;
    int64_t FTriangles = 0;
};

// ---- Patches -----------------------------------------------------------------

struct TPatch {
    std::array<std::array<TPDFDoublePoint, 4>, 4> P{};  // P[u][v]
    std::array<std::array<double, kMaxValues>, 4> C{};  // (0,0) (0,1) (1,1) (1,0)
};

double Bern(int I, double T) {
    const double S = 1 - T;
    switch (I) {
        case 0:
            return S * S * S;
        case 1:
            return 3 * T * S * S;
        case 2:
            return 3 * T * T * S;
        default:
            return T * T * T;
    }
}

void PaintPatch(const TPatch& Pt, int32_t N, TCanvasImage& Img) {
    double MinX = 1e300, MaxX = -1e300, MinY = 1e300, MaxY = -1e300;
    for (const auto& Row : Pt.P)
        for (const auto& Q : Row) {
            MinX = std::min(MinX, Q.X);
            MaxX = std::max(MaxX, Q.X);
            MinY = std::min(MinY, Q.Y);
            MaxY = std::max(MaxY, Q.Y);
        }
    // Cells of about a pixel, at most kMaxPatchSubdivision a side.
    const double Extent = std::max(MaxX - MinX, MaxY - MinY);
    const int32_t Cells =
        std::clamp(int32_t(std::ceil(std::min(Extent, 1e6))), 1, kMaxPatchSubdivision);
    std::vector<TVertex> Grid(size_t(Cells + 1) * size_t(Cells + 1));
    for (int32_t I = 0; I <= Cells; ++I) {
        const double U = double(I) / Cells;
        for (int32_t J = 0; J <= Cells; ++J) {
            const double V = double(J) / Cells;
            TVertex& T = Grid[size_t(I) * size_t(Cells + 1) + size_t(J)];
            T.X = T.Y = 0;
            for (int A = 0; A < 4; ++A)
                for (int B = 0; B < 4; ++B) {
                    const double W = Bern(A, U) * Bern(B, V);
                    T.X += W * Pt.P[size_t(A)][size_t(B)].X;
                    T.Y += W * Pt.P[size_t(A)][size_t(B)].Y;
                }
            for (int32_t K = 0; K < N; ++K)
                T.V[size_t(K)] = (1 - U) * (1 - V) * Pt.C[0][size_t(K)] +
                                 (1 - U) * V * Pt.C[1][size_t(K)] + U * V * Pt.C[2][size_t(K)] +
                                 U * (1 - V) * Pt.C[3][size_t(K)];
        }
    }
    for (int32_t I = 0; I < Cells; ++I)
        for (int32_t J = 0; J < Cells; ++J) {
            const TVertex& A = Grid[size_t(I) * size_t(Cells + 1) + size_t(J)];
            const TVertex& B = Grid[size_t(I) * size_t(Cells + 1) + size_t(J + 1)];
            const TVertex& C = Grid[size_t(I + 1) * size_t(Cells + 1) + size_t(J + 1)];
            const TVertex& D = Grid[size_t(I + 1) * size_t(Cells + 1) + size_t(J)];
            Img.Triangle(A, B, C, N);
            Img.Triangle(A, C, D, N);
        }
}

void FillCoonsInterior(TPatch& T) {
    auto& P = T.P;
    auto Mix = [&](int A0, int A1, int B0, int B1, int C0, int C1, int D0, int D1, int E0, int E1,
                   int F0, int F1, int G0, int G1, int H0, int H1) {
        // (-4a + 6(b + c) - 2(d + e) + 3(f + g) - h) / 9
        TPDFDoublePoint R;
        R.X = (-4 * P[A0][A1].X + 6 * (P[B0][B1].X + P[C0][C1].X) -
               2 * (P[D0][D1].X + P[E0][E1].X) + 3 * (P[F0][F1].X + P[G0][G1].X) - P[H0][H1].X) /
              9;
        R.Y = (-4 * P[A0][A1].Y + 6 * (P[B0][B1].Y + P[C0][C1].Y) -
               2 * (P[D0][D1].Y + P[E0][E1].Y) + 3 * (P[F0][F1].Y + P[G0][G1].Y) - P[H0][H1].Y) /
              9;
        return R;
    };
    P[1][1] = Mix(0, 0, 0, 1, 1, 0, 0, 3, 3, 0, 3, 1, 1, 3, 3, 3);
    P[1][2] = Mix(0, 3, 0, 2, 1, 3, 0, 0, 3, 3, 3, 2, 1, 0, 3, 0);
    P[2][2] = Mix(3, 3, 3, 2, 2, 3, 3, 0, 0, 3, 2, 0, 0, 2, 0, 0);
    P[2][1] = Mix(3, 0, 3, 1, 2, 0, 3, 3, 0, 0, 1, 0, 2, 3, 0, 3);
}

// The boundary of a patch in stream order: P[u][v] indices.
constexpr std::array<std::array<int, 2>, 12> kBoundary = {{{0, 0},
                                                           {0, 1},
                                                           {0, 2},
                                                           {0, 3},
                                                           {1, 3},
                                                           {2, 3},
                                                           {3, 3},
                                                           {3, 2},
                                                           {3, 1},
                                                           {3, 0},
                                                           {2, 0},
                                                           {1, 0}}};

void PaintPatches(TMeshReader& M, bool Tensor, TCanvasImage& Img) {
    TPatch Prev;
    bool HavePrev = false;
    const int32_t N = M.Count();
    for (;;) {
        uint64_t Flag;
        if (!M.Flag(Flag)) break;
        TPatch T;
        int First = 0;
        if (Flag != 0) {
            if (!HavePrev || Flag > 3) break;
            // The shared edge of the previous patch, from its corner Flag.
            const int Start = int(Flag) * 3;
            for (int K = 0; K < 4; ++K) {
                const auto& From = kBoundary[size_t((Start + K) % 12)];
                T.P[0][size_t(K)] = Prev.P[size_t(From[0])][size_t(From[1])];
            }
            // Corner colours in boundary order: 0 (0,0), 1 (0,3), 2 (3,3), 3 (3,0).
            T.C[0] = Prev.C[size_t(Flag % 4)];
            T.C[1] = Prev.C[size_t((Flag + 1) % 4)];
            First = 4;
        }
        bool Ok = true;
        for (int K = First; K < 12 && Ok; ++K) {
            TPDFDoublePoint& Q = T.P[size_t(kBoundary[size_t(K)][0])][size_t(kBoundary[size_t(K)][1])];
            Ok = M.Point(Q.X, Q.Y);
        }
        if (Ok && Tensor) {
            Ok = M.Point(T.P[1][1].X, T.P[1][1].Y) && M.Point(T.P[1][2].X, T.P[1][2].Y) &&
                 M.Point(T.P[2][2].X, T.P[2][2].Y) && M.Point(T.P[2][1].X, T.P[2][1].Y);
        }
        for (int K = First == 0 ? 0 : 2; K < 4 && Ok; ++K) Ok = M.Values(T.C[size_t(K)]);
        if (!Ok) break;
        M.Align();
        if (!Tensor) FillCoonsInterior(T);
        PaintPatch(T, N, Img);
        Prev = T;
        HavePrev = true;
    }
}

void PaintFreeForm(TMeshReader& M, TCanvasImage& Img) {
    TVertex A, B, C;
    int32_t Have = 0;
    for (;;) {
        uint64_t Flag;
        if (!M.Flag(Flag)) break;
        TVertex V;
        if (!M.Vertex(V)) break;
        M.Align();
        if (Flag == 0 || Have < 3) {
            // A new triangle begins; the flags of its second and third
            // vertices are not read.
            if (Have >= 3) Have = 0;
            if (Have == 0) A = V;
            else if (Have == 1) B = V;
            else {
                C = V;
                Img.Triangle(A, B, C, M.Count());
            }
            ++Have;
            continue;
        }
        if (Flag == 1) {
            A = B;
            B = C;
        } else if (Flag == 2) {
            B = C;
        } else {
            break;
        }
        C = V;
        Img.Triangle(A, B, C, M.Count());
    }
}

void PaintLattice(TMeshReader& M, int32_t PerRow, TCanvasImage& Img) {
    if (PerRow < 2) return;
    std::vector<TVertex> Above, Row;
    for (;;) {
        Row.clear();
        for (int32_t I = 0; I < PerRow; ++I) {
            TVertex V;
            if (!M.Vertex(V)) return;
            M.Align();
            Row.push_back(V);
        }
        if (!Above.empty())
            for (int32_t I = 0; I + 1 < PerRow; ++I) {
                Img.Triangle(Above[size_t(I)], Above[size_t(I + 1)], Row[size_t(I)], M.Count());
                Img.Triangle(Above[size_t(I + 1)], Row[size_t(I + 1)], Row[size_t(I)], M.Count());
            }
        std::swap(Above, Row);
    }
}

}  // namespace

bool RasteriseShading(const TVPLShading& S, const TPDFXForm& ToDevice, int32_t X0, int32_t Y0,
                      int32_t W, int32_t H, std::vector<uint32_t>& ARGB) {
    ARGB.clear();
    if (W <= 0 || H <= 0 || int64_t(W) * H > kMaxImagePixels || !S.ToRGB) return false;
    TPDFXForm Inv;
    if (!Invert(ToDevice, Inv)) return false;
    if (S.Components <= 0 || S.Components > kMaxValues) return false;
    for (const auto& F : S.Functions)
        if (!F) return false;
    ARGB.assign(size_t(W) * size_t(H), 0);
    try {
        TCanvasImage Img(S, ToDevice, X0, Y0, W, H, ARGB);
        switch (S.ShadingType) {
            case 1: {
                TPDFXForm MInv;
                if (S.Functions.empty() || !Invert(S.Matrix, MInv)) return false;
                for (int32_t Y = 0; Y < H; ++Y)
                    for (int32_t X = 0; X < W; ++X) {
                        const double DX = X0 + X + 0.5, DY = Y0 + Y + 0.5;
                        if (!Img.InBox(DX, DY)) continue;
                        double SX, SY, U, V;
                        Map(Inv, DX, DY, SX, SY);
                        Map(MInv, SX, SY, U, V);
                        if (U < S.Domain[0] || U > S.Domain[1] || V < S.Domain[2] ||
                            V > S.Domain[3])
                            continue;
                        const double In[2] = {U, V};
                        Img.Set(X0 + X, Y0 + Y, Img.Colorizer().Color(In, 2));
                    }
                break;
            }
            case 2:
            case 3: {
                if (S.Functions.empty() && S.Ramp.empty()) return false;
                // Enough samples for one per device pixel along the axis.
                double AX, AY, BX, BY;
                Map(ToDevice, S.Coords[0], S.Coords[1], AX, AY);
                Map(ToDevice, S.Coords[S.ShadingType == 2 ? 2 : 3],
                    S.Coords[S.ShadingType == 2 ? 3 : 4], BX, BY);
                const double Scale = std::sqrt(std::fabs(ToDevice.eM11 * ToDevice.eM22 -
                                                         ToDevice.eM12 * ToDevice.eM21));
                double Len = std::hypot(BX - AX, BY - AY);
                if (S.ShadingType == 3)
                    Len += (std::fabs(S.Coords[2]) + std::fabs(S.Coords[5])) * Scale;
                const int32_t Samples = int32_t(std::clamp(Len * 2, 256.0, 8192.0));
                const TParamTable Table(S, Samples);
                const double X0s = S.Coords[0], Y0s = S.Coords[1];
                if (S.ShadingType == 2) {
                    const double DX = S.Coords[2] - X0s, DY = S.Coords[3] - Y0s;
                    const double Den = DX * DX + DY * DY;
                    for (int32_t Y = 0; Y < H; ++Y)
                        for (int32_t X = 0; X < W; ++X) {
                            const double PX = X0 + X + 0.5, PY = Y0 + Y + 0.5;
                            if (!Img.InBox(PX, PY)) continue;
                            double SX, SY;
                            Map(Inv, PX, PY, SX, SY);
                            double T = Den > 0 ? ((SX - X0s) * DX + (SY - Y0s) * DY) / Den : 0;
                            if (T < 0) {
                                if (!S.Extend[0]) continue;
                                T = 0;
                            } else if (T > 1) {
                                if (!S.Extend[1]) continue;
                                T = 1;
                            }
                            Img.Set(X0 + X, Y0 + Y, Table.At(T));
                        }
                    break;
                }
                const double R0 = S.Coords[2], CDX = S.Coords[3] - X0s, CDY = S.Coords[4] - Y0s,
                             DR = S.Coords[5] - R0;
                const double A = CDX * CDX + CDY * CDY - DR * DR;
                auto Accept = [&](double T) {
                    if (!std::isfinite(T) || R0 + T * DR < 0) return false;
                    if (T < 0) return S.Extend[0];
                    if (T > 1) return S.Extend[1];
                    return true;
                };
                for (int32_t Y = 0; Y < H; ++Y)
                    for (int32_t X = 0; X < W; ++X) {
                        const double PX = X0 + X + 0.5, PY = Y0 + Y + 0.5;
                        if (!Img.InBox(PX, PY)) continue;
                        double SX, SY;
                        Map(Inv, PX, PY, SX, SY);
                        const double QX = SX - X0s, QY = SY - Y0s;
                        const double B = QX * CDX + QY * CDY + R0 * DR;
                        const double C = QX * QX + QY * QY - R0 * R0;
                        double T = 0;
                        bool Found = false;
                        if (std::fabs(A) < 1e-12) {
                            if (B != 0) {
                                T = C / (2 * B);
                                Found = Accept(T);
                            }
                        } else {
                            const double Disc = B * B - A * C;
                            if (Disc >= 0) {
                                const double Root = std::sqrt(Disc);
                                const double T1 = (B + Root) / A, T2 = (B - Root) / A;
                                const double Hi = std::max(T1, T2), Lo = std::min(T1, T2);
                                if (Accept(Hi)) {
                                    T = Hi;
                                    Found = true;
                                } else if (Accept(Lo)) {
                                    T = Lo;
                                    Found = true;
                                }
                            }
                        }
                        if (Found) Img.Set(X0 + X, Y0 + Y, Table.At(T));
                    }
                break;
            }
            case 4:
            case 5:
            case 6:
            case 7: {
                TMeshReader M(S, ToDevice);
                if (!M.Usable()) return false;
                if ((S.ShadingType != 5) && !(S.BitsPerFlag == 2 || S.BitsPerFlag == 4 ||
                                              S.BitsPerFlag == 8))
                    return false;
                if (S.ShadingType == 4)
                    PaintFreeForm(M, Img);
                else if (S.ShadingType == 5)
                    PaintLattice(M, S.VerticesPerRow, Img);
                else
                    PaintPatches(M, S.ShadingType == 7, Img);
                break;
            }
            default:
                return false;
        }
    } catch (const std::exception&) {
        ARGB.clear();
        return false;
    }
    return true;
}

bool RasteriseShadingOver(const TVPLShading& S, const TPDFXForm& ToDevice, double X0, double Y0,
                          double X1, double Y1, double Alpha, TShadingImage& Out) {
    Out = TShadingImage{};
    if (S.HasBBox) {
        double BX0 = 1e300, BY0 = 1e300, BX1 = -1e300, BY1 = -1e300;
        for (int K = 0; K < 4; ++K) {
            double DX, DY;
            Map(ToDevice, S.BBox[K & 1 ? 2 : 0], S.BBox[K & 2 ? 3 : 1], DX, DY);
            BX0 = std::min(BX0, DX);
            BY0 = std::min(BY0, DY);
            BX1 = std::max(BX1, DX);
            BY1 = std::max(BY1, DY);
        }
        X0 = std::max(X0, BX0);
        Y0 = std::max(Y0, BY0);
        X1 = std::min(X1, BX1);
        Y1 = std::min(Y1, BY1);
    }
    if (!(X1 > X0) || !(Y1 > Y0) || !std::isfinite(X0) || !std::isfinite(Y0) ||
        !std::isfinite(X1) || !std::isfinite(Y1) || std::fabs(X0) > 1e9 || std::fabs(Y0) > 1e9 ||
        std::fabs(X1) > 1e9 || std::fabs(Y1) > 1e9)
        return false;
    const int64_t IX0 = int64_t(std::floor(X0)), IY0 = int64_t(std::floor(Y0));
    const int64_t W = int64_t(std::ceil(X1)) - IX0, H = int64_t(std::ceil(Y1)) - IY0;
    if (W <= 0 || H <= 0 || W > INT32_MAX || H > INT32_MAX) return false;
    Out.X0 = int32_t(IX0);
    Out.Y0 = int32_t(IY0);
    Out.W = int32_t(W);
    Out.H = int32_t(H);
    if (!RasteriseShading(S, ToDevice, Out.X0, Out.Y0, Out.W, Out.H, Out.ARGB)) {
        Out = TShadingImage{};
        return false;
    }
    const double A = std::isfinite(Alpha) ? std::clamp(Alpha, 0.0, 1.0) : 1.0;
    if (A < 1)
        for (uint32_t& P : Out.ARGB) {
            const uint32_t Scaled = uint32_t(std::lround(double(P >> 24) * A));
            P = (P & 0xFFFFFF) | (Scaled << 24);
        }
    return true;
}

}  // namespace velmo
