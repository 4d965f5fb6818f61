#include "forms/TextFunnel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/StringHelpers.h"

namespace velmo {

namespace {

// Block ends are indexed in square cells of this many points; a query looks
// at the cells its search radius covers.
constexpr double kCell = 16.0;
constexpr int64_t kCellLimit = int64_t(1) << 30;
// A block whose baseline spans more cells than this is kept in a per-line
// list instead of in every cell it covers.
constexpr int64_t kMaxSpanCells = 4096;

int64_t CellOf(double V) {
    if (std::isnan(V)) return 0;
    const double C = std::floor(V / kCell);
    if (C < -static_cast<double>(kCellLimit)) return -kCellLimit;
    if (C > static_cast<double>(kCellLimit)) return kCellLimit;
    return static_cast<int64_t>(C);
}

uint64_t PackCell(int64_t CX, int64_t CY) {
    return (static_cast<uint64_t>(CX + kCellLimit) << 32) ^ static_cast<uint64_t>(CY + kCellLimit);
}

// Exact bits of a baseline y (both zeros alike), for the equality rule.
uint64_t YBits(double Y) {
    if (Y == 0) Y = 0;
    uint64_t B;
    std::memcpy(&B, &Y, sizeof B);
    return B;
}

uint64_t SpanKey(uint64_t YB, int64_t CX) {
    uint64_t H = YB * 0x9E3779B97F4A7C15ull;
    return H ^
           (static_cast<uint64_t>(CX + kCellLimit) + 0x632BE59BD9B4E019ull + (H << 6) + (H >> 2));
}

TPDFDoublePoint Map(const TPDFXForm& M, double X, double Y) {
    return {X * M.eM11 + Y * M.eM21 + M.eDx, X * M.eM12 + Y * M.eM22 + M.eDy};
}

double Distance(const TPDFDoublePoint& A, const TPDFDoublePoint& B) {
    const double DX = A.X - B.X;
    const double DY = A.Y - B.Y;
    return std::sqrt(DX * DX + DY * DY);
}

bool Finite(const TPDFDoublePoint& P) { return std::isfinite(P.X) && std::isfinite(P.Y); }

// The adjacency distance: 0 when the run starts inside the block's baseline
// span on exactly its line, else the distance from the block's end.
double AdjacentDistance(const TPDFTextFunnelBlock& K, const TPDFDoublePoint& S) {
    if (K.P1.X < S.X && S.X < K.P2.X && S.Y == K.P2.Y) return 0;
    return Distance(K.P2, S);
}

}  // namespace

// Where a block sits in the index of its style.
struct TPDFTextFunnel::TBlockPlace {
    TStyleIndex* Style = nullptr;
    bool HasEnd = false;
    uint64_t EndCell = 0;
    bool HasSpan = false;
    bool Wide = false;
    uint64_t SpanY = 0;
    int64_t SpanC0 = 0, SpanC1 = 0;
};

struct TPDFTextFunnel::TStyleIndex {
    // Blocks of the style in creation order.
    std::vector<uint32_t> All;
    // Cell of a block's end (P2) -> blocks; entries of blocks that moved on
    // are dropped when met.
    std::unordered_map<uint64_t, std::vector<uint32_t>> Ends;
    // (baseline y, x cell) -> blocks whose baseline span covers that cell.
    std::unordered_map<uint64_t, std::vector<uint32_t>> Spans;
    // baseline y -> blocks too wide for the span cells.
    std::unordered_map<uint64_t, std::vector<uint32_t>> WideSpans;
};

TPDFTextFunnel::TPDFTextFunnel() = default;
TPDFTextFunnel::~TPDFTextFunnel() = default;

void TPDFTextFunnel::Clear() {
    FTextBlocks.clear();
    SList.clear();
    FImages.clear();
    FIndex.clear();
    FPlaces.clear();
}

void TPDFTextFunnel::SetArea(double Left, double Top, double Width, double Height) {
    FHasArea = true;
    FAreaLeft = Left;
    FAreaTop = Top;
    FAreaRight = Left + Width;
    FAreaBottom = Top - Height;
}

TPDFTextFunnelBlock TPDFTextFunnel::GetBlock(int32_t Index) const {
    if (Index < 0 || static_cast<size_t>(Index) >= FTextBlocks.size()) return {};
    return FTextBlocks[static_cast<size_t>(Index)];
}

TPDFTextFunnelBlock* TPDFTextFunnel::TextBlock(int32_t I) {
    if (I < 0 || static_cast<size_t>(I) >= SList.size()) return nullptr;
    const size_t B = SList[static_cast<size_t>(I)];
    return B < FTextBlocks.size() ? &FTextBlocks[B] : nullptr;
}

TPDFTextFunnelImage TPDFTextFunnel::GetImage(int32_t Index) const {
    if (Index < 0 || static_cast<size_t>(Index) >= FImages.size()) return {};
    return FImages[static_cast<size_t>(Index)];
}

std::string TPDFTextFunnel::StyleKey(std::string_view FontName, std::string_view Color,
                                     std::string_view MatDump) const {
    std::string K;
    auto Part = [&K](std::string_view P) {
        K += std::to_string(P.size());
        K += ':';
        K += P;
    };
    Part(FIgnoreFont ? std::string_view() : FontName);
    Part(FIgnoreColor ? std::string_view() : Color);
    Part(FIgnoreBlocks ? std::string_view() : MatDump);
    return K;
}

int TPDFTextFunnel::IndexFlags() const {
    return (FIgnoreFont ? 1 : 0) | (FIgnoreColor ? 2 : 0) | (FIgnoreBlocks ? 4 : 0);
}

void TPDFTextFunnel::RebuildIndex() {
    FIndex.clear();
    FPlaces.assign(FTextBlocks.size(), TBlockPlace{});
    FIndexFlags = IndexFlags();
    for (size_t B = 0; B < FTextBlocks.size(); ++B) {
        const TPDFTextFunnelBlock& K = FTextBlocks[B];
        auto& Slot = FIndex[StyleKey(K.FontName, K.Color, K.MatDump)];
        if (!Slot) Slot = std::make_unique<TStyleIndex>();
        FPlaces[B].Style = Slot.get();
        Slot->All.push_back(static_cast<uint32_t>(B));
        IndexBlock(B);
    }
}

void TPDFTextFunnel::IndexBlock(size_t B) {
    const TPDFTextFunnelBlock& K = FTextBlocks[B];
    TBlockPlace& P = FPlaces[B];
    TStyleIndex& I = *P.Style;
    const uint32_t Id = static_cast<uint32_t>(B);
    const uint64_t E = PackCell(CellOf(K.P2.X), CellOf(K.P2.Y));
    if (!P.HasEnd || P.EndCell != E) {
        I.Ends[E].push_back(Id);
        P.HasEnd = true;
        P.EndCell = E;
    }
    // The baseline span serves the rule that a run starting inside a block's
    // span on exactly its line is adjacent to it.
    if (!(K.P1.X < K.P2.X) || !std::isfinite(K.P1.X) || !std::isfinite(K.P2.X) ||
        !std::isfinite(K.P2.Y))
        return;
    const uint64_t YB = YBits(K.P2.Y);
    const int64_t C0 = CellOf(K.P1.X);
    const int64_t C1 = CellOf(K.P2.X);
    const bool SameLine = P.HasSpan && P.SpanY == YB && P.SpanC0 == C0;
    if (SameLine && P.Wide) return;
    if (C1 - C0 + 1 > kMaxSpanCells) {
        I.WideSpans[YB].push_back(Id);
        P.HasSpan = true;
        P.Wide = true;
        P.SpanY = YB;
        P.SpanC0 = C0;
        P.SpanC1 = C1;
        return;
    }
    int64_t From = C0;
    if (SameLine) {
        if (C1 <= P.SpanC1) return;
        From = P.SpanC1 + 1;
    }
    for (int64_t C = From; C <= C1; ++C) I.Spans[SpanKey(YB, C)].push_back(Id);
    P.HasSpan = true;
    P.Wide = false;
    P.SpanY = YB;
    P.SpanC0 = C0;
    P.SpanC1 = std::max(C1, SameLine ? P.SpanC1 : C1);
}

int64_t TPDFTextFunnel::FindMatch(TStyleIndex& Idx, const TPDFDoublePoint& S, double FontSize,
                                  int& Kind) {
    Kind = 0;
    if (!Finite(S)) return -1;
    int64_t Best = -1;
    auto Better = [&Best](uint32_t B) { return Best < 0 || static_cast<int64_t>(B) < Best; };

    // Visits the end cells of a box; false when the box holds more cells than
    // the style has blocks, so a walk over its blocks is cheaper.
    auto VisitEnds = [&](double X0, double X1, double Y0, double Y1, auto&& Test) -> bool {
        const int64_t CX0 = CellOf(X0) - 1, CX1 = CellOf(X1) + 1;
        const int64_t CY0 = CellOf(Y0) - 1, CY1 = CellOf(Y1) + 1;
        const double Cells =
            static_cast<double>(CX1 - CX0 + 1) * static_cast<double>(CY1 - CY0 + 1);
        if (Cells > static_cast<double>(Idx.All.size())) return false;
        for (int64_t CY = CY0; CY <= CY1; ++CY) {
            for (int64_t CX = CX0; CX <= CX1; ++CX) {
                const uint64_t Key = PackCell(CX, CY);
                auto It = Idx.Ends.find(Key);
                if (It == Idx.Ends.end()) continue;
                std::vector<uint32_t>& L = It->second;
                size_t W = 0;
                for (size_t R = 0; R < L.size(); ++R) {
                    const uint32_t B = L[R];
                    if (FPlaces[B].EndCell != Key) continue;  // moved on
                    L[W++] = B;
                    if (Better(B) && Test(FTextBlocks[B])) Best = B;
                }
                L.resize(W);
            }
        }
        return true;
    };
    auto WalkAll = [&](auto&& Test) {
        for (uint32_t B : Idx.All) {
            if (Test(FTextBlocks[B])) {
                Best = B;
                return;
            }
        }
    };

    // Adjacent: the run starts within a tenth of its size of a block's end.
    const double Near = FontSize / 10;
    if (Near > 0 && std::isfinite(Near)) {
        auto Adjacent = [&](const TPDFTextFunnelBlock& K) { return AdjacentDistance(K, S) < Near; };
        if (VisitEnds(S.X - Near, S.X + Near, S.Y - Near, S.Y + Near,
                      [&](const TPDFTextFunnelBlock& K) { return Distance(K.P2, S) < Near; })) {
            auto Span = [&](const std::vector<uint32_t>& L) {
                for (uint32_t B : L) {
                    const TPDFTextFunnelBlock& K = FTextBlocks[B];
                    if (Better(B) && K.P1.X < S.X && S.X < K.P2.X && S.Y == K.P2.Y) Best = B;
                }
            };
            const uint64_t YB = YBits(S.Y);
            if (auto It = Idx.Spans.find(SpanKey(YB, CellOf(S.X))); It != Idx.Spans.end())
                Span(It->second);
            if (auto It = Idx.WideSpans.find(YB); It != Idx.WideSpans.end()) Span(It->second);
        } else {
            WalkAll(Adjacent);
        }
        if (Best >= 0) {
            Kind = 1;
            return Best;
        }
    }

    // Word gap: on the same line (within 2 points) and within the gap limit.
    const double Gap = FontSize * FWordGap / 0.7;
    if (Gap > 0 && std::isfinite(Gap)) {
        auto InGap = [&](const TPDFTextFunnelBlock& K) {
            return std::fabs(K.P2.Y - S.Y) < 2 && Distance(K.P2, S) < Gap;
        };
        const double DY = std::min(2.0, Gap);
        if (!VisitEnds(S.X - Gap, S.X + Gap, S.Y - DY, S.Y + DY, InGap)) WalkAll(InGap);
        if (Best >= 0) {
            Kind = Distance(FTextBlocks[static_cast<size_t>(Best)].P2, S) < Gap * 0.15 ? 3 : 2;
            return Best;
        }
    }
    return -1;
}

void TPDFTextFunnel::AddText(const TPDFXForm& Matrix, std::u16string_view Text,
                             const TPDFTextColor& Color, std::string_view FontName, double FontSize,
                             double X, double Y, double Width, double Height,
                             std::span<const double> Offsets) {
    const double A = Matrix.eM11, B = Matrix.eM12, C = Matrix.eM21, D = Matrix.eM22;
    std::string MatDump =
        FormatNumber(A, 4) + FormatNumber(B, 4) + FormatNumber(C, 4) + FormatNumber(D, 4);

    // Character starts: a caller that gives fewer offsets than characters
    // gets the last one repeated rather than a read past its array.
    std::u16string T(Text);
    std::vector<double> Off(T.size());
    for (size_t j = 0; j < Off.size(); ++j)
        Off[j] = j < Offsets.size() ? Offsets[j] : (Offsets.empty() ? 0.0 : Offsets.back());
    std::vector<double> Rel(T.size());
    auto Rebase = [&]() {
        for (size_t j = 0; j < Off.size(); ++j) Rel[j] = Off[j] - Off[0];
    };
    Rebase();
    // Keeps characters First to Last, moving the origin to First.
    auto Cut = [&](size_t First, size_t Last) {
        Width = Last + 1 < T.size() ? Rel[Last + 1] - Rel[First] : Width - Rel[First];
        X += Rel[First];
        T = T.substr(First, Last - First + 1);
        Off = std::vector<double>(Off.begin() + static_cast<std::ptrdiff_t>(First),
                                  Off.begin() + static_cast<std::ptrdiff_t>(Last) + 1);
        Rel.resize(Off.size());
        Rebase();
    };

    bool SlightlyRotated = false;
    if (FIgnoreRotated && (B != 0 || C != 0)) {
        // Only text turned clockwise by more than a hair is dropped.
        if (C >= 0.005) return;
        SlightlyRotated = true;
    }

    if (FTrimWhitespace) {
        const size_t First = T.find_first_not_of(u' ');
        if (First == std::u16string::npos) return;
        Cut(First, T.find_last_not_of(u' '));
    }

    if (FRemoveUnderscoreLines && T.find_first_not_of(u'_') == std::u16string::npos) return;

    TPDFDoublePoint S = Map(Matrix, X, Y);

    if (FHasArea) {
        if (!FTrimCharsOutsideArea) {
            if (!(FAreaBottom <= S.Y && S.Y <= FAreaTop && FAreaLeft <= S.X && S.X <= FAreaRight))
                return;
        } else {
            if (!(FAreaBottom < S.Y && S.Y < FAreaTop)) return;
            size_t First = T.size(), Last = 0;
            for (size_t j = 0; j < T.size(); ++j) {
                const double PX = Rel[j] * A + S.X;
                if (FAreaLeft < PX && PX < FAreaRight) {
                    if (First == T.size()) First = j;
                    Last = j;
                }
            }
            if (First == T.size()) return;
            Cut(First, Last);
        }
    }

    if (FIgnoreOverlaps) {
        if (T.find_first_not_of(u' ') == std::u16string::npos) return;
        const TPDFDoublePoint Centre = Map(Matrix, X + Width / 2, Y + Height / 2);
        for (const TPDFTextFunnelBlock& K : FTextBlocks) {
            double R = K.P3.X;
            if (SlightlyRotated) R -= (K.P3.X - K.P1.X) * 0.1;
            if (K.P1.X <= Centre.X && Centre.X <= R && K.P1.Y <= Centre.Y && Centre.Y <= K.P3.Y) {
                if (FIgnoreDuplicates && K.Text != T) continue;
                return;
            }
        }
    }

    if (FIndexFlags != IndexFlags() || FPlaces.size() != FTextBlocks.size()) RebuildIndex();

    int64_t Match = -1;
    int Kind = 0;
    if (FMatch && !FTextBlocks.empty()) {
        S = Map(Matrix, X, Y);
        if (FSpecialMatch) {
            const TPDFTextFunnelBlock& K = FTextBlocks.back();
            const bool SameStyle = (FIgnoreFont || K.FontName == FontName) &&
                                   (FIgnoreColor || K.Color == Color.HexColor) &&
                                   (FIgnoreBlocks || K.MatDump == MatDump);
            if (SameStyle) {
                const double Limit = FontSize * FWordGap / 0.7;
                if (AdjacentDistance(K, S) < FontSize / 10) {
                    Kind = 1;
                } else if (std::fabs(K.P2.Y - S.Y) < 2 && Distance(K.P2, S) < Limit) {
                    Kind = Distance(K.P2, S) < Limit * 0.15 ? 3 : 2;
                }
                if (Kind != 0) Match = static_cast<int64_t>(FTextBlocks.size()) - 1;
            }
        } else if (auto It = FIndex.find(StyleKey(FontName, Color.HexColor, MatDump));
                   It != FIndex.end()) {
            Match = FindMatch(*It->second, S, FontSize, Kind);
        }
    }

    const TPDFDoublePoint Q1 = Map(Matrix, X, Y);
    const TPDFDoublePoint Q2 = Map(Matrix, X + Width, Y);
    const TPDFDoublePoint Q3 = Map(Matrix, X + Width, Y + Height);
    const TPDFDoublePoint Q4 = Map(Matrix, X, Y + Height);
    std::vector<double> Pos(T.size());
    for (size_t j = 0; j < T.size(); ++j) Pos[j] = Rel[j] * A + Q1.X;

    bool Joined = false;
    if (Match >= 0) {
        TPDFTextFunnelBlock& M = FTextBlocks[static_cast<size_t>(Match)];
        const bool Tiny = Kind == 3;
        if (Kind == 1 || (Tiny && !FSplitWords)) {
            M.Text += T;
            M.DXoffsets.insert(M.DXoffsets.end(), Pos.begin(), Pos.end());
            Joined = true;
        } else if (Tiny) {
            // The first character takes the place of the old end.
            M.Text += T;
            if (!Pos.empty()) {
                M.DXoffsets.push_back(M.P2.X);
                M.DXoffsets.insert(M.DXoffsets.end(), Pos.begin() + 1, Pos.end());
            }
            Joined = true;
        } else if (!FSplitWords) {
            // A blank at the old end stands for the gap.
            M.Text += u' ';
            M.Text += T;
            M.DXoffsets.push_back(M.P2.X);
            M.DXoffsets.insert(M.DXoffsets.end(), Pos.begin(), Pos.end());
            Joined = true;
        }
        if (Joined) {
            M.P2 = Q2;
            M.P3 = Q3;
            IndexBlock(static_cast<size_t>(Match));
        }
    }

    if (!Joined) {
        TPDFTextFunnelBlock K;
        K.P1 = Q1;
        K.P2 = Q2;
        K.P3 = Q3;
        K.P4 = Q4;
        K.Text = std::move(T);
        K.DXoffsets = std::move(Pos);
        K.FontName = std::string(FontName);
        K.MatDump = std::move(MatDump);
        K.Color = Color.HexColor;
        K.TextSize = FontSize;
        K.ColorArray = Color.Color;
        const std::string Key = StyleKey(K.FontName, K.Color, K.MatDump);
        FTextBlocks.push_back(std::move(K));
        auto& Slot = FIndex[Key];
        if (!Slot) Slot = std::make_unique<TStyleIndex>();
        FPlaces.push_back(TBlockPlace{});
        FPlaces.back().Style = Slot.get();
        const size_t Id = FTextBlocks.size() - 1;
        Slot->All.push_back(static_cast<uint32_t>(Id));
        IndexBlock(Id);
    }

    FMatch = true;
}

void InstallTextFunnel() {
    TextFunnelFactory() = []() -> std::unique_ptr<TPDFTextFunnelBase> {
        return std::make_unique<TPDFTextFunnel>();
    };
}

namespace {
// The library interface lies below this library and cannot call the install
// function; a program that links the collecting funnel installs it at start-up.
[[maybe_unused]] const bool kTextFunnelInstalled = (InstallTextFunnel(), true);
}  // namespace

}  // namespace velmo
