// A small writer of sfnt font files for tests: tables built from plain data
// (glyph contours, components, cmap subtables, post names, metrics) and put
// together into a font or a collection. Offsets are computed; checksums are
// left 0, since nothing reads them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fonts/TrueTypeParser.h"

namespace velmo::test {

inline std::string BE16(uint32_t V) {
    return {static_cast<char>(V >> 8 & 0xFF), static_cast<char>(V & 0xFF)};
}
inline std::string BE32(uint32_t V) { return BE16(V >> 16) + BE16(V & 0xFFFF); }

struct TSfntPoint {
    int X = 0;
    int Y = 0;
    bool On = true;
};
using TSfntContour = std::vector<TSfntPoint>;

// One flag byte per point (no repeats), 16-bit deltas.
inline std::string SimpleGlyph(const std::vector<TSfntContour>& Contours) {
    std::string S = BE16(static_cast<uint32_t>(Contours.size()));
    int XMin = 0, YMin = 0, XMax = 0, YMax = 0;
    S += BE16(0) + BE16(0) + BE16(0) + BE16(0);  // bounds, filled below
    int End = -1;
    std::vector<TSfntPoint> All;
    for (const auto& C : Contours) {
        End += static_cast<int>(C.size());
        S += BE16(static_cast<uint32_t>(End));
        All.insert(All.end(), C.begin(), C.end());
    }
    S += BE16(0);  // no instructions
    for (const auto& P : All) S += static_cast<char>(P.On ? 1 : 0);
    int X = 0, Y = 0;
    for (const auto& P : All) {
        S += BE16(static_cast<uint16_t>(P.X - X));
        X = P.X;
    }
    for (const auto& P : All) {
        S += BE16(static_cast<uint16_t>(P.Y - Y));
        Y = P.Y;
    }
    for (size_t I = 0; I < All.size(); ++I) {
        XMin = I ? std::min(XMin, All[I].X) : All[I].X;
        YMin = I ? std::min(YMin, All[I].Y) : All[I].Y;
        XMax = I ? std::max(XMax, All[I].X) : All[I].X;
        YMax = I ? std::max(YMax, All[I].Y) : All[I].Y;
    }
    S.replace(2, 8,
              BE16(static_cast<uint16_t>(XMin)) + BE16(static_cast<uint16_t>(YMin)) +
                  BE16(static_cast<uint16_t>(XMax)) + BE16(static_cast<uint16_t>(YMax)));
    return S;
}

struct TSfntComponent {
    uint16_t Flags = 2 | 1;  // x/y offsets as words
    uint16_t Glyph = 0;
    int Arg1 = 0, Arg2 = 0;
    std::vector<double> Scales;  // 1, 2 or 4 F2Dot14 values as the flags say
};

inline std::string CompositeGlyph(const std::vector<TSfntComponent>& Components) {
    std::string S = BE16(0xFFFF) + BE16(0) + BE16(0) + BE16(0) + BE16(0);
    for (size_t I = 0; I < Components.size(); ++I) {
        const auto& C = Components[I];
        uint16_t F = C.Flags & ~32u;
        if (I + 1 < Components.size()) F |= 32;
        S += BE16(F) + BE16(C.Glyph);
        if (F & 1)
            S += BE16(static_cast<uint16_t>(C.Arg1)) + BE16(static_cast<uint16_t>(C.Arg2));
        else
            S += std::string{static_cast<char>(C.Arg1), static_cast<char>(C.Arg2)};
        for (double V : C.Scales) S += BE16(static_cast<uint16_t>(static_cast<int>(V * 16384)));
    }
    return S;
}

// glyf and long loca of these glyphs (each padded to an even length).
inline std::pair<std::string, std::string> GlyfLoca(const std::vector<std::string>& Glyphs) {
    std::string Glyf, Loca;
    for (const auto& G : Glyphs) {
        Loca += BE32(static_cast<uint32_t>(Glyf.size()));
        Glyf += G;
        if (Glyf.size() % 2) Glyf += '\0';
    }
    Loca += BE32(static_cast<uint32_t>(Glyf.size()));
    return {Glyf, Loca};
}

inline std::string HeadTable(uint16_t UnitsPerEm, int16_t LocFormat = 1,
                             std::vector<int> Bounds = {0, 0, 0, 0}) {
    std::string S = BE32(0x00010000) + BE32(0x00010000) + BE32(0) + BE32(0x5F0F3CF5);
    S += BE16(0) + BE16(UnitsPerEm) + BE32(0) + BE32(1) + BE32(0) + BE32(2);
    for (int B : Bounds) S += BE16(static_cast<uint16_t>(B));
    S += BE16(0) + BE16(8) + BE16(0) + BE16(static_cast<uint16_t>(LocFormat)) + BE16(0);
    return S;
}

inline std::string MaxpTable(uint16_t NumGlyphs) { return BE32(0x00005000) + BE16(NumGlyphs); }

inline std::string HheaTable(uint16_t NumberOfHMetrics, int Ascender = 800, int Descender = -200) {
    std::string S = BE32(0x00010000) + BE16(static_cast<uint16_t>(Ascender)) +
                    BE16(static_cast<uint16_t>(Descender)) + BE16(0);
    S += BE16(1000) + BE16(0) + BE16(0) + BE16(1000) + BE16(1) + BE16(0) + BE16(0);
    S += std::string(10, '\0') + BE16(NumberOfHMetrics);
    return S;
}

inline std::string HmtxTable(const std::vector<uint16_t>& Advances) {
    std::string S;
    for (uint16_t A : Advances) S += BE16(A) + BE16(0);
    return S;
}

// A format 4 subtable, one segment per run of consecutive codes (delta
// form), plus the closing FFFF segment.
inline std::string CmapFormat4(const std::map<uint16_t, uint16_t>& Map) {
    std::vector<std::pair<uint16_t, uint16_t>> Seg;  // start, end
    std::vector<uint16_t> Delta;
    for (auto It = Map.begin(); It != Map.end(); ++It) {
        if (!Seg.empty() && Seg.back().second + 1 == It->first &&
            static_cast<uint16_t>(It->second - It->first) == Delta.back()) {
            Seg.back().second = It->first;
        } else {
            Seg.emplace_back(It->first, It->first);
            Delta.push_back(static_cast<uint16_t>(It->second - It->first));
        }
    }
    Seg.emplace_back(0xFFFF, 0xFFFF);
    Delta.push_back(1);
    const auto N = static_cast<uint32_t>(Seg.size());
    std::string S =
        BE16(4) + BE16(16 + 8 * N) + BE16(0) + BE16(2 * N) + BE16(0) + BE16(0) + BE16(0);
    for (auto& G : Seg) S += BE16(G.second);
    S += BE16(0);
    for (auto& G : Seg) S += BE16(G.first);
    for (auto D : Delta) S += BE16(D);
    for (uint32_t I = 0; I < N; ++I) S += BE16(0);
    return S;
}

inline std::string CmapFormat0(const std::map<uint16_t, uint16_t>& Map) {
    std::string Glyphs(256, '\0');
    for (auto [C, G] : Map)
        if (C < 256) Glyphs[C] = static_cast<char>(G);
    return BE16(0) + BE16(262) + BE16(0) + Glyphs;
}

inline std::string CmapFormat6(uint16_t First, const std::vector<uint16_t>& Glyphs) {
    std::string S = BE16(6) + BE16(static_cast<uint32_t>(10 + 2 * Glyphs.size())) + BE16(0) +
                    BE16(First) + BE16(static_cast<uint32_t>(Glyphs.size()));
    for (auto G : Glyphs) S += BE16(G);
    return S;
}

struct TCmapSubtable {
    uint16_t Platform = 3, Encoding = 1;
    std::string Data;
};

inline std::string CmapTable(const std::vector<TCmapSubtable>& Subtables) {
    std::string Head = BE16(0) + BE16(static_cast<uint32_t>(Subtables.size()));
    std::string Body;
    const size_t BodyStart = 4 + 8 * Subtables.size();
    for (const auto& T : Subtables) {
        Head += BE16(T.Platform) + BE16(T.Encoding) +
                BE32(static_cast<uint32_t>(BodyStart + Body.size()));
        Body += T.Data;
    }
    return Head + Body;
}

// post version 2.0: standard Macintosh names by index, the others custom.
inline std::string PostTable2(const std::vector<std::string>& Names) {
    std::string S =
        BE32(0x00020000) + BE32(0) + BE16(0) + BE16(0) + BE32(0) + std::string(16, '\0');
    S += BE16(static_cast<uint32_t>(Names.size()));
    std::string Custom;
    uint32_t NextCustom = 258;
    for (const auto& N : Names) {
        uint32_t Index = 0;
        bool Standard = false;
        for (uint32_t K = 0; K < kMacGlyphNames.size(); ++K)
            if (N == kMacGlyphNames[K]) {
                Index = K;
                Standard = true;
                break;
            }
        if (!Standard) {
            Index = NextCustom++;
            Custom += static_cast<char>(N.size()) + N;
        }
        S += BE16(Index);
    }
    return S + Custom;
}

inline std::string PostTableVersion(uint32_t Version) {
    return BE32(Version) + BE32(0) + BE16(0) + BE16(0) + BE32(0) + std::string(16, '\0');
}

class TSfntWriter {
public:
    void AddTable(const std::string& Tag, std::string Data) {
        FTables.emplace_back(Tag, std::move(Data));
    }
    // The font file: offset table, directory in the order added, tables
    // padded to four bytes. Base: where the file will lie in a collection.
    std::string Build(uint32_t Version = 0x00010000, uint32_t Base = 0) const {
        std::string S = BE32(Version) + BE16(static_cast<uint32_t>(FTables.size())) + BE16(0) +
                        BE16(0) + BE16(0);
        size_t Offset = Base + 12 + 16 * FTables.size();
        std::string Body;
        for (const auto& [Tag, Data] : FTables) {
            S += Tag + BE32(0) + BE32(static_cast<uint32_t>(Offset + Body.size())) +
                 BE32(static_cast<uint32_t>(Data.size()));
            Body += Data;
            while (Body.size() % 4) Body += '\0';
        }
        return S + Body;
    }

private:
    std::vector<std::pair<std::string, std::string>> FTables;
};

// A whole font: glyphs, advances, cmap subtables and post names.
struct TTestFont {
    uint16_t UnitsPerEm = 1000;
    std::vector<std::string> Glyphs;
    std::vector<uint16_t> Advances;
    std::vector<TCmapSubtable> Cmaps;
    std::vector<std::string> PostNames;  // empty: no post table

