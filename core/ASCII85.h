// ASCII85 decoding (the ASCII85Decode filter) and encoding.
#pragma once

#include <string>
#include <string_view>

#include "platform/files/Stream.h"

namespace velmo {

// Decodes ASCII85 text up to its "~>" end mark (the first '~'). Whitespace
// and bytes outside the alphabet are dropped; 'z' stands for four zero bytes.
// Text without an end mark is decoded to its end.
std::string DecodeASCII85(std::string_view data);

// Encodes `text` as ASCII85 in lines of a little over 70 characters (CR LF),
// ending with "~>"; no "<~" is written. 'z' is written only for a whole
// group of four zero bytes.
std::string EncodeASCII85(std::string_view text);
// The same from the whole of Source (read from position 0), written to Dest at
// its position.
void EncodeASCII85Stream(TStream& Source, TStream& Dest);

}  // namespace velmo
