// Renders pages of one PDF file to PNG files with the engine's page renderer,
// the way a page-to-PNG render of the page tree does: one renderer over the
// page tree's render fonts, a bitmap render per page, the PNG writer at the
// resolution. bench/render_pages.sh times it against mutool draw.
//   bench_render_pages <file.pdf> <first page> <last page> <dpi> <output folder>
// writes <output folder>/p<page, 4 digits>.png; exits 0 when every page
// rendered cleanly, 1 when a page reported an error, 2 when the file does
// not load or the arguments are wrong.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "codecs/CodecServices.h"
#include "content/Image.h"
#include "core/PNG.h"
#include "document/Document.h"
#include "document/PageServices.h"
#include "document/PageTree.h"
#include "platform/files/WideFile.h"
#include "render/Renderer.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: %s <file.pdf> <first page> <last page> <dpi> <output folder>\n",
                     argv[0]);
        return 2;
    }
    const int first = std::atoi(argv[2]);
    const int last = std::atoi(argv[3]);
    const double dpi = std::atof(argv[4]);
    if (first < 1 || last < first || !(dpi > 0)) {
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
        for (int page = first; page <= last && page <= count; ++page) {
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
            writer.SaveToFile(velmo::FileSystemNameToWide((fs::path(argv[5]) / name).string()));
        }
        return status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
        return 2;
    }
}
