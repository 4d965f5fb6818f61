// Our page renders for the render tests: through the renderer the page tree
// uses, read back as an RGB raster.
#include <cstdio>
#include <exception>

#include "codecs/CodecServices.h"
#include "document/Document.h"
#include "document/PageServices.h"
#include "document/PageTree.h"
#include "platform/gdi/Bitmap.h"
#include "render/Renderer.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace vpltest {

std::string MinimalPdf(const std::vector<std::string>& PageContents, double Width, double Height) {
    const size_t n = PageContents.size();
    // Objects: 1 catalog, 2 pages, then a page and its content per page.
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
    std::string kids;
    char box[96];
    std::snprintf(box, sizeof box, "[0 0 %g %g]", Width, Height);
    for (size_t i = 0; i < n; ++i) {
        const size_t pageObj = 3 + 2 * i;
        kids += std::to_string(pageObj) + " 0 R ";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox " + std::string(box) +
                          " /Contents " + std::to_string(pageObj + 1) + " 0 R >>");
        objects.push_back("<< /Length " + std::to_string(PageContents[i].size()) + " >>\nstream\n" +
                          PageContents[i] + "\nendstream");
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) + " >>";
    return PdfFromObjects(objects, "1.4");
}

std::string OnePagePdf(const std::string& PageKeys, const std::string& Resources,
                       const std::string& Content, const std::vector<std::string>& Objects,
                       const std::string& CatalogKeys) {
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R " + CatalogKeys + " >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R " + PageKeys + " /Resources << " + Resources +
            " >> /Contents 4 0 R >>",
        "<< /Length " + std::to_string(Content.size()) + " >>\nstream\n" + Content + "\nendstream"};
    for (const std::string& o : Objects) objects.push_back(o);
    return PdfFromObjects(objects, "1.5");
}

bool RenderPageToRaster(const std::filesystem::path& File, int Page, double DPI, TRgbRaster& Out,
                        std::string& Error) {
    Out = TRgbRaster();
    Error.clear();
    try {
        velmo::TPDFDocument doc;
        const velmo::TVPLLoadResult loaded = doc.LoadFromFile(File.u16string(), u"");
        if (loaded != velmo::lrOkay) {
            Error = loaded == velmo::lrWrongPassword ? "needs a password" : "does not load";
            return false;
        }
        velmo::TPDFPageTree* tree = doc.PageTree();
        velmo::TPDFDictionary* pageDict =
            tree && Page >= 1 && Page <= doc.PageCount() ? tree->GetPage(Page) : nullptr;
        if (!pageDict) {
            Error = "no page " + std::to_string(Page);
            return false;
        }
        std::unique_ptr<velmo::TPDFRendererBase> renderer =
            velmo::NewPageRenderer(tree->RRenderFontCol());
        renderer->FDPI = DPI;
        // Groups the default configuration turns off stay hidden, as in the
        // page-file entry points, so every render of a page agrees.
        renderer->FOCGStateList = doc.GetViewOCGList();
        renderer->FDestination = velmo::rdBitmap;
        renderer->FPageDict = pageDict;
        renderer->Render();
        Error = renderer->FErrorDesc;
        if (renderer->FBitmap.Empty()) {
            if (Error.empty()) Error = "the renderer drew no bitmap";
            return false;
        }
        Out = RasterFromBitmap(renderer->FBitmap);
        return true;
    } catch (const std::exception& e) {
        Error = std::string("exception: ") + e.what();
        return false;
    }
}

bool RenderLoadedPageToPng(velmo::TPDFDocument& Doc, int Page, int DPI, TRgbRaster& Out,
                           std::string& Error) {
    Out = TRgbRaster();
    Error.clear();
    velmo::TPDFPageTree* tree = Doc.PageTree();
    if (!tree || Page < 1 || Page > Doc.PageCount()) {
        Error = "no page " + std::to_string(Page);
        return false;
    }
    TempDir tmp;
    std::string renderError;
    const std::u16string name = (tmp.path() / "page-%p.png").u16string();
    if (!tree->RenderPageToFile(DPI, Page, Page, 5, 80, name, nullptr, false, 0, renderError,
                                Doc.GetViewOCGList())) {
        Error = renderError.empty() ? "RenderPageToFile failed" : renderError;
        return false;
    }
    // The page number goes into the name: take the one PNG written.
    std::filesystem::path written;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(tmp.path(), ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        if (it->path().extension() == ".png") written = it->path();
    std::string readError;
    if (written.empty() || !ReadPngRaster(written, Out, &readError)) {
        Error = renderError.empty() ? "no readable PNG written" : renderError;
        if (!readError.empty()) Error += " (" + readError + ")";
        return false;
    }
    Error = renderError;
    return true;
}

bool RenderFilePageToPng(const std::filesystem::path& File, int Page, int DPI, TRgbRaster& Out,
                         std::string& Error) {
    velmo::TPDFDocument doc;
    const velmo::TVPLLoadResult loaded = doc.LoadFromFile(File.u16string(), u"");
    if (loaded != velmo::lrOkay) {
        Out = TRgbRaster();
        Error = loaded == velmo::lrWrongPassword ? "needs a password" : "does not load";
        return false;
    }
    return RenderLoadedPageToPng(doc, Page, DPI, Out, Error);
}

void InstallPageRenderServices() {
    velmo::InstallRendererServices();
    velmo::InstallCodecServices();
}

}  // namespace vpltest
