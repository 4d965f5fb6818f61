#include "document/PageServices.h"

#include <algorithm>
#include <climits>

#include "document/PageTree.h"

namespace velmo {

std::string TPDFPainterBase::GetSource() const {
    if (!FContent.empty() && FContent.back() == '\n') return FContent;
    return FContent + '\n';
}

void TPDFPainterBase::SetSource(std::string_view Value) {
    FContent.assign(Value);
    if (!FContent.empty() && FContent.back() != ' ') FContent += ' ';
}

void TPDFPainterBase::Clear() {
    FContent.clear();
    Changed();
}

TPDFPageServiceFactories& PageServiceFactories() {
    static TPDFPageServiceFactories factories;
    return factories;
}

std::unique_ptr<TPDFPainterBase> NewPagePainter(TPDFPageTree* Owner) {
    if (const auto& f = PageServiceFactories().NewPainter) return f(Owner);
    return std::make_unique<TPDFPainterBase>(Owner);
}

std::unique_ptr<TPDFFontCollectionBase> NewPageFontCollection() {
    if (const auto& f = PageServiceFactories().NewFontCollection) return f();
    return std::make_unique<TPDFFontCollectionBase>();
}

std::unique_ptr<TPDFAnnotsBase> NewPageAnnots() {
    if (const auto& f = PageServiceFactories().NewAnnots) return f();
    return std::make_unique<TPDFAnnotsBase>();
}

void TPDFRendererBase::Render() { FErrorDesc = "No renderer installed"; }

void TPDFRendererBase::SetCairoTarget(std::u16string_view CairoFileName, HDC Target, bool ErasePage,
                                      int32_t OffsetX, int32_t OffsetY) {
    FCairoFileName.assign(CairoFileName);
    FCairoTarget = Target;
    FCairoErasePage = ErasePage;
    FCairoOffsetX = OffsetX;
    FCairoOffsetY = OffsetY;
}

void TPDFRendererBase::SetKPLRTarget(std::u16string_view KPLRFileName, HDC Target, bool ErasePage,
                                     int32_t OffsetX, int32_t OffsetY) {
    FKPLRFileName.assign(KPLRFileName);
    FKPLRTarget = Target;
    FKPLRErasePage = ErasePage;
    FKPLROffsetX = OffsetX;
    FKPLROffsetY = OffsetY;
}

void TPDFRendererBase::SetKPLRMemoryTarget(std::u16string_view KPLRFileName, void* Target,
                                           int32_t Width, int32_t Height, int32_t BitsPerPixel,
                                           bool ErasePage, int32_t OffsetX, int32_t OffsetY) {
    FKPLRFileName.assign(KPLRFileName);
    FKPLRMemoryTarget = Target;
    FKPLRMemoryWidth = Width;
    FKPLRMemoryHeight = Height;
    FKPLRMemoryBitsPerPixel = BitsPerPixel;
    FKPLRErasePage = ErasePage;
    FKPLROffsetX = OffsetX;
    FKPLROffsetY = OffsetY;
}

void TPDFRendererBase::SetDeviceContextTarget(HDC Target, bool ErasePage, int32_t OffsetX,
                                              int32_t OffsetY) {
    FDeviceContextTarget = Target;
    FDeviceContextErasePage = ErasePage;
    FDeviceContextOffsetX = OffsetX;
    FDeviceContextOffsetY = OffsetY;
}

namespace {
int32_t ClampToInt32(int64_t V) {
    return static_cast<int32_t>(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX));
}
}  // namespace

void TPDFRendererBase::AddToInitialClip(int32_t ClipLeft, int32_t ClipTop, int32_t ClipWidth,
                                        int32_t ClipHeight) {
    TKPLRPrinterBBox Box;
    Box.Left = ClipLeft;
    Box.Top = ClipTop;
    Box.Right = ClampToInt32(int64_t{ClipLeft} + ClipWidth);
    Box.Bottom = ClampToInt32(int64_t{ClipTop} + ClipHeight);
    FClipBBoxArray.push_back(Box);
}

TPDFPageWriterHooks& PageWriterHooks() {
    static TPDFPageWriterHooks hooks;
    return hooks;
}

std::unique_ptr<TPDFRendererBase> NewPageRenderer(TPDFFontCollectionBase* FontCollection) {
    if (const auto& f = PageServiceFactories().NewRenderer) return f(FontCollection);
    return std::make_unique<TPDFRendererBase>(FontCollection);
}

std::unique_ptr<TPDFImageListBase> NewPageImageList() {
    if (const auto& f = PageServiceFactories().NewImageList) return f();
    return std::make_unique<TPDFImageListBase>();
}

std::unique_ptr<TPDFExtractorBase> NewPageExtractor(TPDFDictionary* Resources,
                                                    TPDFFontCollectionBase* FontCol) {
    if (const auto& f = PageServiceFactories().NewExtractor) return f(Resources, FontCol);
    return std::make_unique<TPDFExtractorBase>();
}

std::unique_ptr<TPDFContentStreamTextSplitterBase> NewPageTextSplitter(int32_t Options) {
    if (const auto& f = PageServiceFactories().NewTextSplitter) return f(Options);
    return std::make_unique<TPDFContentStreamTextSplitterBase>();
}

}  // namespace velmo
