// Our page renders for the page-comparing render tests: a page of a loaded
// document drawn through the page tree's file entry point (PNG) with the
// document's view state of optional content, read back as an RGB raster.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "document/Document.h"
#include "document/PageTree.h"
#include "tests/support/RenderSupport.h"
#include "tests/support/TestSupport.h"

namespace vpltest {

// Renders page Page (1-based) of Doc at DPI into Out. True whenever a PNG
// came out; Error then holds the renderer's error text (empty after a clean
// render). False with the reason when no readable image was written.
inline bool RenderLoadedPageToPng(velmo::TPDFDocument& Doc, int Page, int DPI, TRgbRaster& Out,
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

// As above for a file: loaded with the empty password.
inline bool RenderFilePageToPng(const std::filesystem::path& File, int Page, int DPI,
                                TRgbRaster& Out, std::string& Error) {
    velmo::TPDFDocument doc;
    const velmo::TVPLLoadResult loaded = doc.LoadFromFile(File.u16string(), u"");
    if (loaded != velmo::lrOkay) {
        Out = TRgbRaster();
        Error = loaded == velmo::lrWrongPassword ? "needs a password" : "does not load";
        return false;
    }
    return RenderLoadedPageToPng(doc, Page, DPI, Out, Error);
}

}  // namespace vpltest
