// Renders pages of one PDF file to PNG files with the engine's page renderer,
// the way a page-to-PNG render of the page tree does: one renderer over the
// page tree's render fonts, a bitmap render per page, the PNG writer at the
// resolution. bench/render_pages.sh times it against mutool draw.
//   bench_render_pages <file.pdf> <first page> <last page> <dpi> <output folder>
//   bench_render_pages <file.pdf> <page,page,...> <dpi> <output folder>
// writes <output folder>/p<page, 4 digits>.png; exits 0 when every page
// rendered cleanly, 1 when a page reported an error, 2 when the file does
// not load or the arguments are wrong.
//   bench_render_pages --page-kinds <file.pdf>
// prints the kinds of pages 1-3 as the page-render tests select them
// ("text <n>", "vector <n>"; tests/support/PageKinds.h) and exits 0, or 2
// when the file does not load.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/CodecServices.h"
#include "content/Image.h"
#include "core/PNG.h"
#include "document/Document.h"
#include "document/PageServices.h"
#include "document/PageTree.h"
#include "platform/files/WideFile.h"
#include "render/Renderer.h"
#include "tests/support/PageKinds.h"

namespace fs = std::filesystem;

namespace {

// "1,3,5": the pages in that order; empty when an item is not a page number.
std::vector<int> PageList(const std::string& Text) {
    std::vector<int> pages;
    std::istringstream in(Text);
    std::string item;
    while (std::getline(in, item, ',')) {
        const int page = std::atoi(item.c_str());
        if (page < 1) return {};
        pages.push_back(page);
    }
    return pages;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--page-kinds") {
        velmo::InstallContentServices();
        velmo::InstallRendererServices();
        try {
            velmo::TPDFDocument doc;
            if (doc.LoadFromFile(velmo::FileSystemNameToWide(argv[2]), u"") != velmo::lrOkay)
                return 2;
            std::fputs(vpltest::PageKindsOf(doc).c_str(), stdout);
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", argv[2], e.what());
            return 2;
        }
    }
    std::vector<int> pages;
    double dpi = 0;
    const char* out = nullptr;
    if (argc == 6) {
        const int first = std::atoi(argv[2]);
        const int last = std::atoi(argv[3]);
        for (int page = first; first >= 1 && page <= last; ++page) pages.push_back(page);
        dpi = std::atof(argv[4]);
        out = argv[5];
    } else if (argc == 5) {
        pages = PageList(argv[2]);
        dpi = std::atof(argv[3]);
        out = argv[4];
    } else {
        std::fprintf(stderr,
                     "usage: %s <file.pdf> <first page> <last page> <dpi> <output folder>\n"
                     "       %s <file.pdf> <page,page,...> <dpi> <output folder>\n"
                     "       %s --page-kinds <file.pdf>\n",
                     argv[0], argv[0], argv[0]);
        return 2;
    }
    if (pages.empty() || !(dpi > 0)) {
        std::fprintf(stderr, "bad page range or resolution\n");
        return 2;
    }
    velmo::InstallContentServices();
    velmo::InstallRendererServices();
    // Image XObjects and inline images are drawn by the codecs' services.
    velmo::InstallCodecServices();
    try {
        velmo::TPDFDocument doc;
        if (doc.LoadFromFile(velmo::FileSystemNameToWide(argv[1]), u"") != velmo::lrOkay) {
            std::fprintf(stderr, "%s does not load\n", argv[1]);
            return 2;
        }
        velmo::TPDFPageTree* tree = doc.PageTree();
        auto renderer = velmo::NewPageRenderer(tree->RRenderFontCol());
        renderer->FDPI = dpi;
        renderer->FDestination = velmo::rdBitmap;
        int status = 0;
        const int count = doc.PageCount();
        for (const int page : pages) {
            if (page > count) continue;
            renderer->ClearCachedResources();
            renderer->FPageDict = tree->GetPage(page);
            renderer->Render();
            if (!renderer->FErrorDesc.empty()) {
                std::fprintf(stderr, "page %d: %s\n", page, renderer->FErrorDesc.c_str());
                status = 1;
            }
            char name[32];
            std::snprintf(name, sizeof name, "p%04d.png", page);
            velmo::TPNGWriter writer(renderer->FBitmap);
            writer.SetDPI(int(std::lround(dpi)));
            writer.SaveToFile(velmo::FileSystemNameToWide((fs::path(out) / name).string()));
        }
        return status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
        return 2;
    }
}
