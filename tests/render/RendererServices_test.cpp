// Installing the renderer also gives pages collections that analyse fonts.
#include <gtest/gtest.h>

#include "document/PageServices.h"
#include "fonts/FontCollection.h"
#include "render/Renderer.h"

namespace velmo {
namespace {

TEST(RendererServices, PagesGetRenderersAndFontCollections) {
    const TPDFPageServiceFactories saved = PageServiceFactories();
    PageServiceFactories().NewRenderer = nullptr;
    PageServiceFactories().NewFontCollection = nullptr;
    InstallRendererServices();
    auto fonts = NewPageFontCollection();
    EXPECT_NE(dynamic_cast<TPDFFontCollection*>(fonts.get()), nullptr);
    auto renderer = NewPageRenderer(fonts.get());
    EXPECT_NE(dynamic_cast<TPDFRenderer*>(renderer.get()), nullptr);
    EXPECT_EQ(renderer->FFontCol, fonts.get());
    renderer.reset();
    PageServiceFactories() = saved;
}

TEST(RendererServices, RenderTellsTheFontsAboutThePass) {
    TPDFFontCollection fonts;
    TPDFRenderer r(&fonts);
    const struct {
        TPDFRenderDest Dest;
        bool Direct;
        bool Funnel, DirectAfter;
    } passes[] = {
        {rdTextFunnel, false, true, false},
        {rdBitmap, true, false, true},
        {rdBitmap, false, false, true},  // the renderer never clears it
    };
    for (const auto& p : passes) {
        r.FDestination = p.Dest;
        r.GDIPlusSettings().DirectFonts = p.Direct;
        r.Render();
        EXPECT_EQ(fonts.FUsingTextFunnel, p.Funnel);
        EXPECT_EQ(fonts.FDirectFonts, p.DirectAfter);
    }
}

}  // namespace
}  // namespace velmo
