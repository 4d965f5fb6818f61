// Loading a PDF file into a document: header check, cross-reference reading,
// repair by a raw scan, the object table, the page tree.
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <unordered_map>

#include "core/FileHelpers.h"
#include "core/StringHelpers.h"
#include "platform/files/Stream.h"
#include "document/ByteScan.h"
#include "document/Document.h"
#include "document/PageTree.h"
#include "document/RawAnalyser.h"
#include "document/XRefReader.h"

namespace velmo {

namespace {

// A version is digits with at most one '.'; empty or digit-less text is refused.
bool AcceptVersion(std::string_view Run) {
    return !Run.empty() && Run.find_first_of("0123456789") != std::string_view::npos &&
           IsNumberText(Run);
}

std::string_view VersionRun(std::string_view Ten) {
    size_t k = 0;
    while (k < Ten.size() && ((Ten[k] >= '0' && Ten[k] <= '9') || Ten[k] == '.')) ++k;
    return Ten.substr(0, k);
}

}  // namespace

TVPLLoadResult TPDFDocument::LoadFromFile(const std::u16string& FileName,
                                          const std::u16string& Password) {
    FPDFAModePossible = false;
    // Other writers are denied while the file is read.
    std::unique_ptr<TVelmoPDFWideFileStream> stream = CreateWideFileStream(FileName, 0x20);
    return LoadFromStream(*stream, Password);
}

TVPLLoadResult TPDFDocument::LoadFromStream(TStream& InStream, const std::u16string& Password) {
    FPDFAModePossible = false;
    const int64_t size = InStream.Size();
    SourceFileSize = size > 0 ? static_cast<uint64_t>(size) : 0;
    // The file is held once, in the source; objects are parsed from it in place.
    FSource.assign(static_cast<size_t>(SourceFileSize), '\0');
    if (SourceFileSize > 0) {
        InStream.SetPosition(0);
        const int64_t got = InStream.Read(FSource.data(), size);
        FSource.resize(static_cast<size_t>(got > 0 ? got : 0));
    }
    return LoadSequence(Password);
}

TVPLLoadResult TPDFDocument::LoadFromString(std::string Source, const std::u16string& Password) {
    FPDFAModePossible = false;
    SourceFileSize = Source.size();
    FSource = std::move(Source);
    return LoadSequence(Password);
}

TVPLLoadResult TPDFDocument::LoadSequence(const std::u16string& Password) {
    FSourceShifted = false;
    try {
        TVPLLoadResult r = LoadDocument(Password);
        if (r == lrError) {
            const size_t at = FSource.find("%PDF-");
            if (at != std::string::npos && at >= 1) {
                XRefObjLoaded.clear();
                XRefFreed.clear();
                FSource.erase(0, at);
                FSourceShifted = true;
                r = LoadDocument(Password);
            }
        }
        if (r != lrOkay) Reset();
        return r;
    } catch (...) {
        Reset();
        return lrError;
    }
}

TVPLLoadResult TPDFDocument::LoadDocument(const std::u16string& Password) {
    FRawIndex.reset();  // the source may have lost its leading bytes since
    if (!CheckHeader()) {
        // A header further on: the load is retried without the bytes before it.
        const size_t header = FSource.find("%PDF-");
        if (header != std::string::npos && header >= 1) return lrError;
        // No header at all: the file is read as a damaged one, as every
        // common reader does; it opens only when its objects and a trailer
        // are found.
        FVersion = "1.4";
    }
    if (!ReadCrossReference()) return lrError;
    TPDFObject* enc = FTrailer->FindValueByKeyName("Encrypt", false);
    if (ObjAs<TPDFDictionary>(enc) || ObjAs<TPDFIndRef>(enc)) {
        if (!OpenEncrypted(Password)) {
            FNoPagesDict = true;
            return lrWrongPassword;
        }
        FPassword = Password;
    }
    FNoPagesDict = false;
    TPDFDictionary* pages = FindPageTreeRoot();
    if (!pages && !FRepaired) {
        // The table read but leads to no page tree (entries pointing nowhere):
        // rebuild it from the raw scan as for an unreadable table.
        Repair();
        pages = FindPageTreeRoot();
    }
    if (!pages) {
        // Nothing in the file is a page tree: the document opens without
        // pages, as every careful reader opens it, on an empty tree.
        pages = FStructure->NewDictionary();
        pages->Add("Type", FStructure->NewCommonName("Pages"));
        pages->Add("Kids", FStructure->NewArray());
        pages->Add("Count", FStructure->NewNumeric(0));
        TPDFIndObj* io = AddIndObj(pages, true);
        GetRootDict()->Add("Pages", FStructure->NewIndirectRef(io->FObjNum, 0));
        FNoPagesDict = true;
    }
    // The tree is mended in memory; the file's offsets stay valid, so an
    // update may still be appended (it carries the mended nodes).
    RepairPageTree(*FStructure, GetRootDict(), pages);
    NewPageTree(pages);
    CheckLinearized();
    return lrOkay;
}

TPDFDictionary* TPDFDocument::FindPageTreeRoot() {
    // A catalog written into the trailer itself becomes an object of its
    // own: a saved file needs its catalog indirect.
    if (auto* direct = ObjAs<TPDFDictionary>(FTrailer->FindValueByKeyName("Root", false))) {
        auto* copy = ObjAs<TPDFDictionary>(FStructure->Decode(direct->Output()));
        if (copy) {
            TPDFIndObj* io = AddIndObj(copy, true);
            FTrailer->Add("Root", FStructure->NewIndirectRef(io->FObjNum, 0));
        }
    }
    if (auto* root = ObjAs<TPDFDictionary>(FTrailer->FindValueByKeyName("Root", true)))
        if (TPDFDictionary* pages = PagesOfCatalog(root)) return pages;
    // The trailer names no usable catalog: the last catalog of the file that
    // leads to a page tree, else the last dictionary whose /Pages does.
    TPDFDictionary* pages = nullptr;
    TPDFIndObj* catalog = nullptr;
    for (int pass = 0; pass < 2 && !pages; ++pass) {
        for (size_t i = FIndObjList.size(); i-- > 0 && !pages;) {
            TPDFIndObj* io = FIndObjList[i].get();
            auto* d = ObjAs<TPDFDictionary>(io->GetObj());
            if (!d || d->FindIndexByKeyName("Pages") < 0) continue;
            auto* t = ObjAs<TPDFName>(d->FindValueByKeyName("Type", false));
            if (pass == 0 && (!t || t->Name() != "Catalog")) continue;
            if ((pages = PagesOfCatalog(d))) catalog = io;
        }
    }
    if (pages) {
        FTrailer->Add("Root", FStructure->NewIndirectRef(catalog->FObjNum, catalog->FGenNum));
        return pages;
    }
    // No catalog leads to one (a catalog whose /Pages entry was lost to
    // damage): a pages node of the file becomes the catalog's tree.
    pages = FindPagesNode();
    if (pages && pages->IsIndirect())
        GetRootDict()->Add("Pages", FStructure->NewIndirectRef(pages->IndObjNum(), pages->IndGenNum()));
    return pages;
}

namespace {

uint64_t RawKey(int32_t ObjNum, int32_t GenNum) {
    return (uint64_t{static_cast<uint32_t>(ObjNum)} << 32) | static_cast<uint32_t>(GenNum);
}

}  // namespace

void TPDFDocument::SetRawIndex(const TVPLRawAnalyser& Analyser) {
    FRawIndex = std::make_unique<std::unordered_map<uint64_t, int64_t>>();
    FRawIndex->reserve(static_cast<size_t>(Analyser.ObjectCount()));
    // Later headers replace earlier ones: the newest version of an object
    // is the last one written.
    for (int i = 0; i < Analyser.ObjectCount(); ++i)
        (*FRawIndex)[RawKey(Analyser.GetObjNum(i), Analyser.GetGenNum(i))] = Analyser.GetLocation(i);
}

int64_t TPDFDocument::RawObjectPosition(int32_t ObjNum, int32_t GenNum) {
    if (!FRawIndex) {
        TVPLRawAnalyser analyser;
        analyser.LoadFromStream(FSource);
        SetRawIndex(analyser);
    }
    const auto it = FRawIndex->find(RawKey(ObjNum, GenNum));
    return it == FRawIndex->end() ? -1 : it->second;
}

bool TPDFDocument::CheckHeader() {
    const std::string_view head = std::string_view(FSource).substr(0, 1024);
    const size_t a = head.find("%PDF-");
    const size_t b = head.find("%!PS-Adobe-");
    if (a == std::string_view::npos && b == std::string_view::npos) return false;
    bool result = false;
    if (a != std::string_view::npos) {
        const std::string_view run = VersionRun(bytescan::Slice(FSource, int64_t(a) + 5, 10));
        if (AcceptVersion(run)) {
            FVersion.assign(run);
            result = true;
        }
    }
    if (b != std::string_view::npos) {
        const std::string_view area = bytescan::Slice(FSource, int64_t(b) + 11, 20);
        const size_t c = area.find("PDF-");
        if (c != std::string_view::npos) {
            const std::string_view run =
                VersionRun(bytescan::Slice(FSource, int64_t(b) + 11 + int64_t(c) + 4, 10));
            if (AcceptVersion(run)) {
                FVersion.assign(run);
                result = true;
            }
        }
    }
    return result;
}

void TPDFDocument::AddXRefRow(const TPDFXRefEntry& Row) {
    if (XRefTableIndex < static_cast<int32_t>(XRefTable.size()))
        XRefTable[static_cast<size_t>(XRefTableIndex)] = Row;
    else
        XRefTable.push_back(Row);
    ++XRefTableIndex;
}

void TPDFDocument::XRefItem(int32_t O, int64_t N, int32_t G, char T) {
    if (O > FMaxObjNum) FMaxObjNum = O;
    if (XRefTableIndex >= kMaxXRefRows) return;  // more objects than a file can have
    if (T == 'n') {
        if (XRefObjLoaded.insert(O).second) AddXRefRow({O, G, N, true, 0, 0, false});
    } else if (T == 'c') {
        if (XRefObjLoaded.insert(O).second)
            AddXRefRow({O, 0, 0, true, static_cast<int32_t>(N & 0xFFFFFFFF), G, true});
    } else if (T == 'f' && !XRefObjLoaded.count(O)) {
        XRefFreed.insert(O);
    }
}

void TPDFDocument::XRefTrailer(const std::string& Trailer) {
    if (FTrailer) return;
    auto* d = ObjAs<TPDFDictionary>(FStructure->Decode(Trailer));
    if (!d) return;
    for (const char* k : {"Prev", "Type", "W", "Index", "Length", "Filter"})
        d->DeleteEntryByKeyName(k);
    FTrailer = d;
}

void TPDFDocument::XRefRead(int64_t Pos) {
    if (Pos >= 0) {
        XRefPosList.push_back(Pos);
    } else {
        for (int64_t& p : XRefPosList)
            if (p == -Pos) p = 0;
    }
}

bool TPDFDocument::ReadCrossReference() {
    TPDFXRefReader reader(FSource);
    reader.OnXRefItem = [this](int32_t O, int64_t N, int32_t G, char T) { XRefItem(O, N, G, T); };
    reader.OnXRefTrailer = [this](const std::string& T) { XRefTrailer(T); };
    reader.OnXRefRead = [this](int64_t P) { XRefRead(P); };
    FTrailer = nullptr;
    FXRefPos = -1;
    XRefTable.clear();
    XRefTableIndex = 0;

    const int64_t start = reader.FindXRefPos();
    bool ok = reader.ReadXRef(start);
    if (ok) FXRefPos = start;
    XRefTable.resize(static_cast<size_t>(XRefTableIndex));

    // Shifted numbering: a table that starts at 2 for an object written as 1.
    if (!XRefTable.empty() && XRefTable[0].ObjNum == 2 && FTrailer) {
        auto* size = ObjAs<TPDFNumeric>(FTrailer->FindValueByKeyName("Size", false));
        if (size && size->AsDouble() == static_cast<double>(XRefTable.size() + 1) &&
            bytescan::Slice(FSource, XRefTable[0].ObjPos, 7) == "1 0 obj")
            for (auto& row : XRefTable) row.ObjNum -= 1;
    }
    BuildIndObjList();

    // A table of zeros.
    if (XRefTable.size() > 5 &&
        std::all_of(XRefTable.begin(), XRefTable.end(),
                    [](const TPDFXRefEntry& r) { return r.InUse && !r.Compact && r.ObjPos == 0; }))
        ok = false;

    if (!ok) {
        Repair();
        ok = FTrailer != nullptr;
    }
    if (!FTrailer) FTrailer = FStructure->NewDictionary();
    return ok;
}

void TPDFDocument::Repair() {
    TVPLRawAnalyser analyser;
    analyser.LoadFromStream(FSource);
    SetRawIndex(analyser);
    // One row per object number; when a number occurs twice the last one in
    // the file is the newest version.
    XRefTable.clear();
    std::unordered_map<int32_t, size_t> rowOf;
    for (int i = 0; i < analyser.ObjectCount(); ++i) {
        const TPDFXRefEntry row{analyser.GetObjNum(i), analyser.GetGenNum(i), analyser.GetLocation(i),
                                true, 0, 0, false};
        auto [it, isNew] = rowOf.emplace(row.ObjNum, XRefTable.size());
        if (isNew)
            XRefTable.push_back(row);
        else
            XRefTable[it->second] = row;
    }
    XRefTableIndex = static_cast<int32_t>(XRefTable.size());
    if (!analyser.Trailer().empty()) {
        if (auto* d = ObjAs<TPDFDictionary>(FStructure->Decode(analyser.Trailer()))) FTrailer = d;
    }
    FRepaired = true;
    BuildIndObjList();

    // Objects inside the object streams the scan found are indexed too, for
    // numbers that no plain object carries.
    const size_t plainRows = XRefTable.size();
    for (size_t r = 0; r < plainRows; ++r) {
        const TPDFXRefEntry row = XRefTable[r];
        TPDFIndObj* io = FindObj(row.ObjNum, row.GenNum);
        if (!io || io->FPosition != row.ObjPos) continue;
        const std::string_view span = bytescan::Slice(FSource, io->FPosition, io->FSpan);
        if (span.find("/ObjStm") == std::string_view::npos) continue;
        auto* s = ObjAs<TPDFStream>(io->GetObj());
        if (!s) continue;
        auto* type = ObjAs<TPDFName>(s->FDictionary->FindValueByKeyName("Type", false));
        if (!type || type->Name() != "ObjStm") continue;
        auto* n = ObjAs<TPDFNumeric>(s->FDictionary->FindValueByKeyName("N", true));
        auto* first = ObjAs<TPDFNumeric>(s->FDictionary->FindValueByKeyName("First", true));
        if (!n || !first || n->AsInteger() <= 0 || first->AsInteger() <= 0) continue;
        const std::string data = s->GetDecodedStream();
        const size_t firstLen = std::min<size_t>(static_cast<size_t>(first->AsInteger()), data.size());
        TPDFStructure scratch;
        auto* idx = ObjAs<TPDFArray>(scratch.Decode("[ " + data.substr(0, firstLen) + " ]"));
        if (!idx) continue;
        const int32_t count = std::min(n->AsInteger(), idx->Count() / 2);
        for (int32_t k = 0; k < count; ++k) {
            auto* num = ObjAs<TPDFNumeric>(idx->GetItem(2 * k));
            if (!num) continue;
            const int32_t objNum = num->AsInteger();
            if (rowOf.count(objNum)) continue;
            rowOf.emplace(objNum, XRefTable.size());
            XRefTable.push_back({objNum, 0, 0, true, row.ObjNum, k, true});
        }
    }
    if (XRefTable.size() != plainRows) {
        XRefTableIndex = static_cast<int32_t>(XRefTable.size());
        BuildIndObjList();
    }
}

void TPDFDocument::CheckLinearized() {
    FLinearized = false;
    const std::string_view head = std::string_view(FSource).substr(0, 1024);
    if (head.find("/Linearized") == std::string_view::npos) return;
    const size_t k = head.find(" obj");
    if (k == std::string_view::npos || k == 0) return;
    auto digit = [&](size_t i) { return head[i] >= '0' && head[i] <= '9'; };
    // Backwards: to the generation's last digit, over its digits, one byte,
    // and over the object number's digits.
    size_t i = k;
    while (i > 0 && !digit(i - 1)) --i;
    if (i == 0) return;
    while (i > 0 && digit(i - 1)) --i;
    if (i < 2) return;
    --i;  // the byte between the numbers
    if (!digit(i - 1)) return;
    while (i > 0 && digit(i - 1)) --i;
    // Forwards: number, one byte, generation.
    size_t j = i;
    while (j < head.size() && digit(j)) ++j;
    const int32_t num = bytescan::ToInt32Def(head.substr(i, j - i), 0);
    const size_t g = j + 1;
    size_t ge = g;
    while (ge < head.size() && digit(ge)) ++ge;
    const int32_t gen = bytescan::ToInt32Def(head.substr(g, ge - g), 0);
    TPDFIndObj* io = FindObj(num, gen);
    if (!io) return;
    auto* d = ObjAs<TPDFDictionary>(io->GetObj());
    if (!d || d->FindIndexByKeyName("Linearized") < 0) return;
    FLinearized = true;
    d->Clear();
}

}  // namespace velmo
