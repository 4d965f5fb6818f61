#include "platform/xml/XMLDocument.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <climits>
#include <mutex>

namespace velmo {

namespace {

const xmlChar* X(const std::string& S) { return reinterpret_cast<const xmlChar*>(S.c_str()); }

std::string Str(const xmlChar* S) { return S ? std::string(reinterpret_cast<const char*>(S)) : ""; }

// Takes a string libxml2 allocated.
std::string Take(xmlChar* S) {
    std::string r = Str(S);
    if (S) xmlFree(S);
    return r;
}

void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

void SplitQName(std::string_view QName, std::string& Prefix, std::string& Local) {
    const size_t colon = QName.find(':');
    if (colon == std::string_view::npos) {
        Prefix.clear();
        Local.assign(QName);
    } else {
        Prefix.assign(QName.substr(0, colon));
        Local.assign(QName.substr(colon + 1));
    }
}

}  // namespace

// ---- TXMLNode -------------------------------------------------------------------------

std::string TXMLNode::nodeName() const {
    if (!FNode) return "";
    std::string name = Str(FNode->name);
    if (FNode->type == XML_ELEMENT_NODE && FNode->ns && FNode->ns->prefix)
        name = Str(FNode->ns->prefix) + ":" + name;
    return name;
}

void TXMLNode::setText(std::string_view Text) {
    if (!FNode) return;
    xmlNodeSetContent(FNode, nullptr);
    const std::string t(Text);
    xmlAddChild(FNode, xmlNewDocText(FNode->doc, X(t)));
}

std::string TXMLNode::text() const { return FNode ? Take(xmlNodeGetContent(FNode)) : ""; }

TXMLNode TXMLNode::firstChild() const { return TXMLNode(FNode ? FNode->children : nullptr); }

TXMLNode TXMLNode::nextSibling() const { return TXMLNode(FNode ? FNode->next : nullptr); }

std::string TXMLNode::nodeValue() const {
    if (!FNode || FNode->type == XML_ELEMENT_NODE || FNode->type == XML_DOCUMENT_NODE) return "";
    return Take(xmlNodeGetContent(FNode));
}

std::vector<std::pair<std::string, std::string>> TXMLNode::attributes() const {
    std::vector<std::pair<std::string, std::string>> r;
    if (!FNode || FNode->type != XML_ELEMENT_NODE) return r;
    for (xmlNs* ns = FNode->nsDef; ns; ns = ns->next)
        r.emplace_back(ns->prefix ? "xmlns:" + Str(ns->prefix) : "xmlns", Str(ns->href));
    for (xmlAttr* a = FNode->properties; a; a = a->next) {
        std::string name = Str(a->name);
        if (a->ns && a->ns->prefix) name = Str(a->ns->prefix) + ":" + name;
        r.emplace_back(name, Take(xmlNodeGetContent(reinterpret_cast<xmlNode*>(a))));
    }
    return r;
}

void TXMLNode::setAttribute(std::string_view Name, std::string_view Value) {
    if (!FNode || FNode->type != XML_ELEMENT_NODE) return;
    const std::string value(Value);
    if (Name == "xmlns" || Name.substr(0, 6) == "xmlns:") {
        const std::string prefix(Name.size() > 6 ? Name.substr(6) : std::string_view());
        for (xmlNs* ns = FNode->nsDef; ns; ns = ns->next) {
            if (Str(ns->prefix) == prefix) {
                if (ns->href) xmlFree(const_cast<xmlChar*>(ns->href));
                ns->href = xmlStrdup(X(value));
                return;
            }
        }
        xmlNewNs(FNode, X(value), prefix.empty() ? nullptr : X(prefix));
        return;
    }
    const std::string name(Name);
    xmlSetProp(FNode, X(name), X(value));
}

void TXMLNode::setLang(std::string_view Lang) {
    if (!FNode) return;
    const std::string l(Lang);
    xmlNodeSetLang(FNode, X(l));
}

// ---- TXMLDocument ---------------------------------------------------------------------

TXMLDocument::TXMLDocument() {
    InitOnce();
    FDoc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
}

TXMLDocument::~TXMLDocument() {
    if (FDoc) xmlFreeDoc(FDoc);
}

TXMLNode TXMLDocument::documentNode() const { return TXMLNode(reinterpret_cast<xmlNode*>(FDoc)); }

bool TXMLDocument::loadXML(std::string_view Text) {
    if (FDoc) xmlFreeDoc(FDoc);
    FDoc = nullptr;
    if (Text.size() >= 3 && Text.substr(0, 3) == "\xEF\xBB\xBF") Text.remove_prefix(3);
    if (!Text.empty() && Text.size() < size_t(INT_MAX)) {
        FDoc = xmlReadMemory(Text.data(), int(Text.size()), nullptr, "UTF-8",
                             XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOERROR |
                                 XML_PARSE_NOWARNING);
    }
    if (FDoc) return true;
    FDoc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    return false;
}

std::string TXMLDocument::xml() const {
    if (!FDoc || !FDoc->children) return "";
    xmlBufferPtr buf = xmlBufferCreate();
    if (!buf) return "";
    std::string out;
    if (xmlSaveCtxtPtr ctx = xmlSaveToBuffer(buf, "UTF-8", XML_SAVE_FORMAT | XML_SAVE_NO_DECL)) {
        xmlSaveDoc(ctx, FDoc);
        xmlSaveClose(ctx);
        out.assign(reinterpret_cast<const char*>(xmlBufferContent(buf)),
                   size_t(xmlBufferLength(buf)));
    }
    xmlBufferFree(buf);
    return out;
}

TXMLNode TXMLDocument::createProcessingInstruction(std::string_view Target,
                                                   std::string_view Data) {
    if (!FDoc) return {};
    const std::string t(Target), d(Data);
    return TXMLNode(xmlNewDocPI(FDoc, X(t), X(d)));
}

TXMLNode TXMLDocument::createElement(std::string_view QName, std::string_view NamespaceURI) {
    if (!FDoc) return {};
    std::string prefix, local;
    SplitQName(QName, prefix, local);
    xmlNode* n = xmlNewDocNode(FDoc, nullptr, X(local), nullptr);
    if (!n) return {};
    if (!NamespaceURI.empty()) {
        const std::string uri(NamespaceURI);
        xmlNs* ns = xmlNewNs(n, X(uri), prefix.empty() ? nullptr : X(prefix));
        xmlSetNs(n, ns);
    }
    return TXMLNode(n);
}

void TXMLDocument::appendChild(TXMLNode Parent, TXMLNode Child) {
    if (!FDoc || !Child) return;
    xmlNode* parent = Parent ? Parent.Raw() : reinterpret_cast<xmlNode*>(FDoc);
    xmlNode* child = Child.Raw();
    if (parent->type == XML_DOCUMENT_NODE && child->type == XML_ELEMENT_NODE &&
        !xmlDocGetRootElement(FDoc)) {
        xmlDocSetRootElement(FDoc, child);
    } else {
        xmlAddChild(parent, child);
    }
    // A fresh element whose namespace is already in scope with the same
    // prefix drops its own declaration of it.
    if (child->type == XML_ELEMENT_NODE && parent->type == XML_ELEMENT_NODE && child->ns &&
        !child->children) {
        xmlNs** link = &child->nsDef;
        while (*link && *link != child->ns) link = &(*link)->next;
        if (*link) {
            xmlNs* own = *link;
            xmlNs* inScope = xmlSearchNs(FDoc, parent, own->prefix);
            if (inScope && xmlStrEqual(inScope->href, own->href)) {
                *link = own->next;
                own->next = nullptr;
                child->ns = inScope;
                xmlFreeNs(own);
            }
        }
    }
}

void TXMLDocument::removeChild(TXMLNode Parent, TXMLNode Child) {
    if (!Child || Child.Raw()->parent != (Parent ? Parent.Raw() : reinterpret_cast<xmlNode*>(FDoc)))
        return;
    xmlUnlinkNode(Child.Raw());
    xmlFreeNode(Child.Raw());
}

void TXMLDocument::setSelectionNamespaces(
    std::vector<std::pair<std::string, std::string>> Namespaces) {
    FNamespaces = std::move(Namespaces);
}

std::vector<TXMLNode> TXMLDocument::selectNodes(std::string_view XPath, TXMLNode Context) const {
    std::vector<TXMLNode> r;
    if (!FDoc) return r;
    xmlXPathContextPtr ctx = xmlXPathNewContext(FDoc);
    if (!ctx) return r;
    for (const auto& [prefix, uri] : FNamespaces) xmlXPathRegisterNs(ctx, X(prefix), X(uri));
    ctx->node = Context ? Context.Raw() : reinterpret_cast<xmlNode*>(FDoc);
    const std::string path(XPath);
    if (xmlXPathObjectPtr obj = xmlXPathEvalExpression(X(path), ctx)) {
        if (obj->type == XPATH_NODESET && obj->nodesetval)
            for (int i = 0; i < obj->nodesetval->nodeNr; ++i)
                r.emplace_back(obj->nodesetval->nodeTab[i]);
        xmlXPathFreeObject(obj);
    }
    xmlXPathFreeContext(ctx);
    return r;
}

TXMLNode TXMLDocument::selectSingleNode(std::string_view XPath, TXMLNode Context) const {
    auto nodes = selectNodes(XPath, Context);
    return nodes.empty() ? TXMLNode() : nodes.front();
}

}  // namespace velmo
