#include "document/XMP.h"

#include "core/StringHelpers.h"
#include "core/Unicode.h"

namespace velmo {

namespace {

// 1023 spaces and a line feed.
const std::string& Padding() {
    static const std::string p = std::string(1023, ' ') + "\n";
    return p;
}

std::u16string Copy16(std::u16string_view S, size_t Index, size_t Count) {
    if (Index < 1 || Index > S.size()) return {};
    return std::u16string(S.substr(Index - 1, Count));
}

}  // namespace

std::u16string PDFDateToXMPDate(std::u16string_view V) {
    if (V.substr(0, 2) != u"D:") return std::u16string(V);
    std::u16string r = Copy16(V, 3, 4) + u"-" + Copy16(V, 7, 2) + u"-" + Copy16(V, 9, 2) + u"T" +
                       Copy16(V, 11, 2) + u":" + Copy16(V, 13, 2) + u":" + Copy16(V, 15, 5) +
                       u":" + Copy16(V, 21, 2);
    if (r.size() >= 2 && r.substr(r.size() - 2) == u"Z:") r.pop_back();
    return r;
}

TKorbexPDFLibraryXMP::TKorbexPDFLibraryXMP() {
    FXMLDoc = std::make_unique<TXMLDocument>();
    FError = !FXMLDoc->Valid();
    if (!FError) NewPacket();
}

TKorbexPDFLibraryXMP::~TKorbexPDFLibraryXMP() = default;

void TKorbexPDFLibraryXMP::SetSelectionNamespaces() {
    FXMLDoc->setSelectionNamespaces({{"x", std::string(kXMPMetaNS)},
                                     {"rdf", std::string(kRDFNS)},
                                     {"xmp", std::string(kXMPBasicNS)},
                                     {"dc", std::string(kDCNS)},
                                     {"pdf", std::string(kAdobePDFNS)},
                                     {"pdfaid", std::string(kPDFAIDNS)}});
}

void TKorbexPDFLibraryXMP::NewPacket() {
    TXMLDocument& d = *FXMLDoc;
    const TXMLNode docNode = d.documentNode();
    d.appendChild(docNode, d.createProcessingInstruction(
                               "xpacket", "begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\""));
    FXMPNode = d.createElement("x:xmpmeta", kXMPMetaNS);
    d.appendChild(docNode, FXMPNode);
    FRDFNode = d.createElement("rdf:RDF", kRDFNS);
    d.appendChild(FXMPNode, FRDFNode);
    d.appendChild(docNode, d.createProcessingInstruction("xpacket", "end=\"w\""));
    SetSelectionNamespaces();
    WriteProperty(kDCNS, "dc", "format", fmText, u"application/pdf");
    WriteProperty(kDCNS, "dc", "creator", fmSeq, FAuthor);
    WriteProperty(kDCNS, "dc", "description", fmAlt, FSubject);
    WriteProperty(kDCNS, "dc", "title", fmAlt, FTitle);
    WriteProperty(kXMPBasicNS, "xmp", "CreatorTool", fmText, FCreator);
    WriteProperty(kXMPBasicNS, "xmp", "CreateDate", fmText, PDFDateToXMPDate(FCreationDate));
    WriteProperty(kXMPBasicNS, "xmp", "ModifyDate", fmText, PDFDateToXMPDate(FModDate));
    WriteProperty(kAdobePDFNS, "pdf", "Keywords", fmText, FKeywords);
    WriteProperty(kAdobePDFNS, "pdf", "Producer", fmText, FProducer);
}

TXMLNode TKorbexPDFLibraryXMP::FindDescription(std::string_view NS) const {
    TXMLNode found;
    for (const TXMLNode& n : FXMLDoc->selectNodes("/x:xmpmeta/rdf:RDF/rdf:Description")) {
        for (const auto& [name, value] : n.attributes()) {
            if (name.compare(0, 6, "xmlns:") == 0 && value == NS) {
                found = n;
                break;
            }
        }
    }
    return found;
}

void TKorbexPDFLibraryXMP::WriteProperty(std::string_view NS, std::string_view Prefix,
                                         std::string_view Name, TForm Form,
                                         std::u16string_view Value, bool Remove) {
    if (FError || !FRDFNode) return;
    TXMLDocument& d = *FXMLDoc;
    TXMLNode desc = FindDescription(NS);
    if (!desc) {
        desc = d.createElement("rdf:Description", kRDFNS);
        desc.setAttribute("xmlns:" + std::string(Prefix), NS);
        d.appendChild(FRDFNode, desc);
    }
    const std::string qname = std::string(Prefix) + ":" + std::string(Name);
    if (TXMLNode old = d.selectSingleNode(qname, desc)) d.removeChild(desc, old);
    if (Remove) return;
    const std::string text = WideToUTF8(Value);
    TXMLNode prop = d.createElement(qname, NS);
    d.appendChild(desc, prop);
    if (Form == fmText) {
        prop.setText(text);
        return;
    }
    const char* container = Form == fmSeq ? "rdf:Seq" : Form == fmBag ? "rdf:Bag" : "rdf:Alt";
    TXMLNode list = d.createElement(container, kRDFNS);
    d.appendChild(prop, list);
    TXMLNode li = d.createElement("rdf:li", kRDFNS);
    d.appendChild(list, li);
    if (Form == fmAlt) li.setLang("x-default");
    li.setText(text);
}

bool TKorbexPDFLibraryXMP::Take(std::u16string& Field, std::u16string_view Value) const {
    if (FError || Field == Value) return false;
    Field.assign(Value);
    return true;
}

void TKorbexPDFLibraryXMP::SetTitle(std::u16string_view V) {
    if (Take(FTitle, V)) WriteProperty(kDCNS, "dc", "title", fmAlt, V);
}
void TKorbexPDFLibraryXMP::SetAuthor(std::u16string_view V) {
    if (Take(FAuthor, V)) WriteProperty(kDCNS, "dc", "creator", fmSeq, V);
}
void TKorbexPDFLibraryXMP::SetSubject(std::u16string_view V) {
    if (Take(FSubject, V)) WriteProperty(kDCNS, "dc", "description", fmAlt, V);
}
void TKorbexPDFLibraryXMP::SetDCSubject(std::u16string_view V) {
    if (Take(FDCSubject, V)) WriteProperty(kDCNS, "dc", "subject", fmBag, V, V.empty());
}
void TKorbexPDFLibraryXMP::SetKeywords(std::u16string_view V) {
    if (Take(FKeywords, V)) WriteProperty(kAdobePDFNS, "pdf", "Keywords", fmText, V);
}
void TKorbexPDFLibraryXMP::SetProducer(std::u16string_view V) {
    if (Take(FProducer, V)) WriteProperty(kAdobePDFNS, "pdf", "Producer", fmText, V);
}
void TKorbexPDFLibraryXMP::SetCreator(std::u16string_view V) {
    if (Take(FCreator, V)) WriteProperty(kXMPBasicNS, "xmp", "CreatorTool", fmText, V);
}
void TKorbexPDFLibraryXMP::SetCreationDate(std::u16string_view V) {
    if (Take(FCreationDate, V))
        WriteProperty(kXMPBasicNS, "xmp", "CreateDate", fmText, PDFDateToXMPDate(V));
}
void TKorbexPDFLibraryXMP::SetModDate(std::u16string_view V) {
    if (Take(FModDate, V))
        WriteProperty(kXMPBasicNS, "xmp", "ModifyDate", fmText, PDFDateToXMPDate(V));
}
void TKorbexPDFLibraryXMP::SetPDFAID(std::u16string_view V) {
    if (!Take(FPDFAID, V)) return;
    WriteProperty(kPDFAIDNS, "pdfaid", "part", fmText, V.substr(0, 1));
    WriteProperty(kPDFAIDNS, "pdfaid", "conformance", fmText, V.size() > 1 ? V.substr(1, 1) : u"");
}

void TKorbexPDFLibraryXMP::LoadFromString(std::string_view Source) {
    if (FError || Source.empty()) return;
    // The old nodes go with the old DOM.
    FXMPNode = TXMLNode();
    FRDFNode = TXMLNode();
    if (!FXMLDoc->loadXML(Source)) {
        // What cannot be parsed is replaced by a valid new packet, so that a
        // save writes the document's information rather than nothing.
        NewPacket();
        return;
    }
    TXMLDocument& d = *FXMLDoc;
    SetSelectionNamespaces();
    FXMPNode = d.selectSingleNode("/x:xmpmeta");
    if (!FXMPNode) return;
    FRDFNode = d.selectSingleNode("/x:xmpmeta/rdf:RDF");
    if (!FRDFNode) {
        FRDFNode = d.createElement("rdf:RDF", kRDFNS);
        d.appendChild(FXMPNode, FRDFNode);
    }
    const std::string base = "/x:xmpmeta/rdf:RDF/rdf:Description/";
    auto first = [&](const std::string& Path, std::u16string& Field) {
        if (TXMLNode n = d.selectSingleNode(base + Path))
            if (TXMLNode c = n.firstChild()) Field = UTF8ToWide(c.nodeValue());
    };
    first("dc:creator/rdf:Bag/rdf:li", FAuthor);
    first("dc:creator/rdf:Seq/rdf:li", FAuthor);
    first("dc:subject/rdf:Bag/rdf:li", FDCSubject);
    // The PDF/A identification, written as elements or as attributes.
    std::u16string part, conformance;
    if (TXMLNode n = d.selectSingleNode(base + "pdfaid:part | " + base + "@pdfaid:part"))
        part = UTF8ToWide(n.text());
    if (TXMLNode n =
            d.selectSingleNode(base + "pdfaid:conformance | " + base + "@pdfaid:conformance"))
        conformance = UTF8ToWide(n.text());
    FPDFAID = part + conformance;
}

std::string TKorbexPDFLibraryXMP::SaveToString() const {
    if (FError) return "";
    std::string out = FXMLDoc->xml();
    if (out.empty()) return "";
    if (out.compare(0, 5, "<?xml") == 0) {
        const size_t p = out.find("<?xpacket");
        out.erase(0, p == std::string::npos ? out.size() : p);
    }
    if (out.size() >= 2) {
        const size_t p = out.rfind("<?xpacket end=", out.size() - 2);
        if (p != std::string::npos && p > 0) out.insert(p, Padding());
    }
    return out;
}

}  // namespace velmo
