#include "document/RawAnalyser.h"

#include <cstring>

#include "document/ByteScan.h"

namespace velmo {

using bytescan::IsDigit;
using bytescan::IsWhite;

namespace {

// Tests the candidate "o" at P: the window ends just after "obj" and must be
// read in full; the header is "<ws> digits <ws> digits <ws> obj". On success
// gives the offsets of the object number's and the generation's digits.
bool MatchHeader(std::string_view D, size_t P, size_t& NumBegin, size_t& NumEnd,
                 size_t& GenBegin, size_t& GenEnd) {
    if (P + 3 > D.size()) return false;
    const size_t ws = P >= 47 ? P - 47 : 0;  // first byte of the window
    if (D[P + 1] != 'b' || D[P + 2] != 'j') return false;
    // Moving backwards; a byte below the window start never matches.
    auto at = [&](size_t i) { return static_cast<unsigned char>(D[i]); };
    if (P == ws) return false;
    size_t i = P - 1;
    if (!IsWhite(at(i))) return false;
    while (i > ws && IsWhite(at(i))) --i;
    if (!IsDigit(at(i))) return false;
    GenEnd = i + 1;
    while (i > ws && IsDigit(at(i))) --i;
    if (IsDigit(at(i))) return false;  // reached the window start inside the digits
    GenBegin = i + 1;
    if (!IsWhite(at(i))) return false;
    while (i > ws && IsWhite(at(i))) --i;
    if (!IsDigit(at(i))) return false;
    NumEnd = i + 1;
    while (i > ws && IsDigit(at(i))) --i;
    if (IsDigit(at(i))) return false;  // a number starting at the window start
    NumBegin = i + 1;
    return IsWhite(at(i));
}

}  // namespace

void TVPLRawAnalyser::LoadFromStream(std::string_view D) {
    FObjNumList.clear();
    FGenNumList.clear();
    FLocationList.clear();
    FObjectCount = 0;
    FTrailer.clear();

    int64_t candidates = 0;
    for (const char* p = D.data(), *e = D.data() + D.size();
         (p = static_cast<const char*>(std::memchr(p, 'o', static_cast<size_t>(e - p)))) != nullptr;
         ++p)
        ++candidates;
    FDebug += std::to_string(candidates) + " \"o\" characters in the file\r\n";

    size_t from = 0;
    while (from < D.size()) {
        const void* hit = std::memchr(D.data() + from, 'o', D.size() - from);
        if (!hit) break;
        const size_t P = static_cast<size_t>(static_cast<const char*>(hit) - D.data());
        from = P + 1;
        size_t nb, ne, gb, ge;
        if (!MatchHeader(D, P, nb, ne, gb, ge)) continue;
        const int num = bytescan::ToInt32Def(D.substr(nb, ne - nb), 0);
        const int gen = bytescan::ToInt32Def(D.substr(gb, ge - gb), 0);
        FObjNumList.push_back(num);
        FGenNumList.push_back(gen);
        FLocationList.push_back(static_cast<int64_t>(nb));
        ++FObjectCount;
        FDebug += "Object (" + std::to_string(num) + " " + std::to_string(gen) + " obj) found at " +
                  std::to_string(nb) + "\r\n";
    }

    // The last "trailer" of the file, then its dictionary up to the first ">>".
    const size_t t = D.rfind("trailer");
    if (t != std::string_view::npos) {
        size_t q = t + 7;
        size_t open = std::string_view::npos;
        for (; q + 2 <= D.size(); ++q) {
            if (D[q] == '<' && D[q + 1] == '<') {
                open = q;
                break;
            }
        }
        if (open != std::string_view::npos) {
            const std::string_view block = bytescan::Slice(D, static_cast<int64_t>(open), 2048);
            const size_t close = block.find(">>");
            if (close != std::string_view::npos) FTrailer.assign(block.substr(0, close + 2));
        }
    }
    FDebug += std::to_string(FObjectCount) + " \"obj\" tokens in the file\r\n";
}

int TVPLRawAnalyser::GetObjNum(int Index) const {
    return Index >= 0 && Index < FObjectCount ? FObjNumList[static_cast<size_t>(Index)] : 0;
}
int TVPLRawAnalyser::GetGenNum(int Index) const {
    return Index >= 0 && Index < FObjectCount ? FGenNumList[static_cast<size_t>(Index)] : 0;
}
int64_t TVPLRawAnalyser::GetLocation(int Index) const {
    return Index >= 0 && Index < FObjectCount ? FLocationList[static_cast<size_t>(Index)] : 0;
}

}  // namespace velmo
