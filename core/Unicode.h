// Strict, option-driven transcoders between UTF-8 byte strings, UTF-16 in
// either byte order and UCS-2, and the everyday wrappers built on them.
// Nothing here depends on a code page.
#pragma once

#include <string>
#include <string_view>

namespace velmo {

// Form of a UTF-16 text. A wide string holds its units in memory order; the
// big-endian forms exchange the two bytes of every unit as it is read or
// written. The UCS-2 forms treat every surrogate unit as invalid.
enum class TUTF16Form : int {
    None = 0,  // nothing is converted; the transcoder answers false
    UTF16LE = 1,
    UTF16BE = 2,
    UCS2LE = 3,
    UCS2BE = 4,
};

// What happens to a byte-order mark (U+FEFF).
enum class TBOMMode : int {
    Keep = 0,   // copied like any character
    Drop = 1,   // dropped while nothing has been written yet
    Write = 2,  // the target's mark is written first; U+FEFF of the text is then copied
};

// What happens to an invalid sequence.
enum class TInvalidMode : int {
    Fail = 0,     // stop, answer false, keep only a written byte-order mark
    Stop = 1,     // stop, answer false, keep what was converted before
    Skip = 2,     // leave the sequence out
    Replace = 3,  // write U+FFFD
    Pass = 4,     // write the decoded value unchanged
};

// Each transcoder answers true unless a form is None, NoConvert is set, or an
// invalid sequence was met in the Fail or Stop mode.
bool UTF8ToUTF16(std::string_view Data, std::u16string& Dest, bool NoConvert, TUTF16Form Target,
                 TBOMMode BOM, TInvalidMode Invalid);
bool UTF16ToUTF16(std::u16string_view Text, std::u16string& Dest, TUTF16Form Source,
                  TUTF16Form Target, TBOMMode BOM, TInvalidMode Invalid);
bool UTF16ToUTF8(std::u16string_view Text, std::string& Dest, TUTF16Form Source, TBOMMode BOM,
                 TInvalidMode Invalid, bool NoConvert);

// UTF-8 to UTF-16: a leading mark is dropped, invalid sequences become U+FFFD.
std::u16string UTF8ToWide(std::string_view S);
// The same with invalid sequences left out.
std::u16string UTF8ToWideSkipInvalid(std::string_view S);
// True when S is well-formed UTF-8 of valid characters (U+FFFD counts as invalid).
bool IsValidUTF8(std::string_view S);
// UTF-16 (a length-tagged string is unwrapped first) to UTF-8 without a mark;
// a leading U+FEFF is dropped, lone surrogates become U+FFFD.
std::string WideToUTF8(std::u16string_view W);
// Bytes that begin FE FF are UTF-16 big-endian text, anything else UTF-8.
std::u16string UnicodeBytesToWide(std::string_view S);

}  // namespace velmo
