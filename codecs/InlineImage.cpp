#include "codecs/InlineImage.h"

namespace velmo {

std::string InlineLiteralString(std::string_view Bytes) {
    std::string S = "(";
    for (char C : Bytes) {
        switch (C) {
            case '\b':
                S += "\\b";
                break;
            case '\t':
                S += "\\t";
                break;
            case '\n':
                S += "\\n";
                break;
            case '\f':
                S += "\\f";
                break;
            case '\r':
                S += "\\r";
                break;
            case '(':
                S += "\\(";
                break;
            case ')':
                S += "\\)";
                break;
            case '\\':
                S += "\\\\";
                break;
            default:
                S += C;
        }
    }
    S += ')';
    return S;
}

bool ParseInlineImage(std::string_view, int64_t& Pos, TPDFInlineImage& Img,
                      const TPDFFindObjectEvent&, TPDFDictionary*) {
    (void)Pos;
    Img = TPDFInlineImage{};
    return false;
}

}  // namespace velmo
