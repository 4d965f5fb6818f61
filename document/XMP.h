// The document's XMP metadata packet while it is being changed: the DOM of
// the packet, and the properties that mirror the document information
// (title, author, subject, keywords, creator tool, producer, dates), the
// Dublin Core subject and the PDF/A identification.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/xml/XMLDocument.h"

namespace velmo {

inline constexpr std::string_view kXMPMetaNS = "adobe:ns:meta/";
inline constexpr std::string_view kRDFNS = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
inline constexpr std::string_view kDCNS = "http://purl.org/dc/elements/1.1/";
inline constexpr std::string_view kXMPBasicNS = "http://ns.adobe.com/xap/1.0/";
inline constexpr std::string_view kAdobePDFNS = "http://ns.adobe.com/pdf/1.3/";
inline constexpr std::string_view kPDFAIDNS = "http://www.aiim.org/pdfa/ns/id/";

// A PDF date (D:YYYYMMDDHHmmSSOHH'mm') as an XMP date; other text unchanged.
std::u16string PDFDateToXMPDate(std::u16string_view Value);

class TKorbexPDFLibraryXMP {
public:
    // Builds the packet of a new document with every value empty.
    TKorbexPDFLibraryXMP();
    ~TKorbexPDFLibraryXMP();
    TKorbexPDFLibraryXMP(const TKorbexPDFLibraryXMP&) = delete;
    TKorbexPDFLibraryXMP& operator=(const TKorbexPDFLibraryXMP&) = delete;

    // ---- Fields ----
    std::unique_ptr<TXMLDocument> FXMLDoc;
    bool FError = false;
    TXMLNode FXMPNode;
    TXMLNode FRDFNode;
    std::u16string FTitle, FAuthor, FSubject, FKeywords, FCreator, FProducer, FCreationDate,
        FModDate, FPDFAID, FDCSubject;

    // Replaces the packet by the one in Source (UTF-8) and re-reads the
    // author, the Dublin Core subject and the PDF/A identification. A packet
    // that does not parse is replaced by a new empty one.
    void LoadFromString(std::string_view Source);
    // The packet as UTF-8 text, without XML declaration, with 1024 bytes of
    // padding before the closing processing instruction.
    std::string SaveToString() const;

    // ---- Properties ----
    const std::u16string& Title() const { return FTitle; }
    const std::u16string& Author() const { return FAuthor; }
    const std::u16string& Subject() const { return FSubject; }
    const std::u16string& Keywords() const { return FKeywords; }
    const std::u16string& Creator() const { return FCreator; }
    const std::u16string& Producer() const { return FProducer; }
    const std::u16string& CreationDate() const { return FCreationDate; }
    const std::u16string& ModDate() const { return FModDate; }
    const std::u16string& PDFAID() const { return FPDFAID; }
    const std::u16string& DCSubject() const { return FDCSubject; }
    void SetTitle(std::u16string_view Value);
    void SetAuthor(std::u16string_view Value);
    void SetSubject(std::u16string_view Value);
    void SetKeywords(std::u16string_view Value);
    void SetCreator(std::u16string_view Value);
    void SetProducer(std::u16string_view Value);
    void SetCreationDate(std::u16string_view Value);
    void SetModDate(std::u16string_view Value);
    void SetPDFAID(std::u16string_view Value);
    void SetDCSubject(std::u16string_view Value);

private:
    enum TForm { fmText, fmSeq, fmBag, fmAlt };
    void NewPacket();
    void SetSelectionNamespaces();
    TXMLNode FindDescription(std::string_view NS) const;
    // Writes Prefix:Name of namespace NS (declared as Prefix) in the form
    // given, as the last child of its description; with Remove the property
    // is only removed.
    void WriteProperty(std::string_view NS, std::string_view Prefix, std::string_view Name,
                       TForm Form, std::u16string_view Value, bool Remove = false);
    // Stores Value in Field; False when nothing is to be done.
    bool Take(std::u16string& Field, std::u16string_view Value) const;
};

}  // namespace velmo
