// The process-wide cache of parsed installed faces: one parsed face per file
// state, shared by every rasterizer, parsed anew when the file changes.
#include "fonts/InstalledFaceCache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

#include "fonts/PlatformOutlines.h"
#include "fonts/TrueTypeRasterizer.h"
#include "tests/fonts/SfntWriter.h"

namespace velmo {
namespace {

using namespace velmo::test;

// A glyf font of Count square glyphs.
std::string SquaresFont(int Count) {
    TTestFont F;
    for (int K = 0; K < Count; ++K)
        F.Glyphs.push_back(SimpleGlyph({{{K, 0}, {K + 10, 0}, {K + 10, 10}, {K, 10}}}));
    F.Advances = {500};
    return F.Build();
}

class TTempFile {
public:
    TTempFile() {
        char Name[] = "/tmp/vpl-face-XXXXXX";
        const int Fd = ::mkstemp(Name);
        if (Fd >= 0) ::close(Fd);
        Path = Name;
    }
    ~TTempFile() { std::remove(Path.c_str()); }
    // Writes Bytes and stamps the file with modification time Seconds.
    void Write(const std::string& Bytes, time_t Seconds) const {
        std::ofstream(Path, std::ios::binary | std::ios::trunc) << Bytes;
        const timespec Times[2] = {{Seconds, 0}, {Seconds, 0}};
        ::utimensat(AT_FDCWD, Path.c_str(), Times, 0);
    }
    std::string Path;
};

// An installed font over a file of our own, served by the face cache.
class TFileInstalledFont : public TPDFInstalledFont {
public:
    explicit TFileInstalledFont(std::string File) : FFile(std::move(File)) {}
    uint32_t CollectionSize() override { return 0; }
    uint32_t FaceDataSize() override {
        auto D = FaceData();
        return D ? uint32_t(D->size()) : 0;
    }
    std::shared_ptr<const std::string> FaceData() override {
        return platform::GetFaceData(FFile, 0);
    }
    std::shared_ptr<const TPDFTrueTypeParser> ParsedFace(uint32_t TableOffset) override {
        return InstalledFace(FFile, 0, TableOffset);
    }
    void SetName(const std::u16string&) override {}

private:
    std::string FFile;
};

TEST(InstalledFaceCache, OneParsedFacePerFileStateParsedAnewWhenTheFileChanges) {
    TTempFile F;
    F.Write(SquaresFont(5), 1000000);
    const auto A = InstalledFace(F.Path, 0, 0);
    ASSERT_TRUE(A);
    EXPECT_EQ(A->GlyphCount(), 5);
    EXPECT_EQ(InstalledFace(F.Path, 0, 0), A);
    // Another table offset is another parse of the same bytes.
    const auto Shifted = InstalledFace(F.Path, 0, 12);
    ASSERT_TRUE(Shifted);
    EXPECT_NE(Shifted, A);
    EXPECT_EQ(Shifted->TableOffset, 12u);

    // Same size, other glyphs, other modification time: a new face; the old
    // one stays whole for those still holding it.
    F.Write(SquaresFont(5), 2000000);
    const auto B = InstalledFace(F.Path, 0, 0);
    ASSERT_TRUE(B);
    EXPECT_NE(B, A);
    EXPECT_EQ(InstalledFace(F.Path, 0, 0), B);
    F.Write(SquaresFont(7), 3000000);
    const auto C = InstalledFace(F.Path, 0, 0);
    ASSERT_TRUE(C);
    EXPECT_EQ(C->GlyphCount(), 7);
    EXPECT_EQ(A->GlyphCount(), 5);
    EXPECT_EQ(A->GetGlyphData(4).Points.size(), 4u);
}

TEST(InstalledFaceCache, FilesWithoutTheFaceGiveNone) {
    TTempFile F;
    F.Write("not a font at all", 1000000);
    EXPECT_FALSE(InstalledFace(F.Path, 0, 0));
    F.Write(SquaresFont(3), 1000001);
    EXPECT_FALSE(InstalledFace(F.Path, 1, 0)) << "a single font has only face 0";
    EXPECT_FALSE(InstalledFace(F.Path, -1, 0));
    EXPECT_FALSE(InstalledFace(F.Path + ".missing", 0, 0));
    EXPECT_FALSE(InstalledFace("/tmp", 0, 0));
}

TEST(InstalledFaceCache, ThreadsLoadingOneFaceShareOneParse) {
    TTempFile F;
    F.Write(SquaresFont(40), 1000000);
    std::vector<std::shared_ptr<const TPDFTrueTypeParser>> Got(8);
    std::vector<std::thread> Threads;
    for (size_t K = 0; K < Got.size(); ++K)
        Threads.emplace_back([&, K] { Got[K] = InstalledFace(F.Path, 0, 0); });
    for (auto& T : Threads) T.join();
    ASSERT_TRUE(Got[0]);
    for (const auto& P : Got) EXPECT_EQ(P, Got[0]);
}

TEST(InstalledFaceCache, RasterizersShareTheFaceAndWriteOnlyTheirOwnCopy) {
    TTempFile F;
    F.Write(SquaresFont(6), 1000000);
    TPDFTrueTypeRasterizer2 R1, R2;
    R1.SetFont(std::make_unique<TFileInstalledFont>(F.Path));
    R2.SetFont(std::make_unique<TFileInstalledFont>(F.Path));
    R1.LoadFromFont();
    R2.LoadFromFont();
    const TPDFTrueTypeParser& P1 = std::as_const(R1).Parser();
    ASSERT_EQ(P1.GlyphCount(), 6);
    EXPECT_EQ(&P1, &std::as_const(R2).Parser());
    EXPECT_EQ(&P1, InstalledFace(F.Path, 0, 0).get());
    ASSERT_TRUE(R1.GlyphShape(5));
    EXPECT_EQ(R1.GlyphShape(5), R1.GlyphShape(5));

    // Writing through one rasterizer leaves the shared face alone.
    R2.Parser().LoadFromString(SquaresFont(2));
    EXPECT_EQ(std::as_const(R2).Parser().GlyphCount(), 2);
    EXPECT_EQ(InstalledFace(F.Path, 0, 0)->GlyphCount(), 6);
    EXPECT_EQ(std::as_const(R1).Parser().GlyphCount(), 6);

    // A changed file gives later loads a new face.
    F.Write(SquaresFont(9), 2000000);
    R2.LoadFromFont();
    EXPECT_EQ(std::as_const(R2).Parser().GlyphCount(), 9);
    EXPECT_NE(&std::as_const(R2).Parser(), &P1);
}

TEST(InstalledFaceCache, InstalledFontsShareOneParsedFace) {
    platform::TPlatformFont Font;
    Font.Family = "Liberation Sans";
    TPDFTrueTypeRasterizer2 R1, R2;
    R1.SetFont(std::make_unique<TPDFPlatformInstalledFont>(Font));
    R2.SetFont(std::make_unique<TPDFPlatformInstalledFont>(Font));
    R1.LoadFromFont();
    if (std::as_const(R1).Parser().GlyphCount() == 0)
        GTEST_SKIP() << "Liberation Sans is not installed";
    R2.LoadFromFont();
    EXPECT_EQ(&std::as_const(R1).Parser(), &std::as_const(R2).Parser());
}

}  // namespace
}  // namespace velmo
