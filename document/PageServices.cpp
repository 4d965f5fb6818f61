#include "document/PageServices.h"

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

}  // namespace velmo
