// Icons: creation, read-back, drawing through the mask or alpha, scaled
// copies, dead handles, the window's icon slots; icons in image lists.
#include <gtest/gtest.h>

#include "platform/ui/Icons.h"
#include "platform/ui/ImageLists.h"
#include "tests/platform/WindowFixture.h"

namespace velmo::uitest {
namespace {

// A 2 × 2 icon: top-left red opaque, top-right transparent, bottom-left
// inverting (mask set, image white), bottom-right blue opaque.
HICON TwoByTwo() {
    TBitmap Colour(2, 2, pf24bit), Mask(2, 2, pf1bit);
    Colour.SetPixel(0, 0, 0x0000FF);
    Colour.SetPixel(0, 1, 0xFFFFFF);
    Colour.SetPixel(1, 1, 0xFF0000);
    Mask.SetPixel(1, 0, 0xFFFFFF);
    Mask.SetPixel(0, 1, 0xFFFFFF);
    ICONINFO Info;
    Info.hbmColor = CreateBitmapObject(Colour);
    Info.hbmMask = CreateBitmapObject(Mask);
    HICON Icon = CreateIconIndirect(&Info);
    DeleteObject(Info.hbmColor);
    DeleteObject(Info.hbmMask);
    return Icon;
}

struct TCanvas {
    TBitmap Pixels;
    HDC Dc;
    HBITMAP Object;
    HGDIOBJ Old;
    TCanvas(int W, int H, COLORREF Fill) : Pixels(W, H, pf32bit) {
        for (int Y = 0; Y < H; ++Y)
            for (int X = 0; X < W; ++X) Pixels.SetPixel(X, Y, TColor(Fill));
        Dc = CreateCompatibleDC(nullptr);
        Object = AttachBitmapObject(Pixels);
        Old = SelectObject(Dc, Object);
    }
    ~TCanvas() {
        SelectObject(Dc, Old);
        DeleteDC(Dc);
        DetachBitmapObject(Object);
    }
    COLORREF At(int X, int Y) const { return COLORREF(Pixels.GetPixel(X, Y)); }
};

TEST(Icons, DrawMaskImageAlphaAndScale) {
    HICON Icon = TwoByTwo();
    ASSERT_NE(Icon, nullptr);
    const COLORREF Grey = 0x606060;
    struct TCase {
        UINT Flags;
        COLORREF Want[4];  // (0,0) (1,0) (0,1) (1,1)
    };
    const TCase Cases[] = {
        {DI_NORMAL, {0x0000FF, Grey, Grey ^ 0xFFFFFF, 0xFF0000}},
        {DI_MASK, {0, Grey, Grey, 0}},
        {DI_IMAGE, {0x0000FF, 0, 0xFFFFFF, 0xFF0000}},
    };
    for (const TCase& C : Cases) {
        TCanvas T(4, 4, Grey);
        ASSERT_TRUE(DrawIconEx(T.Dc, 1, 1, Icon, 0, 0, 0, nullptr, C.Flags));
        EXPECT_EQ(T.At(1, 1), C.Want[0]) << C.Flags;
        EXPECT_EQ(T.At(2, 1), C.Want[1]) << C.Flags;
        EXPECT_EQ(T.At(1, 2), C.Want[2]) << C.Flags;
        EXPECT_EQ(T.At(2, 2), C.Want[3]) << C.Flags;
        EXPECT_EQ(T.At(0, 0), Grey);
        EXPECT_EQ(T.At(3, 3), Grey);
    }

    // A scaled copy keeps every quarter's meaning; the original stays.
    HICON Big = static_cast<HICON>(CopyImage(Icon, IMAGE_ICON, 4, 4, LR_COPYFROMRESOURCE));
    ASSERT_NE(Big, nullptr);
    ICONINFO Info;
    ASSERT_TRUE(GetIconInfo(Big, &Info));
    TBitmap Colour, Mask;
    ASSERT_TRUE(GetBitmapObject(Info.hbmColor, Colour));
    ASSERT_TRUE(GetBitmapObject(Info.hbmMask, Mask));
    EXPECT_EQ(Colour.Width(), 4);
    EXPECT_EQ(Mask.Height(), 4);
    EXPECT_EQ(COLORREF(Colour.GetPixel(3, 3)), 0xFF0000u);
    EXPECT_EQ(COLORREF(Mask.GetPixel(3, 0)), 0xFFFFFFu);
    EXPECT_EQ(COLORREF(Mask.GetPixel(0, 0)), 0u);
    DeleteObject(Info.hbmColor);
    DeleteObject(Info.hbmMask);
    {
        TCanvas T(6, 6, Grey);
        // Stretched on drawing, and a flicker-free brush fills first.
        HBRUSH Green = CreateSolidBrush(0x00FF00);
        ASSERT_TRUE(DrawIconEx(T.Dc, 0, 0, Icon, 4, 4, 0, Green, DI_NORMAL));
        EXPECT_EQ(T.At(1, 1), 0x0000FFu);
        EXPECT_EQ(T.At(3, 0), 0x00FF00u);
        EXPECT_EQ(T.At(0, 3), 0x00FF00u ^ 0xFFFFFFu);
        EXPECT_EQ(T.At(4, 4), Grey);
        DeleteObject(Green);
    }
    EXPECT_EQ(CopyImage(Icon, IMAGE_BITMAP, 4, 4, 0), nullptr);
    EXPECT_EQ(CopyImage(Icon, IMAGE_ICON, 100000, 4, 0), nullptr);

    // 32-bit colour with alpha blends and ignores the mask.
    TBitmap Alpha(1, 1, pf32bit), Zero(1, 1, pf1bit);
    uint8_t* P = Alpha.ScanLine(0);
    P[0] = 0, P[1] = 0, P[2] = 255, P[3] = 128;
    ICONINFO AlphaInfo;
    AlphaInfo.hbmColor = CreateBitmapObject(Alpha);
    AlphaInfo.hbmMask = CreateBitmapObject(Zero);
    HICON Soft = CreateIconIndirect(&AlphaInfo);
    ASSERT_NE(Soft, nullptr);
    {
        TCanvas T(1, 1, 0x000000);
        ASSERT_TRUE(DrawIconEx(T.Dc, 0, 0, Soft, 0, 0, 0, nullptr, DI_NORMAL));
        EXPECT_EQ(T.At(0, 0), 0x000080u);
    }

    // Bad input fails; a destroyed icon's handle fails everywhere.
    ICONINFO NoMask;
    NoMask.hbmColor = AlphaInfo.hbmColor;
    EXPECT_EQ(CreateIconIndirect(&NoMask), nullptr);
    TBitmap Wide(3, 1, pf1bit);
    ICONINFO Mismatch = AlphaInfo;
    Mismatch.hbmMask = CreateBitmapObject(Wide);
    EXPECT_EQ(CreateIconIndirect(&Mismatch), nullptr);
    DeleteObject(Mismatch.hbmMask);
    DeleteObject(AlphaInfo.hbmColor);
    DeleteObject(AlphaInfo.hbmMask);
    EXPECT_TRUE(DestroyIcon(Soft));
    EXPECT_FALSE(DestroyIcon(Soft));
    TCanvas T(2, 2, Grey);
    EXPECT_FALSE(DrawIconEx(T.Dc, 0, 0, Soft, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_FALSE(GetIconInfo(Soft, &Info));
    EXPECT_EQ(CopyImage(Soft, IMAGE_ICON, 0, 0, 0), nullptr);
    EXPECT_EQ(T.At(0, 0), Grey);

    // A monochrome icon: the AND mask above the XOR image.
    TBitmap Mono(1, 2, pf1bit);
    Mono.SetPixel(0, 0, 0xFFFFFF);  // keep
    Mono.SetPixel(0, 1, 0xFFFFFF);  // and invert
    ICONINFO MonoInfo;
    MonoInfo.hbmMask = CreateBitmapObject(Mono);
    HICON Inverting = CreateIconIndirect(&MonoInfo);
    ASSERT_NE(Inverting, nullptr);
    ASSERT_TRUE(DrawIconEx(T.Dc, 0, 0, Inverting, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(T.At(0, 0), Grey ^ 0xFFFFFFu);
    DeleteObject(MonoInfo.hbmMask);

    // Copies made with LR_COPYDELETEORG take the original's place.
    HICON Moved = static_cast<HICON>(CopyImage(Inverting, IMAGE_ICON, 0, 0, LR_COPYDELETEORG));
    EXPECT_NE(Moved, nullptr);
    EXPECT_FALSE(DestroyIcon(Inverting));
    DestroyIcon(Moved);
    DestroyIcon(Big);
    DestroyIcon(Icon);
}

TEST(Icons, IconsInImageLists) {
    HICON Icon = TwoByTwo();
    HIMAGELIST List = ImageList_Create(4, 4, ILC_MASK | ILC_COLOR32, 1, 1);
    EXPECT_EQ(ImageList_AddIcon(List, Icon), 0);
    EXPECT_EQ(ImageList_ReplaceIcon(List, 0, Icon), 0);
    EXPECT_EQ(ImageList_ReplaceIcon(List, 3, Icon), -1);
    EXPECT_EQ(ImageList_GetImageCount(List), 1);
    TCanvas T(4, 4, 0x606060);
    ASSERT_TRUE(ImageList_Draw(List, 0, T.Dc, 0, 0, ILD_TRANSPARENT));
    EXPECT_EQ(T.At(0, 0), 0x0000FFu);
    EXPECT_EQ(T.At(3, 0), 0x606060u);  // the icon's transparent quarter
    EXPECT_EQ(T.At(3, 3), 0xFF0000u);
    ImageList_Destroy(List);
    EXPECT_EQ(ImageList_Create(0, 4, ILC_MASK, 1, 1), nullptr);
    DestroyIcon(Icon);
}

class WindowIcons : public WindowTest {};

TEST_F(WindowIcons, SlotsAndDerivedSmallIcon) {
    HWND Wnd = Make("w", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100);
    ASSERT_NE(Wnd, nullptr);
    HICON Big = TwoByTwo(), Small = TwoByTwo();
    EXPECT_EQ(SendMessageW(Wnd, WM_GETICON, ICON_SMALL2, 0), 0);
    EXPECT_EQ(SendMessageW(Wnd, WM_SETICON, ICON_BIG, LPARAM(Big)), 0);
    EXPECT_EQ(SendMessageW(Wnd, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(SendMessageW(Wnd, WM_GETICON, ICON_SMALL2, 0), LRESULT(Big));
    EXPECT_EQ(SendMessageW(Wnd, WM_SETICON, ICON_SMALL, LPARAM(Small)), 0);
    EXPECT_EQ(SendMessageW(Wnd, WM_GETICON, ICON_SMALL2, 0), LRESULT(Small));
    EXPECT_EQ(SendMessageW(Wnd, WM_SETICON, ICON_BIG, 0), LRESULT(Big));
    EXPECT_EQ(SendMessageW(Wnd, WM_GETICON, ICON_BIG, 0), 0);
    DestroyIcon(Big);
    DestroyIcon(Small);
}

}  // namespace
}  // namespace velmo::uitest
