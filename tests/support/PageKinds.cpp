#include "tests/support/PageKinds.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <set>
#include <sstream>
#include <string_view>

#include "document/Document.h"
#include "document/PageTree.h"
#include "render/ContentRun.h"
#include "render/Renderer.h"

namespace vpltest {

namespace {

// Operators that mark a page as more than paths, colours and text: inline
// and XObject images, shadings, extended states and patterns.
bool NonTextOperator(std::string_view T) {
    static const std::set<std::string_view> ops = {"BI", "Do", "sh", "gs", "scn", "SCN"};
    return ops.count(T) != 0;
}

bool TextOperator(std::string_view T) { return T == "Tj" || T == "TJ" || T == "'" || T == "\""; }

velmo::TPDFObject* Deref(velmo::TPDFObject* O) {
    auto* R = velmo::ObjAs<velmo::TPDFIndRef>(O);
    return R ? R->Obj() : O;
}

velmo::TPDFDictionary* DictOf(velmo::TPDFObject* O) {
    return velmo::ObjAs<velmo::TPDFDictionary>(Deref(O));
}

bool NonEmptyDict(velmo::TPDFDictionary* D, std::string_view Key) {
    auto* V = D ? DictOf(D->FindValueByKeyName(Key, false)) : nullptr;
    return V && V->GetCount() > 0;
}

// Whether resources (or those of the forms they name, to a depth) hold
// shadings or patterns, or an extended state with a soft-mask dictionary
// (SMask set).
bool DrawsFeatures(velmo::TPDFDictionary* Res, int Depth, std::set<const void*>& Seen,
                   bool& SMask) {
    if (!Res || Depth > 8 || !Seen.insert(Res).second) return false;
    bool found = NonEmptyDict(Res, "Shading") || NonEmptyDict(Res, "Pattern");
    if (velmo::TPDFDictionary* states = DictOf(Res->FindValueByKeyName("ExtGState", false)))
        for (int32_t i = 0; i < states->GetCount() && i < 1000; ++i)
            if (velmo::TPDFDictionary* gs = DictOf(states->GetEntry(i).Value))
                if (DictOf(gs->FindValueByKeyName("SMask", false))) found = SMask = true;
    if (velmo::TPDFDictionary* xobjects = DictOf(Res->FindValueByKeyName("XObject", false)))
        for (int32_t i = 0; i < xobjects->GetCount() && i < 1000; ++i) {
            auto* form = velmo::ObjAs<velmo::TPDFStream>(Deref(xobjects->GetEntry(i).Value));
            if (!form || !form->FDictionary) continue;
            velmo::TPDFDictionary* inner =
                DictOf(form->FDictionary->FindValueByKeyName("Resources", false));
            if (DrawsFeatures(inner, Depth + 1, Seen, SMask)) found = true;
        }
    return found;
}

// The page's resources, inherited through at most 32 parents.
velmo::TPDFDictionary* PageResources(velmo::TPDFDictionary* Page) {
    for (int i = 0; Page && i < 32; ++i) {
        if (velmo::TPDFDictionary* r = DictOf(Page->FindValueByKeyName("Resources", false)))
            return r;
        Page = DictOf(Page->FindValueByKeyName("Parent", false));
    }
    return nullptr;
}

// Annotations of the page with an appearance dictionary.
bool HasAppearances(velmo::TPDFDictionary* Page) {
    auto* list = velmo::ObjAs<velmo::TPDFArray>(Deref(Page->FindValueByKeyName("Annots", false)));
    if (!list) return false;
    for (int32_t i = 0; i < list->GetCount() && i < 10000; ++i)
        if (velmo::TPDFDictionary* a = DictOf(list->GetItem(i)))
            if (DictOf(a->FindValueByKeyName("AP", false))) return true;
    return false;
}

}  // namespace

std::string PageKindsOf(velmo::TPDFDocument& doc, int MaxPages) {
    std::string Report;
    if (doc.GetEncrypted() != velmo::peDecrypted) return Report;
    velmo::TPDFPageTree* tree = doc.PageTree();
    if (!tree) return Report;
    velmo::TPDFRenderer renderer(nullptr);
    const int pages = std::min(doc.PageCount(), MaxPages);
    for (int page = 1; page <= pages; ++page) {
        velmo::TPDFDictionary* dict = tree->GetPage(page);
        if (!dict) continue;
        {
            std::set<const void*> seen;
            bool smask = false;
            const bool drawn = DrawsFeatures(PageResources(dict), 0, seen, smask);
            const bool annots = HasAppearances(dict);
            if (drawn || annots) Report += "feature " + std::to_string(page) + "\n";
            if (smask) Report += "smask " + std::to_string(page) + "\n";
            if (annots) Report += "annots " + std::to_string(page) + "\n";
        }
        // Annotations of any form but an empty array count as present.
        if (velmo::TPDFObject* a = dict->FindValueByKeyName("Annots", false)) {
            auto* list = velmo::ObjAs<velmo::TPDFArray>(Deref(a));
            if (!list || list->Count() > 0) continue;
        }
        std::string content;
        try {
            velmo::TPDFObject* c = Deref(dict->FindValueByKeyName("Contents", false));
            if (auto* s = velmo::ObjAs<velmo::TPDFStream>(c)) {
                content = s->GetDecodedStream();
            } else if (auto* a = velmo::ObjAs<velmo::TPDFArray>(c)) {
                for (velmo::TPDFObject* it : a->LiveItems())
                    if (auto* s = velmo::ObjAs<velmo::TPDFStream>(Deref(it))) {
                        content += s->GetDecodedStream();
                        content += ' ';
                    }
            }
        } catch (const std::exception&) {
            continue;  // content that does not decode is judged by no test
        }
        velmo::TPDFRenderer::TContentRun run(renderer);
        run.Text = content;
        bool plain = true, text = false;
        for (std::string_view t = run.NextToken(); !t.empty() && plain; t = run.NextToken()) {
            if (NonTextOperator(t)) plain = false;
            text = text || TextOperator(t);
        }
        if (plain) Report += (text ? "text " : "vector ") + std::to_string(page) + "\n";
    }
    return Report;
}

std::vector<int> PagesOfKind(const std::string& Report, const std::string& Kind) {
    std::vector<int> pages;
    std::istringstream in(Report);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(Kind + " ", 0) == 0) pages.push_back(std::atoi(line.c_str() + Kind.size() + 1));
    return pages;
}

}  // namespace vpltest
