#include "forms/TextList.h"

#include <limits>

#include "core/StringHelpers.h"
#include "platform/text/AnsiCodePage.h"

namespace velmo {

const TPDFTextListItem* TPDFTextList::Item(int32_t TextIndex) const {
    if (TextIndex < 1 || static_cast<size_t>(TextIndex) > FTexts.size()) return nullptr;
    return &FTexts[static_cast<size_t>(TextIndex) - 1];
}

int32_t TPDFTextList::TextCount() const {
    constexpr size_t Max = static_cast<size_t>(std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(FTexts.size() < Max ? FTexts.size() : Max);
}

std::u16string TPDFTextList::TextString(int32_t TextIndex) const {
    const TPDFTextListItem* I = Item(TextIndex);
    return I ? I->Text : std::u16string();
}

double TPDFTextList::TextBounds(int32_t TextIndex, int32_t BoundsIndex) const {
    const TPDFTextListItem* I = Item(TextIndex);
    if (!I || BoundsIndex < 1 || BoundsIndex > 8) return -1;
    return I->Bounds[BoundsIndex - 1];
}

std::string TPDFTextList::TextFontName(int32_t TextIndex) const {
    const TPDFTextListItem* I = Item(TextIndex);
    return I ? I->FontName : std::string();
}

double TPDFTextList::TextFontSize(int32_t TextIndex) const {
    const TPDFTextListItem* I = Item(TextIndex);
    return I ? I->FontSize : -1;
}

int32_t TPDFTextList::TextColorType(int32_t TextIndex) const {
    const TPDFTextListItem* I = Item(TextIndex);
    return I ? static_cast<int32_t>(I->Color.Color.size()) : -1;
}

double TPDFTextList::TextColor(int32_t TextIndex, int32_t ColorComponent) const {
    const TPDFTextListItem* I = Item(TextIndex);
    if (!I || ColorComponent < 1 || static_cast<size_t>(ColorComponent) > I->Color.Color.size())
        return -1;
    return I->Color.Color[static_cast<size_t>(ColorComponent) - 1];
}

double TPDFTextList::TextCharWidth(int32_t TextIndex, int32_t Position) const {
    const TPDFTextListItem* I = Item(TextIndex);
    if (!I || I->Text.empty() || Position < 1 || static_cast<size_t>(Position) > I->Text.size() ||
        static_cast<size_t>(Position) > I->Widths.size())
        return -1;
    return I->Widths[static_cast<size_t>(Position) - 1];
}

std::u16string TPDFTextList::TextBlockAsString(int32_t Index, int32_t Origin, double PageWidth,
                                               double PageHeight, double Scale) const {
    const TPDFTextListItem* I = Item(Index);
    if (!I) return {};
    std::string Head;
    Head += "CNT:" + std::to_string(I->Text.size()) + "\r\n";
    std::u16string R = AnsiToWide(Head);
    R += u"FNT:" + AnsiToWide(I->FontName) + u"\r\n";
    R += AnsiToWide("SIZ:" + FormatNumber(I->FontSize, 2) + "\r\n");
    R += u"CLR:" + AnsiToWide(I->Color.HexColor) + u"\r\n";
    std::string Lines;
    for (int n = 0; n < 4; ++n) {
        double X = I->Bounds[2 * n];
        double Y = I->Bounds[2 * n + 1];
        if (Origin == 1 || Origin == 2) Y = PageHeight - Y;
        if (Origin == 2 || Origin == 3) X = PageWidth - X;
        X *= Scale;
        Y *= Scale;
        const std::string N = std::to_string(n + 1);
        Lines += "TX" + N + ":" + FormatNumber(X, 4) + "\r\n";
        Lines += "TY" + N + ":" + FormatNumber(Y, 4) + "\r\n";
    }
    Lines += "WID:";
    for (size_t j = 0; j < I->Widths.size(); ++j) {
        if (j > 0) Lines += ',';
        Lines += FormatNumber(I->Widths[j], 4);
    }
    Lines += "\r\n";
    R += AnsiToWide(Lines);
    R += u"TXT:" + I->Text;
    return R;
}

}  // namespace velmo
