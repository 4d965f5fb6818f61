// The page tree owns a content writer, two font collections and an
// annotation list of subsystems built above this one. The page tree needs only
// their construction, Clear, Source and the few calls below, so it holds them
// through these base classes; the content writer, font and annotation
// libraries derive their full classes from them and install factories here.
// Without installed factories the base classes themselves serve.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/Objects.h"

namespace velmo {

class TPDFPageTree;

using TNotifyEvent = std::function<void(TObject* Sender)>;
// Page number of a page reference; 0 when not found.
using TFindPageEvent = std::function<int32_t(TPDFIndRef* PageRef)>;

// Content writer bound to the selected page's last layer.
class TPDFPainterBase : public TObject {
public:
    explicit TPDFPainterBase(TObject* Parent) : FParent(Parent) {}

    TObject* FParent;
    // Decimal places of the numbers written.
    int32_t PDFPrecNum = 4;
    // Fired after every drawing operation (and by Clear).
    TNotifyEvent OnChange;

    // The content so far, with a line feed appended unless it ends in one.
    virtual std::string GetSource() const;
    // The buffer becomes Value, plus a blank when Value is not empty and does
    // not end in one; does not fire OnChange.
    virtual void SetSource(std::string_view Value);
    // Empties the buffer and resets the drawing state, then fires OnChange.
    virtual void Clear();

protected:
    void Changed() {
        if (OnChange) OnChange(this);
    }
    std::string FContent;
};

// Fonts analysed for rendering or text extraction.
class TPDFFontCollectionBase : public TObject {
public:
    // The collection builds glyph rasterizers while it analyses fonts.
    bool FInstallFonts = false;
};

// Annotation list of the selected page.
class TPDFAnnotsBase : public TObject {
public:
    TFindPageEvent OnFindPage;
    // Binds the list to the page's /Annots array (not owned), dropping what
    // was analysed of the previous one.
    virtual void Attach(TPDFArray* AAnnots) { FAnnots = AAnnots; }
    // Binds it to no array.
    virtual void Clear() { FAnnots = nullptr; }
    TPDFArray* Annots() const { return FAnnots; }

protected:
    TPDFArray* FAnnots = nullptr;
};

// Factories the higher libraries install (once, at start-up).
struct TPDFPageServiceFactories {
    std::function<std::unique_ptr<TPDFPainterBase>(TPDFPageTree* Owner)> NewPainter;
    std::function<std::unique_ptr<TPDFFontCollectionBase>()> NewFontCollection;
    std::function<std::unique_ptr<TPDFAnnotsBase>()> NewAnnots;
};
TPDFPageServiceFactories& PageServiceFactories();

std::unique_ptr<TPDFPainterBase> NewPagePainter(TPDFPageTree* Owner);
std::unique_ptr<TPDFFontCollectionBase> NewPageFontCollection();
std::unique_ptr<TPDFAnnotsBase> NewPageAnnots();

}  // namespace velmo
