#include "document/IndObj.h"

#include <cmath>

#include "core/Structure.h"
#include "document/ByteScan.h"
#include "document/Document.h"

namespace velmo {

using bytescan::npos;

namespace {

bool IsNumberChar(unsigned char c) { return (c >= '0' && c <= '9') || c == '.'; }
bool IsStreamSpace(unsigned char c) { return c == 0x00 || c == 0x09 || c == 0x0C || c == 0x20; }

// Non-number bytes dropped before a header number at most; an offset that far
// off cannot name the object anyway.
constexpr size_t kMaxHeaderDrop = 1024;

bool StartsAt(std::string_view T, size_t At, std::string_view What) {
    return At <= T.size() && T.substr(At, What.size()) == What;
}

// Guards the parses that reach other objects (lengths, object streams).
struct DepthGuard {
    explicit DepthGuard(int32_t& D) : Depth(D) { ++Depth; }
    ~DepthGuard() { --Depth; }
    int32_t& Depth;
};

}  // namespace

TPDFObjHeader ReadObjHeader(std::string_view T, size_t From) {
    TPDFObjHeader h;
    size_t i = From;
    const size_t last = T.empty() ? 0 : T.size() - 1;  // never joins a number
    auto number = [&]() -> int32_t {
        const size_t dropFrom = i;
        while (i < last && !IsNumberChar(static_cast<unsigned char>(T[i]))) {
            if (i - dropFrom >= kMaxHeaderDrop) {
                i = last;
                return 0;
            }
            ++i;
        }
        const size_t b = i;
        while (i < last && IsNumberChar(static_cast<unsigned char>(T[i]))) ++i;
        return bytescan::ToInt32Def(T.substr(b, i - b), 0);
    };
    if (From >= T.size()) {
        h.End = T.size();
        return h;
    }
    h.ObjNum = number();
    h.GenNum = number();
    while (i < T.size() && bytescan::IsWhite(static_cast<unsigned char>(T[i]))) ++i;
    if (StartsAt(T, i, "obj(") || StartsAt(T, i, "obj<<") || StartsAt(T, i, "obj[") ||
        StartsAt(T, i, "obj/")) {
        h.Keyword = T.substr(i, 3);
        i += 3;
    } else {
        size_t k = i;
        while (k < T.size() && !bytescan::IsWhite(static_cast<unsigned char>(T[k]))) ++k;
        if (k < T.size()) {
            h.Keyword = T.substr(i, k - i);
            i = k;
        } else {
            h.Keyword = {};
        }
    }
    while (i < T.size() && bytescan::IsWhite(static_cast<unsigned char>(T[i]))) ++i;
    h.End = i;
    return h;
}

namespace {

// Steps shared by both locators: the "stream" keyword after the dictionary
// (before any "endobj") and its end of line. Gives the first data byte.
bool FindStreamKeyword(std::string_view T, size_t DictEnd, size_t SearchEnd, size_t& P) {
    if (DictEnd >= T.size() || T.size() - DictEnd <= 12) return false;
    if (SearchEnd <= DictEnd || SearchEnd > T.size()) SearchEnd = T.size();
    const std::string_view area = T.substr(0, SearchEnd);
    const size_t s = area.find("stream", DictEnd);
    if (s == npos) return false;
    const size_t e = area.find("endobj", DictEnd);
    if (e != npos && e < s) return false;
    size_t p = s + 6;
    while (p < T.size() && IsStreamSpace(static_cast<unsigned char>(T[p]))) ++p;
    if (p < T.size() && T[p] == '\r') {
        ++p;
        if (p < T.size() && T[p] == '\n') ++p;
    } else if (p < T.size() && T[p] == '\n') {
        ++p;
    } else {
        return false;
    }
    P = p;
    return true;
}

}  // namespace

bool LocateStreamData(std::string_view T, size_t DictEnd, size_t SearchEnd, const int64_t* Length,
                      size_t& DataStart, size_t& DataLength) {
    size_t p = 0;
    if (!FindStreamKeyword(T, DictEnd, SearchEnd, p)) return false;
    if (Length && *Length >= 0 && static_cast<uint64_t>(*Length) <= T.size() - p) {
        size_t q = p + static_cast<size_t>(*Length);
        if (q < T.size() && T[q] == '\r') {
            ++q;
            if (q < T.size() && T[q] == '\n') ++q;
        } else if (q < T.size() && T[q] == '\n') {
            ++q;
        }
        for (int k = 0; k < 50 && q < T.size() && IsStreamSpace(static_cast<unsigned char>(T[q]));
             ++k)
            ++q;
        if (StartsAt(T, q, "endstream")) {
            DataStart = p;
            DataLength = static_cast<size_t>(*Length);
            return true;
        }
    }
    // A wrong (or missing) /Length: the data runs to "endstream".
    const size_t es = T.find("endstream", p);
    if (es == npos) return false;
    const size_t eo = T.find("endobj", p);
    if (eo != npos && eo < es) return false;
    size_t end = es;
    while (end > p && IsStreamSpace(static_cast<unsigned char>(T[end - 1]))) --end;
    if (end > p && T[end - 1] == '\n') {
        --end;
        if (end > p && T[end - 1] == '\r') --end;
    } else if (end > p && T[end - 1] == '\r') {
        --end;
    }
    DataStart = p;
    DataLength = end - p;
    return true;
}

bool LocateStreamDataByLength(std::string_view T, size_t DictEnd, size_t SearchEnd,
                              const int64_t* Length, size_t& DataStart, size_t& DataLength) {
    size_t p = 0;
    if (!FindStreamKeyword(T, DictEnd, SearchEnd, p)) return false;
    const size_t n = T.size();
    int64_t length = Length && *Length > 0 ? *Length : 0;
    if (static_cast<uint64_t>(length) > n) length = static_cast<int64_t>(n);
    size_t e = p + static_cast<size_t>(length);
    if (e > n) {
        e = n;
        for (int k = 0; k < 20 && e > p && !StartsAt(T, e, "endstream"); ++k) --e;
    }
    if (e < n && IsStreamSpace(static_cast<unsigned char>(T[e]))) ++e;
    if (e < n && T[e] == 'n' && e > 0) --e;
    if (e < n && T[e] == '\r') ++e;
    if (e < n && T[e] == '\n') ++e;
    const size_t found = T.find("endstream", e);
    size_t m = found == npos ? 0 : found - e + 1;
    if (m == 0) {
        for (int k = 0; k < 20 && e > p; ++k) {
            --e;
            if (StartsAt(T, e, "endstream")) {
                m = 1;
                break;
            }
        }
    }
    DataStart = p;
    if (m == 1) {
        DataLength = static_cast<size_t>(length);
    } else if (m > 1) {
        DataLength = static_cast<size_t>(length) + (m - 1);
    } else {
        const size_t k = T.substr(p, e > p ? e - p : 0).find("endstream");
        DataLength = k == npos ? 0 : k;
    }
    if (DataLength > n - p) DataLength = n - p;
    return true;
}

// ---------------------------------------------------------------------------

TPDFIndObj::TPDFIndObj(TPDFDocument* AParent) : FParent(AParent) {}

TPDFObject* TPDFIndObj::GetObj() {
    if (!FDecoded) Decode();
    if (FObj && !FDecrypted) Decrypt();
    return FObj;
}

bool TPDFIndObj::HasChanged() const { return FObj && FObj->HasChanged(); }

std::string TPDFIndObj::Source() {
    if (!FRecoded) return FParent->GetRawSource(this);
    if (FSpooled) return FParent->GetData(FObjNum);
    return FNewSource;
}

std::string TPDFIndObj::Output() {
    if (!FDecoded) Decode();
    std::string out = std::to_string(FObjNum) + " " + std::to_string(FGenNum) + " obj\n";
    if (FObj) FObj->OutputTo(out);
    else out += "null";
    if (out.back() != '\n') out += '\n';
    out += "endobj\n";
    return out;
}

void TPDFIndObj::Recode() {
    if (!FDecoded) return;  // nothing parsed: the source text stands
    FDecoded = false;
    FRecoded = true;
    std::string text = std::to_string(FObjNum) + " " + std::to_string(FGenNum) + " obj\n";
    if (FObj) FObj->OutputTo(text);
    else text += "null";
    if (!ObjAs<TPDFDictionary>(FObj)) text += '\n';
    text += "endobj\n";
    if (FObj) {
        FObj->Purge();
        FObj = nullptr;
    }
    // Spooled only while the temporary file is open, so the text is never lost.
    if (text.size() > 1024 && FParent->HasTempFile() && FParent->FMainFS) {
        FParent->StoreData(FObjNum, text);
        FNewSource.clear();
        FSpooled = true;
    } else {
        FNewSource = std::move(text);
        FSpooled = false;
    }
}

void TPDFIndObj::Decode() {
    FDecoded = true;
    TPDFStructure* store = FParent->Structure();
    if (FObj) {
        store->RemoveObject(FObj);
        FObj = nullptr;
    }
    if (FCompact) FDecrypted = true;  // objects of object streams are not encrypted one by one
    if (FParent->FDecodeDepth >= TPDFDocument::MaxDecodeDepth) {
        FObj = store->NewNull();
        FObj->Own(FObjNum, FGenNum);
        return;
    }
    DepthGuard guard(FParent->FDecodeDepth);
    if (FCompact && !FRecoded)
        DecodeCompact();
    else if (FDecodeMode == 2 || FDecodeMode == 3)
        DecodeByPosition();
    else
        DecodeFromText();
    if (FDecodeError && !FRecoded) {
        // The cross-reference data points elsewhere (garbage, another
        // object, an object stream that does not decode): the object is
        // read where a raw scan of the file finds its header, if anywhere.
        const int64_t at = FParent->RawObjectPosition(FObjNum, FGenNum);
        if (at > 0 && (FCompact || at != FPosition)) {
            store->RemoveObject(FObj);
            FObj = nullptr;
            FDecodeError = false;
            if (FCompact) FDecrypted = false;  // a plain object is encrypted on its own
            FCompact = false;
            FPosition = at;
            FSpan = 0;
            FLength = static_cast<int64_t>(FParent->Source().size()) - at;
            // The file's own offsets are wrong: an update appended to it
            // would inherit them, so saving writes the file anew.
            FParent->FRepaired = true;
            DecodeByPosition();
        }
    }
    FObj->Own(FObjNum, FGenNum);
}

namespace {

// /Length of a stream dictionary, one reference followed; nullptr-like when
// it is not a number.
bool StreamLength(TPDFDocument* Doc, TPDFDictionary* Dict, int64_t& Out) {
    TPDFObject* v = Dict->FindValueByKeyName("Length", false);
    if (auto* r = ObjAs<TPDFIndRef>(v)) {
        TPDFIndObj* io = Doc->FindObj(r->ObjNum, r->GenNum);
        v = io ? io->GetObj() : nullptr;
    }
    auto* n = ObjAs<TPDFNumeric>(v);
    if (!n) return false;
    const double d = std::nearbyint(n->AsDouble());
    if (!std::isfinite(d) || d < 0 || d > 9.0e18) return false;
    Out = static_cast<int64_t>(d);
    return true;
}

}  // namespace

TPDFObject* TPDFIndObj::WithStreamData(TPDFDictionary* Dict, std::string_view Text, size_t Start,
                                       size_t Len) {
    TPDFStructure* store = FParent->Structure();
    TPDFStream* s = store->NewStreamWithDict(std::string(Text.substr(Start, Len)), Dict);
    auto* len = ObjAs<TPDFNumeric>(Dict->FindValueByKeyName("Length", false));
    if (!len || len->AsDouble() != static_cast<double>(Len)) s->SetStream(s->FStream);
    // Freshly read: nothing has changed yet.
    s->SetChanged(false);
    Dict->SetChanged(false);
    if (auto* l = Dict->FindValueByKeyName("Length", false)) l->SetChanged(false);
    return s;
}

void TPDFIndObj::DecodeCompact() {
    // Parsed in place in the object stream's data. Objects inside object
    // streams are never streams themselves, so no stream data is looked for.
    TPDFStructure* store = FParent->Structure();
    std::string_view slot;
    if (!FParent->GetCompactSlot(this, slot) || slot.empty()) {
        FObj = store->NewNull();
        FDecodeError = true;
        return;
    }
    int64_t len = 0;
    FObj = store->DecodeWithLength(slot, len, 1);
}

void TPDFIndObj::DecodeFromText() {
    TPDFStructure* store = FParent->Structure();
    std::string text = Source();
    TPDFObjHeader h = ReadObjHeader(text, 0);
    bool match = h.ObjNum == FObjNum && h.GenNum == FGenNum && h.Keyword == "obj";
    if (!match && !FRecoded && !FCompact && FPosition > 0) {
        // An offset one byte too far reads the number without its first digit.
        const std::string full = std::to_string(FObjNum);
        if (full.size() > 1 && h.ObjNum != FObjNum &&
            std::to_string(h.ObjNum) == full.substr(1) && h.GenNum == FGenNum &&
            h.Keyword == "obj") {
            FPosition -= 1;
            std::string again = Source();
            TPDFObjHeader h2 = ReadObjHeader(again, 0);
            if (h2.ObjNum == FObjNum && h2.GenNum == FGenNum && h2.Keyword == "obj") {
                text = std::move(again);
                h = h2;
                match = true;
            } else {
                FPosition += 1;
            }
        }
    }
    if (!match) {
        FObj = store->NewNull();
        FDecodeError = true;
        return;
    }
    int64_t len = 0;
    TPDFObject* v = store->DecodeWithLength(text, len, static_cast<int64_t>(h.End) + 1);
    if (auto* d = ObjAs<TPDFDictionary>(v)) {
        int64_t length = 0;
        const bool haveLen = StreamLength(FParent, d, length);
        size_t ds = 0, dl = 0;
        if (LocateStreamDataByLength(text, h.End + static_cast<size_t>(len), text.size(),
                                     haveLen ? &length : nullptr, ds, dl))
            v = WithStreamData(d, text, ds, dl);
    }
    FObj = v;
}

void TPDFIndObj::DecodeByPosition() {
    TPDFStructure* store = FParent->Structure();
    std::string text;
    int64_t position = 0;
    if (FRecoded) {
        text = Source();
    } else {
        position = FCompact ? 0 : (FPosition > 0 ? FPosition : 0);
        if (position == 0) text = Source();
    }
    auto matches = [&](const TPDFObjHeader& h) {
        return h.ObjNum == FObjNum && h.GenNum == FGenNum && h.Keyword == "obj";
    };
    const std::string_view src = FParent->Source();
    TPDFObjHeader h;
    bool match = false;
    bool inSource = false;
    if (!text.empty()) {
        h = ReadObjHeader(text, 0);
        match = matches(h);
    } else {
        inSource = true;
        // The scan starts one byte before the recorded offset.
        h = ReadObjHeader(src, position > 0 ? static_cast<size_t>(position - 1) : 0);
        match = matches(h);
        for (int64_t s = position - 6; !match && s <= position + 5; ++s) {
            const int64_t start = s < 1 ? 1 : s;
            if (static_cast<uint64_t>(start - 1) >= src.size()) break;
            h = ReadObjHeader(src, static_cast<size_t>(start - 1));
            match = matches(h);
        }
    }
    if (!match) {
        FObj = store->NewNull();
        FDecodeError = true;
        return;
    }
    const std::string_view t = inSource ? src : std::string_view(text);
    int64_t len = 0;
    TPDFObject* v = store->DecodeWithLength(t, len, static_cast<int64_t>(h.End) + 1);
    if (inSource) FLength = len;
    if (auto* d = ObjAs<TPDFDictionary>(v)) {
        if (!(inSource && FDecodeMode == 3)) {
            int64_t length = 0;
            const bool haveLen = StreamLength(FParent, d, length);
            const size_t dictEnd = h.End + static_cast<size_t>(len);
            // The keyword is searched within this object's span of the file.
            size_t searchEnd = t.size();
            if (inSource && FSpan > 0 && position > 0) {
                const uint64_t spanEnd =
                    static_cast<uint64_t>(position) + static_cast<uint64_t>(FSpan);
                if (spanEnd < t.size()) searchEnd = static_cast<size_t>(spanEnd);
            }
            size_t ds = 0, dl = 0;
            const bool found =
                FDecodeMode == 2
                    ? LocateStreamData(t, dictEnd, searchEnd, haveLen ? &length : nullptr, ds, dl)
                    : LocateStreamDataByLength(t, dictEnd, searchEnd, haveLen ? &length : nullptr,
                                               ds, dl);
            if (found) v = WithStreamData(d, t, ds, dl);
        }
    }
    FObj = v;
}

}  // namespace velmo
