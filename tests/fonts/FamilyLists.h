// Installed font families given by a test: while a TGivenFamilies lives, the
// family lists by character set are the ones it holds (sets it does not name
// are empty); afterwards the platform catalogue answers again.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/Glyphs.h"

namespace velmo {

class TGivenFamilies {
public:
    explicit TGivenFamilies(std::map<int, std::vector<std::string>> Lists) {
        SetFontFamilySource([Lists = std::move(Lists)](int CharSet) {
            auto It = Lists.find(CharSet);
            return It == Lists.end() ? std::vector<std::string>() : It->second;
        });
    }
    ~TGivenFamilies() { SetFontFamilySource(nullptr); }
    TGivenFamilies(const TGivenFamilies&) = delete;
    TGivenFamilies& operator=(const TGivenFamilies&) = delete;
};

}  // namespace velmo
