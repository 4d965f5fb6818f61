// The list of open documents: new, load, save, select, remove, merge and
// page extraction.
#include <exception>

#include "api/VelmoPDF.h"
#include "core/FileHelpers.h"
#include "core/StringHelpers.h"
#include "document/ImageBase.h"
#include "document/PageTree.h"
#include "platform/files/Stream.h"

namespace velmo {

namespace {

// Open for reading while others may read but not write.
constexpr uint16_t fmOpenReadShareDenyWrite = 0x0020;

}  // namespace

std::unique_ptr<TPDFDocument> TVelmoPDF::MakeBlankDocument() {
    auto doc = std::make_unique<TPDFDocument>();
    doc->SetDecodeMode(FDefaultDecodeMode);
    doc->CreateBlank();
    const std::string now = NowAsPDFDate();
    doc->SetRawInfo("Producer", VelmoPDFBanner, smString);
    doc->SetRawInfo("Creator", VelmoPDFBanner, smString);
    doc->SetRawInfo("CreationDate", now, smString);
    doc->SetRawInfo("ModDate", now, smString);
    return doc;
}

// Once the document is in the list it stays there: a failure while
// selecting it leaves it in place (and the previous selection untouched)
// rather than a freed document in the list.
int32_t TVelmoPDF::AddDocument(std::unique_ptr<TPDFDocument> Doc) {
    TPDFDocument* doc = Doc.get();
    FDocs.push_back(std::move(Doc));
    const int32_t id = ObjectToID(doc, TVPLIDKind::idDocument);
    SelectDocument(id);
    return id;
}

int32_t TVelmoPDF::NewDocument() {
    FLastErrorCode = 0;
    std::unique_ptr<TPDFDocument> doc;
    try {
        doc = MakeBlankDocument();
    } catch (...) {
        return 0;
    }
    const int32_t id = AddDocument(std::move(doc));
    try {
        SelectPage(1);
    } catch (...) {
    }
    return id;
}

int32_t TVelmoPDF::LoadDocument(TStream* InStream, const std::string* Source,
                                const std::u16string& Password, TPDFDocument** Loaded) {
    auto doc = std::make_unique<TPDFDocument>();
    doc->SetDecodeMode(FDefaultDecodeMode);
    const TVPLLoadResult r = InStream ? doc->LoadFromStream(*InStream, Password)
                                      : doc->LoadFromString(*Source, Password);
    if (r == lrOkay) {
        if (Loaded) *Loaded = doc.get();
        AddDocument(std::move(doc));
        return 1;
    }
    FLastErrorCode = r == lrWrongPassword ? 404 : 401;
    return 0;
}

int32_t TVelmoPDF::LoadFromFile(const std::u16string& FileName, const std::u16string& Password) {
    FLastErrorCode = 0;
    if (!FileExistsWide(FileName)) {
        FLastErrorCode = 401;
        return 0;
    }
    int32_t result = 0;
    TPDFDocument* loaded = nullptr;
    try {
        TVelmoPDFWideFileStream in(FileName, fmOpenReadShareDenyWrite);
        result = LoadDocument(&in, nullptr, Password, &loaded);
    } catch (...) {
        result = 0;
    }
    if (result == 1) {
        loaded->SourceFileName = FileName;
    } else {
        // A file reports every failure alike, a wrong password included.
        FLastErrorCode = 401;
    }
    return result;
}

int32_t TVelmoPDF::LoadFromStream(TStream& InStream, const std::u16string& Password) {
    FLastErrorCode = 0;
    try {
        return LoadDocument(&InStream, nullptr, Password, nullptr);
    } catch (...) {
        FLastErrorCode = 401;
        return 0;
    }
}

int32_t TVelmoPDF::LoadFromString(const std::string& Source, const std::u16string& Password) {
    FLastErrorCode = 0;
    try {
        return LoadDocument(nullptr, &Source, Password, nullptr);
    } catch (...) {
        FLastErrorCode = 401;
        return 0;
    }
}

// Every save drops the font selection and dates the document now unless
// the caller set the modification date.
void TVelmoPDF::PrepareSave() {
    FSelFont = nullptr;
    if (!FSelDoc->FUserModDate) FSelDoc->SetRawInfo("ModDate", NowAsPDFDate(), smString);
}

int32_t TVelmoPDF::SaveToFile(const std::u16string& FileName) {
    FLastErrorCode = 0;
    try {
        PrepareSave();
        return FSelDoc->SaveToFile(FileName) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

std::string TVelmoPDF::SaveToString() {
    FLastErrorCode = 0;
    std::string s;
    try {
        PrepareSave();
        s = FSelDoc->SaveToString();
    } catch (...) {
        s.clear();
    }
    if (s.empty()) FLastErrorCode = 999;
    return s;
}

int32_t TVelmoPDF::SaveToStream(TStream& OutStream) {
    const std::string s = SaveToString();
    if (s.empty()) return 0;
    OutStream.WriteBuffer(s);
    return 1;
}

int32_t TVelmoPDF::AppendToFile(const std::u16string& FileName) {
    FLastErrorCode = 0;
    try {
        PrepareSave();
        return FSelDoc->AppendToFile(FileName) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int32_t TVelmoPDF::SetAppendInputFromString(const std::string& Source) {
    FAppendInput = Source;
    return 1;
}

std::string TVelmoPDF::AppendToString(int32_t AppendMode) {
    return FSelDoc->AppendToString(AppendMode, FAppendInput);
}

int32_t TVelmoPDF::SelectDocument(int32_t DocumentID) {
    TPDFDocument* doc = FindDocument(DocumentID);
    if (doc == nullptr) return 0;
    FSelDoc = doc;
    FSelImage =
        doc->FImages.empty() ? nullptr : dynamic_cast<TPDFImageBase*>(doc->FImages.front().get());
    FSelFont = doc->FFonts.empty() ? nullptr : doc->FFonts.front().get();
    return 1;
}

int32_t TVelmoPDF::RemoveDocument(int32_t DocumentID) {
    TPDFDocument* doc = FindDocument(DocumentID);
    if (doc == nullptr) return 0;
    size_t i = 0;
    while (i < FDocs.size() && FDocs[i].get() != doc) ++i;
    if (i == FDocs.size()) return 0;
    if (FDocs.size() == 1) {
        if (NewDocument() == 0) return 0;
    } else if (doc == FSelDoc) {
        const size_t other = i == 0 ? 1 : i - 1;
        SelectDocument(ObjectToID(FDocs[other].get(), TVPLIDKind::idDocument));
    }
    ForgetDocument(doc);
    FDocs.erase(FDocs.begin() + static_cast<std::ptrdiff_t>(i));
    return 1;
}

// Merging and copying pages between documents belong to the document
// engine, which does not offer them yet.
int32_t TVelmoPDF::MergeDocument(int32_t DocumentID) {
    FLastErrorCode = 0;
    TPDFDocument* other = FindDocument(DocumentID);
    if (other == nullptr || other == FSelDoc) return 0;
    return 0;
}

int32_t TVelmoPDF::ExtractPages(int32_t StartPage, int32_t PageCount) {
    FLastErrorCode = 0;
    FLastErrorCode = 412;
    return 0;
}

int32_t TVelmoPDF::ExtractPageRanges(const std::u16string& RangeList) {
    FLastErrorCode = 0;
    FLastErrorCode = 412;
    return 0;
}

}  // namespace velmo
