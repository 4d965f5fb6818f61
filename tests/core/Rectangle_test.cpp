#include "core/Rectangle.h"

#include <gtest/gtest.h>

#include "core/Structure.h"

namespace velmo {
namespace {

TEST(Rectangle, NormalisedLiveView) {
    TPDFStructure S;
    auto* A = S.NewIntArray({612, 792, 0, 0});
    A->SetChanged(false);
    for (int I = 0; I < 4; ++I) A->GetItem(I)->SetChanged(false);
    TPDFRectangle R(A);
    ASSERT_TRUE(R.IsRectangle());
    EXPECT_EQ(R.Left(), 0);
    EXPECT_EQ(R.Bottom(), 0);
    EXPECT_EQ(R.Right(), 612);
    EXPECT_EQ(R.Top(), 792);
    EXPECT_EQ(R.Width(), 612);
    EXPECT_EQ(R.Height(), 792);
    R.SetLeft(10);
    EXPECT_EQ(A->Output(), "[ 612 792 10 0 ]");  // the third item held 0
    EXPECT_TRUE(A->HasChanged());
    R.SetTop(800);
    EXPECT_EQ(A->Output(), "[ 612 800 10 0 ]");
    const struct {
        TPDFDimension D;
        double Want;
    } Dims[] = {{pdLeft, 10},    {pdTop, 800},   {pdWidth, 602},
                {pdHeight, 800}, {pdRight, 612}, {pdBottom, 0}};
    for (const auto& C : Dims) EXPECT_EQ(R.GetDimension(C.D), C.Want) << int(C.D);
    EXPECT_EQ(R.GetDimension(static_cast<TPDFDimension>(9)), 0);
}

TEST(Rectangle, OnlyFourDirectNumbers) {
    TPDFStructure S;
    for (const char* Text : {"[0 0 612]", "[0 0 612 5 0 R]", "[0 0 612 792 1]", "[0 0 /A 1]"}) {
        TPDFRectangle R(ObjAs<TPDFArray>(S.Decode(Text)));
        EXPECT_FALSE(R.IsRectangle()) << Text;
        EXPECT_EQ(R.Width(), 0);
        R.SetLeft(5);  // does nothing
    }
    TPDFRectangle None(nullptr);
    EXPECT_FALSE(None.IsRectangle());
    TPDFRectangle Ok(ObjAs<TPDFArray>(S.Decode("[0.5 1 2 3]")));
    EXPECT_TRUE(Ok.IsRectangle());
    EXPECT_EQ(Ok.Width(), 1.5);
}

}  // namespace
}  // namespace velmo
