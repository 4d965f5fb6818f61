// The document's side of the XMP packet: the catalog's /Metadata stream, the
// XMP object made from it on first use, and the PDF/A mode.
#include "core/Unicode.h"
#include "document/Document.h"
#include "document/XMP.h"

namespace velmo {

namespace {

// The catalog's /Metadata stream when it is an XML metadata stream.
TPDFStream* MetadataStream(TPDFDictionary* Root) {
    if (!Root) return nullptr;
    auto* s = ObjAs<TPDFStream>(Root->FindValueByKeyName("Metadata", true));
    if (!s || !s->Dictionary()) return nullptr;
    TPDFDictionary* d = s->Dictionary();
    std::string subtype = d->StringValue("Subtype");
    if (subtype.empty()) subtype = d->StringValue("SubType");
    return d->DictType() == "Metadata" && subtype == "XML" ? s : nullptr;
}

}  // namespace

std::string TPDFDocument::GetMetadata() {
    if (XMP) return XMP->SaveToString();
    if (TPDFStream* s = MetadataStream(GetRootDict())) return s->GetDecodedStream();
    return "";
}

TKorbexPDFLibraryXMP* TPDFDocument::NeedXMP() {
    if (!XMP) {
        const std::string packet = GetMetadata();
        XMP = std::make_unique<TKorbexPDFLibraryXMP>();
        XMP->LoadFromString(packet);
    }
    return XMP.get();
}

void TPDFDocument::SetMetadata(std::string_view NewXMP) {
    TPDFDictionary* root = GetRootDict();
    // An encrypted document keeps its stream: the packet would be written
    // in the clear.
    const bool encrypted = FTrailer && FTrailer->FindValueByKeyName("Encrypt", false);
    if (root && !encrypted) {
        auto* s = ObjAs<TPDFStream>(root->FindValueByKeyName("Metadata", true));
        if (!s) {
            s = FStructure->NewStream(std::string(), false);
            root->Add("Metadata", NewObjRef(s));
        }
        s->Dictionary()->Add("Type", FStructure->NewCommonName("Metadata"));
        s->Dictionary()->Add("Subtype", FStructure->NewCommonName("XML"));
        s->SetTo(std::string(NewXMP), false);
        FChanged = true;
    }
    XMP = std::make_unique<TKorbexPDFLibraryXMP>();
    XMP->LoadFromString(NewXMP);
}

std::u16string TPDFDocument::GetXMPInformation(std::u16string_view Key,
                                               std::u16string_view Delimiter) {
    TKorbexPDFLibraryXMP* x = NeedXMP();
    return Key == u"dc:subject" ? x->DCSubject() : std::u16string();
}

bool TPDFDocument::SetXMPInformation(std::u16string_view Key, std::u16string_view Value,
                                     std::u16string_view Delimiter) {
    TKorbexPDFLibraryXMP* x = NeedXMP();
    if (Key != u"dc:subject") return false;
    x->SetDCSubject(Value);
    return true;
}

void TPDFDocument::MirrorInfoToXMP(std::string_view Key, std::u16string_view Value) {
    TKorbexPDFLibraryXMP* x = NeedXMP();
    if (Key == "Title") x->SetTitle(Value);
    else if (Key == "Author") x->SetAuthor(Value);
    else if (Key == "Subject") x->SetSubject(Value);
    else if (Key == "Keywords") x->SetKeywords(Value);
    else if (Key == "Creator") x->SetCreator(Value);
    else if (Key == "Producer") x->SetProducer(Value);
    else if (Key == "CreationDate") x->SetCreationDate(Value);
    else if (Key == "ModDate") x->SetModDate(Value);
    else if (Key == "dc:subject") x->SetDCSubject(Value);
}

bool TPDFDocument::SetPDFAMode(int32_t NewMode) {
    if (NewMode != 2 || !FPDFAModePossible) return false;
    FPDFAMode = 2;
    NeedXMP()->SetPDFAID(u"1B");
    return true;
}

void TPDFDocument::StoreXMP() {
    if (XMP) SetMetadata(XMP->SaveToString());
}

}  // namespace velmo