    TSfntWriter Writer() const {
        TSfntWriter W;
        auto [Glyf, Loca] = GlyfLoca(Glyphs);
        W.AddTable("head", HeadTable(UnitsPerEm));
        W.AddTable("maxp", MaxpTable(static_cast<uint16_t>(Glyphs.size())));
        W.AddTable("loca", Loca);
        W.AddTable("glyf", Glyf);
        if (!PostNames.empty()) W.AddTable("post", PostTable2(PostNames));
        if (!Cmaps.empty()) W.AddTable("cmap", CmapTable(Cmaps));
        W.AddTable("hhea", HheaTable(static_cast<uint16_t>(Advances.size())));
        W.AddTable("hmtx", HmtxTable(Advances));
        return W;
    }
    std::string Build() const { return Writer().Build(); }
};

// A collection of fonts, each made with TSfntWriter::Build(Version, Base).
inline std::string Collection(const std::vector<TSfntWriter>& Fonts) {
    std::string Header =
        BE32(0x74746366) + BE32(0x00010000) + BE32(static_cast<uint32_t>(Fonts.size()));
    size_t Offset = Header.size() + 4 * Fonts.size();
    std::string Body;
    for (const auto& F : Fonts) {
        Header += BE32(static_cast<uint32_t>(Offset + Body.size()));
        Body += F.Build(0x00010000, static_cast<uint32_t>(Offset + Body.size()));
    }
    return Header + Body;
}

}  // namespace velmo::test
