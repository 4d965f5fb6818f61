// Raw scan of a damaged file: every object header ("N G obj") and the last
// trailer dictionary, found by byte patterns alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmo {

class TVPLRawAnalyser {
public:
    TVPLRawAnalyser() = default;

    // Scans Input (the whole file). A second scan appends to the report and
    // replaces the lists.
    void LoadFromStream(std::string_view Input);

    const std::string& Debug() const { return FDebug; }
    int ObjectCount() const { return FObjectCount; }
    const std::string& Trailer() const { return FTrailer; }

    // Values of header Index (0-based); 0 outside 0..ObjectCount-1.
    int GetObjNum(int Index) const;
    int GetGenNum(int Index) const;
    int64_t GetLocation(int Index) const;

private:
    std::string FDebug;
    int FObjectCount = 0;
    std::vector<int> FObjNumList;
    std::vector<int> FGenNumList;
    std::vector<int64_t> FLocationList;
    std::string FTrailer;
};

}  // namespace velmo
