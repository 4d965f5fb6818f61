// The small stream codecs of the filter chain (RunLength, ASCIIHex) and the
// chain itself over a stream's dictionary.
#pragma once

#include <string>
#include <string_view>

namespace velmo {

// RunLengthDecode: a length byte n < 128 copies n + 1 bytes, 128 ends the
// data, n > 128 repeats the next byte 257 - n times.
std::string DecodeRunLength(std::string_view data);

// ASCIIHexDecode up to the '>' end mark: every letter and digit counts
// (other bytes are dropped), an odd count gets a trailing '0', and a pair
// that is not hexadecimal gives 00.
std::string DecodeASCIIHex(std::string_view data);

}  // namespace velmo
