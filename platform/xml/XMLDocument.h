// The DOM and XPath operations that the XMP and XFA code needs, over libxml2:
// a document that loads and serialises UTF-8 text, elements made with a
// qualified name and a namespace, processing instructions, attributes
// (namespace declarations included, as "xmlns:" attributes), text, and node
// selection by XPath with namespaces registered per document.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct _xmlNode;
struct _xmlDoc;

namespace velmo {

// A node of a TXMLDocument; a null handle when nothing was found. Handles stay
// valid while their node is in (or detached from, but not freed by) the
// document that made it.
class TXMLNode {
public:
    TXMLNode() = default;
    explicit TXMLNode(_xmlNode* N) : FNode(N) {}
    explicit operator bool() const { return FNode != nullptr; }
    bool operator==(const TXMLNode& O) const { return FNode == O.FNode; }
    _xmlNode* Raw() const { return FNode; }

    // Qualified name ("dc:title"), or the target of a processing instruction.
    std::string nodeName() const;
    // Replaces the children by one text node (UTF-8).
    void setText(std::string_view Text);
    // All text below the node.
    std::string text() const;
    TXMLNode firstChild() const;
    TXMLNode nextSibling() const;
    // The text of a text, attribute or processing-instruction node; empty for
    // elements.
    std::string nodeValue() const;
    // Namespace declarations ("xmlns:p" or "xmlns") and then attributes, in
    // document order, as name and value.
    std::vector<std::pair<std::string, std::string>> attributes() const;
    // "xmlns:p" declares a namespace; any other name sets an attribute.
    void setAttribute(std::string_view Name, std::string_view Value);
    // xml:lang.
    void setLang(std::string_view Lang);

private:
    _xmlNode* FNode = nullptr;
};

class TXMLDocument {
public:
    TXMLDocument();
    ~TXMLDocument();
    TXMLDocument(const TXMLDocument&) = delete;
    TXMLDocument& operator=(const TXMLDocument&) = delete;

    // False when the document could not be made.
    bool Valid() const { return FDoc != nullptr; }
    // The node standing for the document itself (parent of the root).
    TXMLNode documentNode() const;

    // Replaces the content by the parse of UTF-8 Text. False (and an empty
    // document) when it does not parse. No network access and no entity
    // expansion.
    bool loadXML(std::string_view Text);
    // The document as UTF-8 text, elements indented, without an XML
    // declaration; empty for an empty document.
    std::string xml() const;

    TXMLNode createProcessingInstruction(std::string_view Target, std::string_view Data);
    // An element of the namespace NamespaceURI with the qualified name
    // QName ("prefix:local"); its namespace is bound when it is appended.
    TXMLNode createElement(std::string_view QName, std::string_view NamespaceURI);
    // Appends Child as the last child of Parent (the document node for the
    // top level). Child must be unattached.
    void appendChild(TXMLNode Parent, TXMLNode Child);
    // Detaches Child from Parent and frees it; its handles become invalid.
    void removeChild(TXMLNode Parent, TXMLNode Child);

    // Prefix and namespace pairs usable in the selection paths.
    void setSelectionNamespaces(std::vector<std::pair<std::string, std::string>> Namespaces);
    // Nodes matching XPath, evaluated at Context (the document when null).
    std::vector<TXMLNode> selectNodes(std::string_view XPath, TXMLNode Context = {}) const;
    TXMLNode selectSingleNode(std::string_view XPath, TXMLNode Context = {}) const;

private:
    _xmlDoc* FDoc = nullptr;
    std::vector<std::pair<std::string, std::string>> FNamespaces;
};

}  // namespace velmo
