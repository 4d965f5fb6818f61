// The pages the page-render tests judge by kind, shared with the page-render
// benchmark so that both pick the same pages: among pages 1-3 of a loaded
// file, those without annotations whose content (read by the engine's
// content scanner) holds no inline or XObject image, shading, extended state
// or pattern operator. Such a page is a "text" page when its content shows
// text, a "vector" page otherwise.
//
// Nothing here depends on the test framework: the benchmark builds this file
// into its own executable.
#pragma once

#include <string>
#include <vector>

namespace velmo {
class TPDFDocument;
}

namespace vpltest {

// Pages 1..MaxPages are looked at.
constexpr int kPageKindPages = 3;

// One line per selected page, "text <n>" or "vector <n>"; and, for a page
// whose resources (or a form they draw) use shadings, patterns or an
// extended state with a soft-mask dictionary, or that has annotations with
// appearances, "feature <n>" followed by "smask <n>" and "annots <n>" for
// those reasons. Files that stay encrypted in memory give nothing, as their
// content bytes are not plain.
std::string PageKindsOf(velmo::TPDFDocument& Doc, int MaxPages = kPageKindPages);

// The page numbers of the lines of Report (as PageKindsOf writes it) whose
// kind is Kind.
std::vector<int> PagesOfKind(const std::string& Report, const std::string& Kind);

}  // namespace vpltest
