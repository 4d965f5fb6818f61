// The fixture of the Gdiplus test suite, shared by every file that adds
// tests to it: the library is started for each test and shut down after,
// and no cairo context may have entered an error state meanwhile.
#pragma once

#include <gtest/gtest.h>

#include "platform/gdiplus/GraphicsCore.h"

class Gdiplus : public ::testing::Test {
protected:
    void SetUp() override {
        velmo::GdiplusStartupInput In;
        ASSERT_EQ(velmo::gdiplus::GdiplusStartup(&Token, &In, nullptr), velmo::gsOk);
    }
    void TearDown() override {
        EXPECT_EQ(velmo::gdiplus::CairoFaults(), 0);
        velmo::gdiplus::GdiplusShutdown(Token);
    }
    velmo::GpULONG_PTR Token = 0;
};
