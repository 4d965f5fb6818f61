// Writing a document: a full save (header, every object, a classic
// cross-reference table, trailer) and an incremental update appended after
// the loaded file (the changed objects only, with /Prev to the section read
// at load).
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <unordered_set>

#include "core/FileHelpers.h"
#include "document/Document.h"
#include "document/PageTree.h"
#include "document/Security.h"
#include "platform/files/Stream.h"
#include "platform/files/FileStream.h"

namespace velmo {

namespace {

constexpr int32_t kMaxSavedObjNum = 8388607;

// "0000000000 00000 n \n" style rows; offsets as their low 32 bits.
void AppendRow(std::string& Out, int64_t Offset, int32_t Gen, char Type) {
    char buf[24];
    const uint32_t off = static_cast<uint32_t>(Offset);
    std::snprintf(buf, sizeof buf, "%010u %05d %c \n", off, Gen < 0 ? 0 : Gen % 100000, Type);
    Out += buf;
}

}  // namespace

bool TPDFDocument::OffsetsMatchSource() const {
    // A repaired table or a source read after dropping leading bytes no longer
    // describes the file's own offsets: an update appended to it would point
    // into the wrong places.
    return !FRepaired && !FSourceShifted && FXRefPos >= 0;
}

bool TPDFDocument::SaveEncrypts() {
    return GetEncrypted() == peEncrypted;
}

int32_t TPDFDocument::EncryptDictObjNum() {
    if (auto* r = ObjAs<TPDFIndRef>(FTrailer->FindValueByKeyName("Encrypt", false))) return r->ObjNum;
    return Security().FEncryption.DictionaryObjNum;
}

bool TPDFDocument::SaveToStream(TStream& Stream, bool AppendMode) {
    // Preparation (failures here are the callers' to turn into results):
    // the metadata packet and font subsets brought up to date, drawing still
    // held by the content writer put into its layer.
    StoreXMP();
    UpdateFontSubsets();
    if (FPageTree) FPageTree->FlushPainter();
    const int32_t keepPage = FPageTree ? FPageTree->Page() : 0;
    XRefTable.clear();
    bool ok = true;
    struct SavingFlag {
        bool& F;
        explicit SavingFlag(bool& AF) : F(AF) { F = true; }
        ~SavingFlag() { F = false; }
    } saving(FSaving);
    try {
        const int64_t base = Stream.Position();
        // Written out in pieces, so that a document of large streams is not
        // held a second time as one file-sized text.
        std::string out;
        int64_t flushed = 0;
        constexpr size_t kFlushSize = 1 << 20;
        auto flushOut = [&] {
            Stream.WriteBuffer(out);
            flushed += static_cast<int64_t>(out.size());
            out.clear();
        };
        if (!AppendMode) {
            out += "%PDF-" + FVersion + "\n";
            out += "%\x3F\x3F\x3F\x3F\n";
            if (!FHeaderComments.empty()) {
                out += FHeaderComments;
                if (out.back() != '\n') out += '\n';
            }
        }

        int32_t n = 0;
        std::unordered_set<int32_t> objStreams;
        for (const auto& io : FIndObjList) {
            n = std::max(n, io->FObjNum);
            if (io->FObjStrNum > 0) objStreams.insert(io->FObjStrNum);
        }
        // A classic table holds a row for every number up to the highest:
        // numbers beyond the format's limit would make it gigabytes long.
        if (n > kMaxSavedObjNum) throw std::length_error("object number too high");
        XRefTable.assign(static_cast<size_t>(n) + 1, TPDFXRefEntry{});
        for (int32_t i = 0; i <= n; ++i) {
            XRefTable[static_cast<size_t>(i)].ObjNum = i;
            XRefTable[static_cast<size_t>(i)].InUse = i > 0;
        }
        XRefTable[0].GenNum = 65535;
        // Numbers that no object of the list carries are free rows.
        std::vector<bool> present(static_cast<size_t>(n) + 1, false);
        for (const auto& io : FIndObjList)
            if (io->FObjNum >= 0) present[static_cast<size_t>(io->FObjNum)] = true;
        for (int32_t i = 1; i <= n; ++i)
            if (!present[static_cast<size_t>(i)]) XRefTable[static_cast<size_t>(i)].InUse = false;

        const bool encrypted = SaveEncrypts();
        const int32_t encryptNum = EncryptDictObjNum();
        std::vector<int32_t> written;
        written.reserve(FIndObjList.size());
        for (const auto& iop : FIndObjList) {
            TPDFIndObj* io = iop.get();
            if (io->FObjNum < 0) continue;
            TPDFXRefEntry& row = XRefTable[static_cast<size_t>(io->FObjNum)];
            const bool inObjStreamSet = objStreams.count(io->FObjNum) > 0;
            // An object a later section of the file freed while an older one
            // still holds it is read (the older row wins); an update must
            // carry it again, or readers of the new file would find it free.
            const bool revived = AppendMode && XRefFreed.count(io->FObjNum) && io->FPosition > 0;
            if ((!AppendMode || io->HasChanged() || revived) && !inObjStreamSet) {
                written.push_back(io->FObjNum);
                TPDFObject* v = io->GetObj();
                row.ObjPos = base + flushed + static_cast<int64_t>(out.size());
                row.GenNum = io->FGenNum < 0 ? 0 : io->FGenNum;
                row.InUse = true;
                const bool crypt = encrypted && v && io->FObjNum != encryptNum;
                if (crypt) io->Encrypt();
                out += std::to_string(io->FObjNum);
                out += ' ';
                out += std::to_string(io->FGenNum);
                out += " obj\n";
                if (v) v->OutputTo(out);
                else out += "null";
                if (crypt) io->Decrypt();
                if (out.back() != '\n' && out.back() != '\r') out += '\n';
                out += "endobj\n";
                if (out.size() >= kFlushSize) flushOut();
            } else if (io->FCompact && !inObjStreamSet) {
                row.ObjStrNum = io->FObjStrNum;
                row.ObjStrIndex = io->FObjStrIndex;
                row.Compact = true;
            } else {
                row.ObjPos = 0;
                row.GenNum = 0;
                row.InUse = false;
            }
        }
        std::sort(written.begin(), written.end());
        written.erase(std::unique(written.begin(), written.end()), written.end());

        const int64_t xrefPos = base + flushed + static_cast<int64_t>(out.size());
        out += "xref\n";
        if (!AppendMode) {
            // Free rows form the chain the format asks for: each names the
            // next free number, the last one 0.
            out += "0 " + std::to_string(n + 1) + "\n";
            std::vector<int32_t> nextFree(static_cast<size_t>(n) + 1, 0);
            int32_t following = 0;
            for (int32_t i = n; i >= 0; --i) {
                const TPDFXRefEntry& row = XRefTable[static_cast<size_t>(i)];
                if (i == 0 || !row.InUse) {
                    nextFree[static_cast<size_t>(i)] = following;
                    following = i;
                }
            }
            out.reserve(out.size() + 20 * (static_cast<size_t>(n) + 1) + 256);
            for (int32_t i = 0; i <= n; ++i) {
                const TPDFXRefEntry& row = XRefTable[static_cast<size_t>(i)];
                if (i == 0) AppendRow(out, nextFree[0], 65535, 'f');
                else if (!row.InUse) AppendRow(out, nextFree[static_cast<size_t>(i)], 0, 'f');
                else AppendRow(out, row.ObjPos, row.GenNum, 'n');
            }
        } else {
            // Subsections over runs of written numbers; the first starts at 0.
            size_t k = 0;  // next written number to place
            int32_t start = 0;
            for (;;) {
                int32_t end = start;
                while (k < written.size() && written[k] <= start) ++k;
                while (k < written.size() && written[k] == end + 1 && end + 1 <= n + 1) {
                    ++end;
                    ++k;
                }
                out += std::to_string(start) + " " + std::to_string(end - start + 1) + "\n";
                for (int32_t v = start; v <= end; ++v) {
                    if (v == 0) AppendRow(out, 0, 65535, 'f');
                    else {
                        const TPDFXRefEntry& row = XRefTable[static_cast<size_t>(v)];
                        AppendRow(out, row.ObjPos, row.GenNum, 'n');
                    }
                }
                if (k >= written.size()) break;
                start = written[k];
            }
        }

        // The trailer: a classic section carries none of a stream section's
        // entries, and /Size follows the table written.
        for (const char* key : {"XRefStm", "Type", "W", "Index", "Length", "Filter", "DecodeParms"})
            FTrailer->DeleteEntryByKeyName(key);
        int32_t size = n + 1;
        if (AppendMode) {
            if (auto* old = ObjAs<TPDFNumeric>(FTrailer->FindValueByKeyName("Size", true)))
                size = std::max(size, old->AsInteger());
        }
        if (auto* s = ObjAs<TPDFNumeric>(FTrailer->FindValueByKeyName("Size", false))) s->SetTo(size);
        else FTrailer->Add("Size", FStructure->NewNumeric(size));
        if (AppendMode) {
            if (auto* p = ObjAs<TPDFNumeric>(FTrailer->FindValueByKeyName("Prev", false)))
                p->SetTo(static_cast<double>(FXRefPos));
            else
                FTrailer->Add("Prev", FStructure->NewNumeric(static_cast<double>(FXRefPos)));
        } else {
            // A fresh file has no earlier section.
            FTrailer->DeleteEntryByKeyName("Prev");
        }
        out += "trailer\n";
        FTrailer->OutputTo(out);
        if (out.back() != '\n') out += '\n';
        out += "startxref\n" + std::to_string(xrefPos) + "\n%%EOF\n";
        Stream.WriteBuffer(out);
    } catch (...) {
        ok = false;
    }
    const int64_t size = Stream.Size();
    SourceFileSize = size > 0 ? static_cast<uint64_t>(size) : 0;
    if (FPageTree && keepPage > 0 && FPageTree->Page() != keepPage) FPageTree->SetPage(keepPage);
    return ok;
}

bool TPDFDocument::SaveToFile(const std::u16string& FileName) {
    // The new file replaces the target only once it is complete, so a failed
    // save leaves the old file whole.
    try {
        bool ok = true;
        WriteFileReplacing(FileName, [&](TStream& S) {
            ok = SaveToStream(S, false);
            if (!ok) throw EWriteError("Error");
        });
        return ok;
    } catch (...) {
        return false;
    }
}

std::string TPDFDocument::SaveToString() {
    // An exception of the preparation reaches the caller.
    TMemoryStream ms;
    if (!SaveToStream(ms, false)) return {};
    return ms.Bytes();
}

bool TPDFDocument::AppendToFile(const std::u16string& FileName) {
    if (!OffsetsMatchSource()) return SaveToFile(FileName);
    try {
        auto fs = CreateWideFileStream(FileName, 0x22);
        if (!fs) return false;
        const int64_t oldSize = fs->Seek(0, soEnd);
        if (oldSize < 0) return false;
        bool ok = SaveToStream(*fs, true);
        if (!ok) {
            // The old file stays whole: the partial update is cut off again.
            try {
                fs->SetSize(oldSize);
            } catch (...) {
            }
        }
        return ok;
    } catch (...) {
        return false;
    }
}

std::string TPDFDocument::AppendToString(int32_t AppendMode, const std::string& InputString) {
    try {
        if (AppendMode < 0 || AppendMode > 2) return {};
        if (AppendMode != 2 && FSource.empty()) return {};
        if (!OffsetsMatchSource()) {
            // An update would point at offsets the source does not have: the
            // whole document is written instead, except where only the update
            // was asked for.
            if (AppendMode == 1) return {};
            return SaveToString();
        }
        TMemoryStream ms;
        const std::string& head = AppendMode == 2 ? InputString : FSource;
        if (!head.empty()) ms.WriteBuffer(head);
        if (!SaveToStream(ms, true)) return {};
        if (AppendMode == 1) return ms.Bytes().substr(FSource.size());
        return ms.Bytes();
    } catch (...) {
        return {};
    }
}

bool TPDFDocument::Compress() {
    const int32_t count = GetPageCount();
    for (int32_t p = 1; p <= count; ++p) {
        CompressPage(p);
        if (FOnProgress) FOnProgress(static_cast<int32_t>(int64_t{p} * 100 / count));
    }
    return true;
}

}  // namespace velmo
