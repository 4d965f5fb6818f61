// Every input kept for a fuzz target (the inputs that once made it crash,
// hang or allocate without bound, under tests/data/fuzz/<target>/, and its
// seeds) goes through the target's work again in this build, so a regression
// shows under the sanitizers without clang.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzTargets.h"
#include "tests/support/TestSupport.h"

namespace velmo::fuzz {

// Test listings show the target's name, not the bytes of the record.
void PrintTo(const TFuzzTarget& T, std::ostream* Os) { *Os << T.Name; }

namespace {

namespace fs = std::filesystem;

using TTarget = TFuzzTarget;


template <TFuzzFilter K>
void FilterOf(std::string_view Data) {
    Filter(K, Data);
}

const TTarget kTargets[] = {
    {"object_parser", ObjectParser},
    {"document_load", DocumentLoad},
    {"flate", FilterOf<ffFlate>},
    {"lzw", FilterOf<ffLZW>},
    {"ascii85", FilterOf<ffASCII85>},
    {"asciihex", FilterOf<ffASCIIHex>},
    {"runlength", FilterOf<ffRunLength>},
    {"png", PNGReader},
    {"cmap", CMapParser},
    {"xmp", XMPReader},
    {"image_header", ImageHeader},
    {"pdf_functions", PDFFunctions},
    {"truetype_parser", TrueTypeParser},
    {"gdiplus_images", GdiplusImages},
};

// The targets listed above and those that registered themselves.
std::vector<TTarget> AllTargets() {
    std::vector<TTarget> All(std::begin(kTargets), std::end(kTargets));
    for (const TTarget& T : RegisteredTargets()) All.push_back(T);
    return All;
}

std::vector<fs::path> KeptInputs(const std::string& Name, const char* Folder) {
    std::vector<fs::path> Files;
    const fs::path Dir = fs::path(VPL_SOURCE_DIR) / Folder / Name;
    std::error_code Ec;
    for (auto It = fs::directory_iterator(Dir, Ec); !Ec && It != fs::end(It); It.increment(Ec))
        if (It->is_regular_file(Ec)) Files.push_back(It->path());
    std::sort(Files.begin(), Files.end());
    return Files;
}

class FuzzReplay : public testing::TestWithParam<TTarget> {};

TEST_P(FuzzReplay, KeptInputsRunCleanAndQuickly) {
    const TTarget& T = GetParam();
    int Count = 0;
    for (const char* Folder : {"tests/data/fuzz", "tests/fuzz/seeds"}) {
        for (const fs::path& File : KeptInputs(T.Name, Folder)) {
            SCOPED_TRACE(File.string());
            std::ifstream In(File, std::ios::binary);
            const std::string Data{std::istreambuf_iterator<char>(In), {}};
            const double Start = vpltest::ThreadSeconds();
            T.Run(Data);
            // A kept hang must stay fixed: the fuzz runs allow 10 s an input,
            // the sanitizer build here is slower but not by this much.
            EXPECT_LT(vpltest::ThreadSeconds() - Start, 20);
            ++Count;
        }
    }
    EXPECT_GT(Count, 0) << "no seeds or fixtures for " << T.Name;
}

INSTANTIATE_TEST_SUITE_P(fuzz, FuzzReplay, testing::ValuesIn(AllTargets()),
                         [](const testing::TestParamInfo<TTarget>& I) {
                             return std::string(I.param.Name);
                         });

}  // namespace
}  // namespace velmo::fuzz
