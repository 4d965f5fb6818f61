#include "document/XRefReader.h"

#include <cmath>
#include <optional>
#include <vector>

#include "core/Objects.h"
#include "core/Structure.h"
#include "document/ByteScan.h"

namespace velmo {

using bytescan::IsDigit;
using bytescan::npos;

namespace {

// The last occurrence of Needle in Window.
size_t LastIn(std::string_view Window, std::string_view Needle) { return Window.rfind(Needle); }

const TPDFNumeric* NumberEntry(TPDFDictionary* D, std::string_view Key) {
    return ObjAs<TPDFNumeric>(D->FindValueByKeyName(Key, false));
}

// A position or length read from a number object: 64-bit, rounded; a value
// outside the 64-bit range gives -1.
int64_t Int64Of(const TPDFNumeric* N) {
    const double v = N->AsDouble();
    if (!std::isfinite(v) || v >= 9.2e18 || v <= -9.2e18) return -1;
    return static_cast<int64_t>(std::nearbyint(v));
}

// Unsigned big-endian field of W bytes; widths outside 1..8 give 0 and read
// nothing. The caller checks that the bytes are there.
uint64_t ReadField(std::string_view Data, size_t& Index, int W) {
    if (W < 1 || W > 8) return 0;
    uint64_t v = 0;
    for (int k = 0; k < W; ++k) v = (v << 8) | static_cast<unsigned char>(Data[Index++]);
    if (W <= 4) v &= 0xFFFFFFFFu;
    return v;
}

}  // namespace

TPDFXRefReader::TPDFXRefReader(std::string_view Data) : FData(Data) {}

std::string_view TPDFXRefReader::ReadBlock(int64_t Count, int64_t Position) const {
    return bytescan::Slice(FData, Position + FOffset, Count);
}

int64_t TPDFXRefReader::FindXRefPos() {
    const int64_t size = static_cast<int64_t>(FData.size()) - (FOffset > 0 ? FOffset : 0);
    if (size <= 0) return 0;
    int64_t endMark = -1;

    // A cut end marker ("%%E" not followed by "OF"): the byte before it.
    const std::string_view tail = ReadBlock(10, size - 10 < 0 ? 0 : size - 10);
    const size_t e = LastIn(tail, "%%E");
    if (e != npos && tail.substr(e, 5) != "%%EOF") {
        for (int64_t p = size - 2; p >= 0; --p) {
            if (ReadBlock(3, p) == "%%E") {
                endMark = p - 1;
                break;
            }
        }
    }
    if (endMark < 0) {
        int64_t start = size - 1024 < 0 ? 0 : size - 1024;
        for (;;) {
            const std::string_view w = ReadBlock(1024, start);
            const size_t f = LastIn(w, "%%EOF");
            if (f != npos) {
                endMark = start + static_cast<int64_t>(f);
                break;
            }
            if (start <= 0) return 0;
            start = start - 1020 < 0 ? 0 : start - 1020;
        }
    }
    if (endMark < 0) return 0;

    // "startxref" backwards from the end mark.
    int64_t start = endMark - 1024 < 0 ? 0 : endMark - 1024;
    int64_t sx = -1;
    for (;;) {
        const std::string_view w = ReadBlock(endMark - start, start);
        const size_t f = LastIn(w, "startxref");
        if (f != npos) {
            sx = start + static_cast<int64_t>(f);
            break;
        }
        if (start <= 0) return 0;
        start = start - 1016 < 0 ? 0 : start - 1016;
    }

    // The number lines between "startxref" and the end mark; the last wins.
    const std::string_view between = ReadBlock(endMark - (sx + 9), sx + 9);
    int64_t result = 0;
    size_t i = 0;
    while (i < between.size()) {
        size_t j = i;
        while (j < between.size() && between[j] != '\r' && between[j] != '\n' && between[j] != '\0')
            ++j;
        std::string_view line = between.substr(i, j - i);
        i = j + 1;
        if (line.empty()) continue;
        const size_t pc = line.find('%');
        if (pc != npos) line = line.substr(0, pc);
        result = bytescan::ToInt64Def(bytescan::Trim(line), 0);
    }
    return result;
}

TPDFXRefReader::SectionKind TPDFXRefReader::Locate(int64_t Start, int64_t& KeywordEnd) {
    const int64_t ws = Start < 10 ? 0 : Start - 10;
    int64_t base = ws;
    size_t tx = npos, x = npos, ob = npos;
    auto look = [&](int64_t at) {
        base = at;
        const std::string_view w = ReadBlock(40, at);
        tx = w.find("txref");
        x = w.find("xref");
        ob = w.find(" obj");
        return tx != npos || x != npos || ob != npos;
    };
    if (!look(ws)) {
        // The value may point into a run of NUL or LF bytes before the keyword.
        for (int i = 1; i <= 10; ++i) {
            const std::string_view b = ReadBlock(int64_t{2048} * i, Start);
            size_t j = b.size();
            for (size_t k = 0; k < b.size(); ++k) {
                if (b[k] != '\0' && b[k] != '\n') {
                    j = k + 1;
                    break;
                }
            }
            if (look(ws + static_cast<int64_t>(j))) break;
        }
    }
    if (x != npos && tx != npos && tx + 1 == x) x = npos;  // the "xref" of "startxref"
    if (x == npos && ob != npos) {
        KeywordEnd = base + static_cast<int64_t>(ob) + 4;
        return SectionKind::Stream;
    }
    if (x != npos && (ob == npos || x < ob)) {
        KeywordEnd = base + static_cast<int64_t>(x) + 4;
        return SectionKind::Table;
    }
    return SectionKind::Failed;
}

bool TPDFXRefReader::ReadXRef(int64_t Start) {
    // Depth-first over the sections without recursion: a classic section's
    // /XRefStm (whose result does not count) is read before its /Prev (whose
    // result is the result of the chain). A section met twice ends its chain.
    struct Frame {
        int64_t Pos;
        bool Main;
    };
    std::vector<Frame> stack{{Start, true}};
    std::unordered_set<int64_t> visited;
    int sections = 0;
    while (!stack.empty()) {
        const Frame f = stack.back();
        stack.pop_back();
        if (!visited.insert(f.Pos).second || ++sections > MaxSections) {
            if (f.Main) return false;
            continue;
        }
        if (OnXRefRead) OnXRefRead(f.Pos);
        int64_t kwEnd = 0;
        Section s;
        switch (Locate(f.Pos, kwEnd)) {
            case SectionKind::Table: s = ReadXRefTable(kwEnd); break;
            case SectionKind::Stream: s = ReadXRefStream(kwEnd); break;
            case SectionKind::Failed: break;
        }
        if (s.Fatal) return false;
        if (!s.Ok) {
            if (OnXRefRead) OnXRefRead(-f.Pos);
            if (f.Main) return false;
            continue;
        }
        if (s.Prev == -2) {  // a classic /Prev equal to the last one followed
            if (f.Main) return false;
            continue;
        }
        if (s.Prev >= 0) stack.push_back({s.Prev, f.Main});
        if (s.XRefStm >= 0) stack.push_back({s.XRefStm, false});
    }
    return true;
}

TPDFXRefReader::Section TPDFXRefReader::ReadXRefTable(int64_t Position) {
    Section s;
    int64_t pos = Position;
    for (;;) {
        const std::string_view hdr = ReadBlock(30, pos);
        if (hdr.substr(0, 3).find('%') != npos || hdr.find("trailer") != npos) break;
        size_t i = 0;
        auto skipToDigit = [&] {
            while (i < hdr.size() && !IsDigit(static_cast<unsigned char>(hdr[i]))) ++i;
        };
        auto digits = [&] {
            const size_t b = i;
            while (i < hdr.size() && IsDigit(static_cast<unsigned char>(hdr[i]))) ++i;
            return hdr.substr(b, i - b);
        };
        skipToDigit();
        if (i >= hdr.size()) break;
        int first = bytescan::ToInt32Def(digits(), -1);
        skipToDigit();
        if (i >= hdr.size()) break;
        const int count = bytescan::ToInt32Def(digits(), 0);
        skipToDigit();
        if (first < 0 || count <= 0) break;
        pos += static_cast<int64_t>(i);

        const std::string_view block = ReadBlock(int64_t{count} * 20, pos);
        if (first == 1 && block.size() >= 18 &&
            bytescan::ToInt64Def(block.substr(0, 10), 0) == 0 &&
            bytescan::ToInt32Def(block.substr(11, 5), 0) == 65535)
            first = 0;  // a table that numbered its free head 1
        size_t idx = 0;
        for (int64_t j = first; j < int64_t{first} + count; ++j) {
            // Entries never read beyond the block of count x 20 bytes.
            if (idx + 18 > block.size()) break;
            const int64_t off = bytescan::ToInt64Def(block.substr(idx, 10), 0);
            const int gen = bytescan::ToInt32Def(block.substr(idx + 11, 5), 0);
            const char type = block[idx + 17];
            if (OnXRefItem) {
                try {
                    OnXRefItem(static_cast<int>(j), off, gen, type);
                } catch (...) {
                    s.Fatal = true;
                    return s;
                }
            }
            idx += 18;
            while (idx < block.size() &&
                   (block[idx] == ' ' || block[idx] == '\r' || block[idx] == '\n'))
                ++idx;
        }
        pos += static_cast<int64_t>(idx);  // the header's digits were passed: pos moved on
    }

    // The trailer dictionary, in windows of growing size.
    int64_t tpos = pos;
    {
        const std::string_view rest = ReadBlock(static_cast<int64_t>(FData.size()), pos);
        const size_t t = rest.find("trailer");
        tpos = t == npos ? pos + static_cast<int64_t>(rest.size()) : pos + static_cast<int64_t>(t);
    }
    for (int k = 1; k <= 5; ++k) {
        const std::string_view blk = ReadBlock(int64_t{2048} * k, tpos);
        const size_t t = blk.find("trailer");
        if (t == npos) continue;
        const std::string_view rest = blk.substr(t + 7);
        if (rest.find("<<") == npos || rest.find(">>") == npos) continue;
        TPDFStructure scratch;
        auto* dict = ObjAs<TPDFDictionary>(scratch.Decode(rest));
        if (!dict) continue;
        if (OnXRefTrailer) OnXRefTrailer(dict->Output());
        s.Ok = true;
        if (const TPDFNumeric* xs = NumberEntry(dict, "XRefStm")) {
            FHybrid = true;
            s.XRefStm = Int64Of(xs);
        }
        if (const TPDFNumeric* pv = NumberEntry(dict, "Prev")) {
            const int64_t prev = Int64Of(pv);
            if (prev == FLastStartPos) {
                s.Prev = -2;
            } else {
                FLastStartPos = prev;
                s.Prev = prev < 0 ? -2 : prev;
            }
        }
        return s;
    }
    return s;
}

TPDFXRefReader::Section TPDFXRefReader::ReadXRefStream(int64_t Position) {
    Section s;
    FHasXRefStream = true;

    // The smallest block of 20480 x k bytes that holds the whole dictionary
    // head. First occurrences are found once, so growing the block costs
    // nothing more than the search itself.
    const std::string_view all = ReadBlock(static_cast<int64_t>(FData.size()), Position);
    const size_t pOpen = all.find("<<");
    const size_t pStream = all.find("stream");
    // Only an "/Index" before the keyword can matter (the test below needs it
    // there), so the search stops at the keyword.
    const size_t pIndex =
        pStream == npos ? all.find("/Index") : all.substr(0, pStream).find("/Index");
    const size_t pLB = pIndex == npos ? npos : all.find('[', pIndex);
    const size_t pRB = pLB == npos ? npos : all.find(']', pLB);
    auto holds = [](size_t at, size_t len, size_t L) { return at != npos && at + len <= L; };
    auto complete = [&](size_t L) {
        if (!holds(pOpen, 2, L) || !holds(pStream, 6, L)) return false;
        if (!holds(pIndex, 6, L)) return true;
        return pOpen < pIndex && holds(pLB, 1, L) && pIndex < pLB && holds(pRB, 1, L) &&
               pLB < pRB && pRB < pStream;
    };
    size_t L = 20480;
    while (!complete(L) && L < all.size()) L += 20480;
    const std::string_view blk = all.substr(0, L < all.size() ? L : all.size());

    TPDFStructure scratch;
    int32_t dictLen = 0;
    auto* dict = ObjAs<TPDFDictionary>(scratch.DecodeWithLength(blk, dictLen, 1));
    if (!dict) return s;
    auto* type = ObjAs<TPDFName>(dict->FindValueByKeyName("Type", false));
    if (!type || type->Name() != "XRef") return s;

    // The stream's own object number, from the header just before the keyword.
    int ownNum = 0;
    int64_t ownHeaderPos = -1;  // where the stream's own number begins
    {
        const int64_t hFrom = Position - 20 < 0 ? 0 : Position - 20;
        std::string h(ReadBlock(21, hFrom));
        auto endsWith = [&](std::string_view t) {
            return h.size() >= t.size() && h.compare(h.size() - t.size(), t.size(), t) == 0;
        };
        while (!h.empty() && !endsWith("obj")) h.pop_back();
        while (!h.empty() && !endsWith("0")) h.pop_back();
        if (!h.empty()) h.pop_back();
        while (!h.empty() && !endsWith(" ")) h.pop_back();
        while (!h.empty() && h.back() == ' ') h.pop_back();
        size_t b = h.size();
        while (b > 0 && IsDigit(static_cast<unsigned char>(h[b - 1]))) --b;
        ownNum = bytescan::ToInt32Def(std::string_view(h).substr(b), 0);
        if (b < h.size()) ownHeaderPos = hFrom + static_cast<int64_t>(b);
    }

    const TPDFNumeric* size = NumberEntry(dict, "Size");
    if (!size) return s;
    s.Ok = true;
    std::vector<std::pair<int64_t, int64_t>> pairs;
    if (auto* index = ObjAs<TPDFArray>(dict->FindValueByKeyName("Index", false))) {
        auto item = [&](int k) -> int64_t {
            auto* n = ObjAs<TPDFNumeric>(index->GetItem(k));
            return n ? n->AsInteger() : 0;
        };
        for (int k = 0; k + 1 < index->Count(); k += 2) pairs.emplace_back(item(k), item(k + 1));
    } else {
        pairs.emplace_back(0, size->AsInteger());
    }
    int64_t prev = 0;
    if (const TPDFNumeric* pv = NumberEntry(dict, "Prev")) prev = Int64Of(pv);

    auto* w = ObjAs<TPDFArray>(dict->FindValueByKeyName("W", false));
    if (w && w->Count() >= 3) {
        int W[3];
        for (int k = 0; k < 3; ++k) {
            auto* n = ObjAs<TPDFNumeric>(w->GetItem(k));
            W[k] = n ? n->AsInteger() : 0;
        }
        // Locate the data: past the dictionary and any further ">>" that comes
        // before the first "stream".
        size_t cur = static_cast<size_t>(dictLen > 0 ? dictLen : 0);
        size_t st = npos;
        for (;;) {
            st = blk.find("stream", cur);
            if (st == npos) break;
            const size_t gg = blk.find(">>", cur);
            if (gg == npos || gg >= st) break;
            cur = gg + 2;
        }
        std::string entries;
        bool haveData = false;
        int64_t dataPos = 0;
        if (st != npos) {
            size_t p = st + 6;
            while (p < blk.size() &&
                   (blk[p] == 0x00 || blk[p] == 0x09 || blk[p] == 0x0C || blk[p] == 0x20))
                ++p;
            if (p < blk.size() && blk[p] == '\r') {
                ++p;
                if (p < blk.size() && blk[p] == '\n') ++p;
                haveData = true;
            } else if (p < blk.size() && blk[p] == '\n') {
                ++p;
                haveData = true;
            }
            dataPos = Position + static_cast<int64_t>(p);
        }
        if (haveData) {
            if (const TPDFNumeric* len = NumberEntry(dict, "Length")) {
                const std::string_view raw = ReadBlock(Int64Of(len), dataPos);
                if (!raw.empty()) {
                    TPDFStream* stream = scratch.NewStreamWithDict(std::string(raw), dict);
                    entries = stream->GetDecodedStream();
                }
            }
        }

        int entrySize = 0;
        for (int k = 0; k < 3; ++k)
            if (W[k] >= 1 && W[k] <= 8) entrySize += W[k];
        size_t at = 0;
        // Zero-width entries carry no data: none is delivered. A section
        // never delivers more entries than a file can have objects.
        int64_t delivered = 0;
        if (entrySize > 0) {
            for (const auto& [first, count] : pairs) {
                for (int64_t j = first; j < first + count && j <= INT32_MAX; ++j) {
                    if (at + static_cast<size_t>(entrySize) > entries.size() ||
                        ++delivered > MaxStreamEntries)
                        break;
                    uint64_t t = W[0] == 0 ? 1 : ReadField(entries, at, W[0]);
                    const uint64_t f2 = ReadField(entries, at, W[1]);
                    const uint64_t f3 = ReadField(entries, at, W[2]);
                    char type = ' ';
                    int64_t n = 0;
                    int g = 0;
                    switch (t) {
                        case 0:
                            type = 'f';
                            n = static_cast<int64_t>(f2);
                            g = static_cast<int>(f3);
                            break;
                        case 1:
                            type = 'n';
                            n = static_cast<int64_t>(f2);
                            g = W[2] == 0 ? 0 : static_cast<int>(f3);
                            if (ownNum > 0 && j == ownNum && ownHeaderPos >= 0) {
                                // The stream's entry for itself must lead to its
                                // own header; a writer that stored the number or
                                // a stale offset is corrected to where it was read.
                                const std::string digits = std::to_string(j);
                                if (ReadBlock(static_cast<int64_t>(digits.size()), n) != digits)
                                    n = ownHeaderPos;
                            }
                            break;
                        case 2:
                            type = 'c';
                            n = static_cast<int64_t>(f2);
                            g = static_cast<int>(f3);
                            break;
                        default: break;
                    }
                    if (OnXRefItem) OnXRefItem(static_cast<int>(j), n, g, type);
                }
            }
        }
    }

    if (OnXRefTrailer) OnXRefTrailer(dict->Output());
    if (prev > 0) s.Prev = prev;
    return s;
}

}  // namespace velmo
