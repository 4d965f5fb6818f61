// Inline images of content streams: BI, a dictionary of abbreviated or full
// keys without brackets, ID, one white-space byte, the raw image bytes and
// EI. The raw bytes carry no length, so their end is found by rules that
// depend on the filter. ParseInlineImage is the one reader of this form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/Objects.h"

namespace velmo {

// One parsed inline image. Text fields are byte strings in the forms the
// image decoder reads back; positions are 1-based byte indexes into the
// content text.
struct TPDFInlineImage {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerComponent = 0;
    // "DeviceGray", "DeviceRGB", "DeviceCMYK", "Indexed", "/DeviceGray" for
    // an image mask, "/DeviceRGB" or a resource's family name for a named
    // space, "[ /Indexed /Base hival (lookup) ]" for a named indexed space,
    // an array's text, or empty.
    std::string ColorSpace;
    // Never filled by the parser.
    TPDFObject* ColorSpaceObj = nullptr;
    // "/FlateDecode" or "[ /ASCII85Decode /FlateDecode ]".
    std::string Filter;
    // Always array text: "[ << /K -1 >> ]" or the array's text.
    std::string DecodeParms;
    std::string ImageData;
    int64_t ImageStart = 0;
    int64_t ImageEnd = 0;
    bool ImageMask = false;
    // "[ 1 0 ]" for an array.
    std::string Decode;
    // Left to the caller.
    int64_t TokPos = 0;
    // When the colour space came from an indexed resource, the lookup bytes
    // as they are (also written into ColorSpace as a literal string): a
    // reader that normalises the colour-space text must not touch these.
    std::string IndexedLookup;
};

// Parses one inline image whose dictionary starts at Pos (1-based, the
// position after the BI token) in Content. True when the image and its end
// were found; Pos is then after the image bytes (at the "E" of EI, or after
// EI for the rules that read it). OnFindObject resolves references met in
// Resources (unassigned: the reference's own look-up); Resources is the
// content's resource dictionary or nil. Never raises.
bool ParseInlineImage(std::string_view Content, int64_t& Pos, TPDFInlineImage& Img,
                      const TPDFFindObjectEvent& OnFindObject, TPDFDictionary* Resources);

// The text form of a byte string as a PDF literal string, "(...)", with "\"
// escapes for backspace, tab, line feed, form feed, carriage return, "(",
// ")" and "\".
std::string InlineLiteralString(std::string_view Bytes);

// The image decoder's normalisation of an inline colour-space text: "/G",
// "/RGB", "/CMYK" and "/I " expanded, then every "/" removed, but only
// before the lookup string of an indexed space, so that palette bytes that
// happen to look like names or slashes are kept.
std::string NormalizeInlineColorSpace(std::string_view Text);

}  // namespace velmo
