// The colour manager, the Lab, Separation, DeviceN and Indexed colour spaces
// and the built-in sRGB profile.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/Structure.h"
#include "render/ColorManager.h"
#include "render/ColorSpaces.h"
#include "resources/Resources.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

// sRGB bytes of a CIE Lab colour, computed independently of the engine:
// Lab to XYZ under the D65 white, the full-precision sRGB matrix, the sRGB
// transfer curve.
std::array<int, 3> ReferenceLabToSRGB(double L, double a, double b) {
    const double Xn = 0.95047, Yn = 1.0, Zn = 1.08883;
    const double Eps = 216.0 / 24389.0, Kappa = 24389.0 / 27.0;
    const double Fy = (L + 16) / 116, Fx = Fy + a / 500, Fz = Fy - b / 200;
    auto Inv = [&](double F) { return F * F * F > Eps ? F * F * F : (116 * F - 16) / Kappa; };
    const double X = Xn * Inv(Fx), Y = Yn * Inv(Fy), Z = Zn * Inv(Fz);
    const double Lin[3] = {3.2404542 * X - 1.5371385 * Y - 0.4985314 * Z,
                           -0.9692660 * X + 1.8760108 * Y + 0.0415560 * Z,
                           0.0556434 * X - 0.2040259 * Y + 1.0572252 * Z};
    std::array<int, 3> Out{};
    for (int I = 0; I < 3; ++I) {
        double V = Lin[I] <= 0.0031308 ? 12.92 * Lin[I] : 1.055 * std::pow(Lin[I], 1 / 2.4) - 0.055;
        V = std::clamp(V, 0.0, 1.0);
        Out[I] = int(std::lround(V * 255));
    }
    return Out;
}

std::array<int, 3> Bytes(TColor C) { return {GetRValue(C), GetGValue(C), GetBValue(C)}; }

// Objects made from PDF text in one store; "N 0 R" resolves to the object
// registered as N.
class Objects {
public:
    TPDFArray* Array(const std::string& Text) { return ObjAs<TPDFArray>(S.Decode(Text)); }
    TPDFObject* Object(const std::string& Text) { return S.Decode(Text); }
    // Registers a stream with dictionary Dict and data Data as object N.
    void Stream(int N, const std::string& Dict, const std::string& Data) {
        auto* D = ObjAs<TPDFDictionary>(S.Decode(Dict));
        Table[N] = S.NewStreamWithDict(Data, D);
    }
    void Put(int N, const std::string& Text) { Table[N] = S.Decode(Text); }
    TPDFFindObjectEvent Finder() {
        return [this](TPDFIndRef* Ref) -> TPDFObject* {
            auto It = Table.find(Ref->ObjNum);
            return It == Table.end() ? nullptr : It->second;
        };
    }

private:
    TPDFStructure S;
    std::map<int, TPDFObject*> Table;
};

}  // namespace

TEST(Colour, Manager) {
    TPDFSimpleColorManager M;
    EXPECT_TRUE(M.FixedGamma());

    // RGB to device colour clamps the caller's record; 127.5 rounds to 128.
    TPDFRGBColor C{1.2, -0.1, 0.5};
    EXPECT_EQ(M.RGB2Color(C), 0x8000FF);
    EXPECT_EQ(C.Red, 1.0);
    EXPECT_EQ(C.Green, 0.0);
    EXPECT_EQ(C.Blue, 0.5);
    TPDFRGBColor N{std::nan(""), 0.5 / 255, 126.5 / 255};
    EXPECT_EQ(M.RGB2Color(N), 0x7E0000);  // NaN is 0, 0.5 and 126.5 round to even
    EXPECT_EQ(N.Red, 0.0);

    // The measured CMYK polynomial at its corners.
    struct CMYKCase {
        TPDFCMYKColor In;
        bool FixedGamma;
        double R, G, B;
    };
    const CMYKCase Cases[] = {
        {{1, 0, 0, 0}, true, 0, 0.6784, 0.9373},
        {{0, 0, 0, 1}, true, 0.1373, 0.1216, 0.1255},
        {{0, 0, 0, 0}, true, 1, 1, 1},
        // The complement: 1 − min(1, k + (1 − k)·x), no clamping of inputs.
        {{0.5, 0.2, 0, 0.5}, false, 0.25, 0.4, 0.5},
        {{2, 0, 1, 0}, false, 0, 1, 0},
        {{1, 1, 1, 1}, false, 0, 0, 0},
    };
    for (const CMYKCase& T : Cases) {
        M.SetFixedGamma(T.FixedGamma);
        TPDFCMYKColor In = T.In;
        TPDFRGBColor R = M.CMYK2RGB(In);
        EXPECT_NEAR(R.Red, T.R, 1e-9) << T.In.Cyan << " " << T.In.Black;
        EXPECT_NEAR(R.Green, T.G, 1e-9);
        EXPECT_NEAR(R.Blue, T.B, 1e-9);
    }
    M.SetFixedGamma(true);

    // Lab over a grid, within one step of an independent sRGB conversion.
    int Checked = 0;
    for (double L : {0.0, 5.0, 20.0, 35.0, 50.0, 65.0, 80.0, 95.0, 100.0})
        for (double a = -120; a <= 120; a += 30)
            for (double b = -120; b <= 120; b += 30) {
                TPDFLabColor Lab{L, a, b};
                TPDFRGBColor R = M.Lab2RGB(Lab);
                std::array<int, 3> Got = Bytes(M.RGB2Color(R));
                std::array<int, 3> Want = ReferenceLabToSRGB(L, a, b);
                for (int I = 0; I < 3; ++I)
                    EXPECT_LE(std::abs(Got[I] - Want[I]), 1)
                        << "Lab " << L << " " << a << " " << b << " channel " << I;
                ++Checked;
            }
    EXPECT_EQ(Checked, 9 * 9 * 9);
    // sRGB red in Lab is red (a wide-gamut matrix would give about 220).
    TPDFLabColor Red{53.2408, 80.0925, 67.2032};
    TPDFRGBColor RR = M.Lab2RGB(Red);
    EXPECT_EQ(M.RGB2Color(RR), 0x0000FF);

    // The Lab path clamps the caller's record to L 0..100 and the range.
    TPDFLabColor Wide{150, -500, std::nan("")};
    M.Lab2RGB(Wide);
    EXPECT_EQ(Wide.L, 100.0);
    EXPECT_EQ(Wide.a, -128.0);
    EXPECT_EQ(Wide.b, -128.0);

    // White points: a refused one falls back to D65.
    EXPECT_TRUE(M.SetWhitePoint(0.9642, 1, 0.8249));
    EXPECT_EQ(M.WhitePoint.Z, 0.8249);
    EXPECT_FALSE(M.SetWhitePoint(0.9642, 0.9, 0.8249));
    EXPECT_EQ(M.WhitePoint.X, 0.9505);
    EXPECT_EQ(M.WhitePoint.Z, 1.089);

    // Lab (100, 0, 0) is white and (0, 0, 0) black for a space under D50,
    // under D65 and without a white point.
    Objects O;
    for (const char* Space :
         {"[/Lab << /WhitePoint [0.9642 1 0.8249] >>]",
          "[/Lab << /WhitePoint [0.9505 1 1.089] /Range [-50 50 -50 50] >>]", "[/Lab << >>]"}) {
        TPDFLabColorSpace Lab;
        Lab.LoadFromArray(O.Array(Space));
        M.SetWhitePoint(0.9642, 1, 0.8249);  // a manager left under another white
        EXPECT_EQ(Lab.GetColor({100, 0, 0}, &M), 0xFFFFFF) << Space;
        EXPECT_EQ(Lab.GetColor({0, 0, 0}, &M), 0x000000) << Space;
    }
    TPDFLabColorSpace D50;
    D50.LoadFromArray(O.Array("[/Lab << /WhitePoint [0.9642 1 0.8249] /Range [-10 20 -30 40] >>]"));
    EXPECT_EQ(D50.FWhitePoint.Z, 0.8249);
    EXPECT_EQ(D50.FLabRange.bMax, 40.0);
    EXPECT_EQ(D50.ScaleA(255, 255), 20.0);
    EXPECT_EQ(D50.ScaleB(0, 255), -30.0);
    D50.GetColor({50, 0, 0}, &M);
    EXPECT_EQ(M.LabRange.aMin, -10.0);  // the manager keeps the space's range
    EXPECT_EQ(M.WhitePoint.X, 0.9505);
}

TEST(Colour, SeparationDeviceN) {
    Objects O;
    // Tint transforms by reference: an ICC profile stream of three
    // components, one naming a gray alternate, and a PostScript transform.
    O.Stream(10, "<< /N 3 >>", "");
    O.Stream(11, "<< /N 3 /Alternate /DeviceGray >>", "");
    O.Stream(12, "<< /FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1 0 1] >>", "{ 0 0 }");
    const std::string GoldCMYK =
        "<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0.2 1 0] /N 1 >>";
    const std::string RedRGB = "<< /FunctionType 2 /Domain [0 1] /C0 [1 1 1] /C1 [1 0 0] >>";
    const std::string Gray = "<< /FunctionType 2 /Domain [0 1] /C0 [1] /C1 [0] >>";
    const std::string LabWhite = "<< /FunctionType 2 /Domain [0 1] /C0 [100 0 0] /C1 [100 0 0] >>";
    const std::string TwoIn = "<< /FunctionType 2 /Domain [0 1 0 1] /C0 [0 0 0] /C1 [1 1 1] >>";

    // The full-tint CMYK of Gold is named in the text; its device colour
    // comes from the tint's CMYK (0, 0.1, 0.5, 0).
    TPDFSimpleColorManager M;
    TPDFCMYKColor Half{0, 0.1, 0.5, 0};
    TPDFRGBColor HalfRGB = M.CMYK2RGB(Half);
    const TColor GoldHalf = M.RGB2Color(HalfRGB);
    EXPECT_EQ(GoldHalf, 0x7AE1FD);

    struct Case {
        std::string Space;
        std::vector<double> Input;
        TColor Color;
        std::string Text;
    };
    const Case Cases[] = {
        // Separation, by alternate and output count.
        {"[/Separation /Gold /DeviceCMYK " + GoldCMYK + "]",
         {0.5},
         GoldHalf,
         "0 0.2 1 0 (Gold) findcmykcustomcolor 0.5 setcustomcolor"},
        {"[/Separation /Red /DeviceRGB " + RedRGB + "]", {0.5}, 0x8080FF, "1 0.5 0.5 setrgbcolor"},
        {"[/Separation /Red /CalRGB " + RedRGB + "]", {1.5}, 0x0000FF, "1 0 0 setrgbcolor"},
        {"[/Separation /Red [/ICCBased 10 0 R] " + RedRGB + "]",
         {0.25},
         0xBFBFFF,
         "1 0.75 0.75 setrgbcolor"},
        {"[/Separation /Black /DeviceGray " + Gray + "]",
         {0.25},
         0xBFBFBF,
         "0.75 0.75 0.75 setrgbcolor"},
        {"[/Separation /Black [/ICCBased 11 0 R] " + Gray + "]",
         {1},
         0x000000,
         "0 0 0 setrgbcolor"},
        {"[/Separation /White /Lab " + LabWhite + "]", {0.3}, 0xFFFFFF, "1 1 1 setrgbcolor"},
        {"[/Separation /Odd /DeviceCMYK " + RedRGB + "]", {0.5}, 0, "0.5 setgray"},
        {"[/Separation /Odd /DeviceRGB " + TwoIn + "]", {0.5}, 0, "0.5 setgray"},
        {"[/Separation /Odd /DeviceRGB]", {0.5}, 0, "0.5 setgray"},
        {"[/Separation /Pan#28tone#29#5C1 /DeviceCMYK " + GoldCMYK + "]",
         {1},
         0x00C7FB,
         "0 0.2 1 0 (Pan\\(tone\\)\\\\1) findcmykcustomcolor 1 setcustomcolor"},
        // DeviceN: the text carries the CMYK of the current input.
        {"[/DeviceN [/Spot] /DeviceCMYK " + GoldCMYK + "]",
         {0.5},
         GoldHalf,
         "0 0.1 0.5 0 ([Spot]) findcmykcustomcolor 0.5 setcustomcolor"},
        {"[/DeviceN [/Cyan /Magenta] /DeviceCMYK 12 0 R]",
         {0.2, 0.4},
         0,
         "0.2 0.4 0 0 ([Cyan,Magenta]) findcmykcustomcolor 0.2 0.4 setcustomcolor"},
        {"[/DeviceN [/A /B] /DeviceRGB " + RedRGB + "]", {0.2, 0.4}, 0, "0.5 setgray"},
        {"[/DeviceN [/R] /DeviceRGB " + RedRGB + "]", {0.5}, 0x8080FF, "1 0.5 0.5 setrgbcolor"},
        {"[/DeviceN [/W] /Lab " + LabWhite + "]", {0.5}, 0xFFFFFF, "1 1 1 setrgbcolor"},
        {"[/DeviceN [/G] /DeviceGray " + Gray + "]", {0.5}, 0, "0.5 setgray"},
        {"[/DeviceN [/A#281#29 /B] /DeviceCMYK 12 0 R]",
         {0.2, 0.4},
         0,
         "0.2 0.4 0 0 ([A\\(1\\),B]) findcmykcustomcolor 0.2 0.4 setcustomcolor"},
    };
    for (const Case& T : Cases) {
        SCOPED_TRACE(T.Space);
        TPDFSimpleColorManager Manager;
        const bool DeviceN = T.Space.starts_with("[/DeviceN");
        TColor Color;
        std::string Text;
        if (DeviceN) {
            TPDFDeviceNColorSpace CS(&Manager);
            CS.FOnFindObject = O.Finder();
            CS.LoadFromArray(O.Array(T.Space), "/CS0");
            CS.GetColor(T.Input, false);
            Color = CS.FResultColor;
            Text = CS.FResultName;
            // CMYK of the input through the manager, as the text says.
            if (T.Space.find("12 0 R") != std::string::npos) {
                TPDFCMYKColor C{T.Input[0], T.Input[1], 0, 0};
                TPDFRGBColor R = Manager.CMYK2RGB(C);
                EXPECT_EQ(Color, Manager.RGB2Color(R));
                continue;
            }
        } else {
            TPDFSeparationColorSpace CS(&Manager);
            CS.FOnFindObject = O.Finder();
            CS.LoadFromArray(O.Array(T.Space), "/CS0");
            EXPECT_EQ(CS.FResName, "/CS0");
            CS.GetColor(T.Input[0], false);
            Color = CS.FResultColor;
            Text = CS.FResultName;
        }
        EXPECT_EQ(Color, T.Color);
        EXPECT_EQ(Text, T.Text);
    }

    // The loaders keep names, alternates and counts.
    {
        TPDFDeviceNColorSpace CS(&M);
        CS.FOnFindObject = O.Finder();
        CS.LoadFromArray(O.Array("[/DeviceN [/A 5 /B] [/ICCBased 11 0 R] 12 0 R]"), "/X");
        EXPECT_EQ(CS.FComponentCount, 3);
        EXPECT_EQ(CS.FColorNames, "[A,B]");
        EXPECT_EQ(CS.FAlternate, "DeviceGray");
        ASSERT_NE(CS.TintTransform(), nullptr);
        TPDFSeparationColorSpace S(&M);
        S.FOnFindObject = O.Finder();
        S.LoadFromArray(O.Array("[/Separation /Gold [/ICCBased 10 0 R] " + GoldCMYK + "]"), "/Y");
        EXPECT_EQ(S.FSeparationName, "Gold");
        EXPECT_EQ(S.FAlternate, "DeviceRGB");
        S.LoadFromArray(O.Array("[/Separation 5]"), "/Z");
        EXPECT_EQ(S.FSeparationName, "");
        EXPECT_EQ(S.TintTransform(), nullptr);
    }

    // A Separation keeps the CMYK and RGB of its last tint; Fast writes no
    // text.
    {
        TPDFSeparationColorSpace S(&M);
        S.LoadFromArray(O.Array("[/Separation /Gold /DeviceCMYK " + GoldCMYK + "]"), "");
        S.GetColor(0.5, true);
        EXPECT_EQ(S.FResultColor, GoldHalf);
        EXPECT_EQ(S.FResultName, "0.5 setgray");
        EXPECT_DOUBLE_EQ(S.FCMYKColor.Yellow, 0.5);
        EXPECT_DOUBLE_EQ(S.FRGBColor.Red, HalfRGB.Red);
    }

    // An encrypted tint-transform stream is read between the two events.
    {
        std::vector<std::string> Events;
        TPDFSeparationColorSpace S(&M);
        S.FOnFindObject = O.Finder();
        S.FOnDecrypt = [&](TPDFStream*, TPDFIndRef* Ref) {
            Events.push_back("decrypt " + std::to_string(Ref->ObjNum));
        };
        S.FOnEncrypt = [&](TPDFStream*, TPDFIndRef* Ref) {
            Events.push_back("encrypt " + std::to_string(Ref->ObjNum));
        };
        S.LoadFromArray(O.Array("[/Separation /A /DeviceCMYK 12 0 R]"), "");
        EXPECT_EQ(Events, (std::vector<std::string>{"decrypt 12", "encrypt 12"}));
        Events.clear();
        S.LoadFromArray(O.Array("[/Separation /A /DeviceCMYK " + GoldCMYK + "]"), "");
        EXPECT_TRUE(Events.empty());
    }

    // The cache: inputs that agree to three decimals share one entry; the
    // cache starts again after 1,001 entries.
    {
        TPDFDeviceNColorSpace CS(&M);
        CS.LoadFromArray(O.Array("[/DeviceN [/Spot] /DeviceCMYK " + GoldCMYK + "]"), "");
        CS.GetColor(std::vector<double>{0.12345}, false);
        const std::string First = CS.FResultName;
        CS.GetColor(std::vector<double>{0.1234}, false);
        EXPECT_EQ(CS.CacheCount(), 1u);
        EXPECT_EQ(CS.FResultName, First);
        EXPECT_EQ(First, "0 0.025 0.123 0 ([Spot]) findcmykcustomcolor 0.123 setcustomcolor");
        // Values that write as "0" share an entry, NaN among them.
        CS.GetColor(std::vector<double>{0.0004}, true);
        CS.GetColor(std::vector<double>{-0.0004}, true);
        CS.GetColor(std::vector<double>{std::nan("")}, true);
        EXPECT_EQ(CS.CacheCount(), 2u);
        for (int I = 0; I < 999; ++I) CS.GetColor(std::vector<double>{1 + I / 1000.0}, true);
        EXPECT_EQ(CS.CacheCount(), 1001u);
        CS.GetColor(std::vector<double>{0.12345}, true);  // a hit adds nothing
        EXPECT_EQ(CS.CacheCount(), 1001u);
        CS.GetColor(std::vector<double>{5}, true);  // the 1,002nd distinct value
        EXPECT_EQ(CS.CacheCount(), 1u);

        // An entry written by a Fast call still gives the text later.
        CS.GetColor(std::vector<double>{0.5}, true);
        EXPECT_EQ(CS.FResultColor, GoldHalf);
        CS.GetColor(std::vector<double>{0.5}, false);
        EXPECT_EQ(CS.FResultColor, GoldHalf);
        EXPECT_EQ(CS.FResultName, "0 0.1 0.5 0 ([Spot]) findcmykcustomcolor 0.5 setcustomcolor");
        CS.GetColor(std::vector<double>{0.5}, false);
        EXPECT_EQ(CS.FResultName, "0 0.1 0.5 0 ([Spot]) findcmykcustomcolor 0.5 setcustomcolor");
        EXPECT_EQ(CS.CacheCount(), 2u);

        // Two inputs are never cached.
        TPDFDeviceNColorSpace Two(&M);
        Two.FOnFindObject = O.Finder();
        Two.LoadFromArray(O.Array("[/DeviceN [/C /M] /DeviceCMYK 12 0 R]"), "");
        Two.GetColor(std::vector<double>{0.1, 0.2}, true);
        Two.GetColor(std::vector<double>{0.3, 0.2}, false);
        EXPECT_EQ(Two.CacheCount(), 0u);
        EXPECT_EQ(Two.FResultName,
                  "0.3 0.2 0 0 ([C,M]) findcmykcustomcolor 0.3 0.2 setcustomcolor");
    }
}

TEST(Colour, Indexed) {
    Objects O;
    O.Stream(20, "<< /N 1 >>", "");
    O.Stream(21, "<< /N 3 >>", "");
    O.Stream(22, "<< /N 4 >>", "");
    O.Stream(23, "<< /N 3 /Alternate /DeviceGray >>", "");
    O.Stream(24, "<< /N 2 >>", "");
    O.Stream(25, "<< >>", std::string("\x00\x00\xFF\xFF\xFF\xFF", 6));
    O.Put(26, "<FF000000FF00>");
    TPDFSimpleColorManager M;
    // The Lab entry (0x88, 0xD0, 0xC3) is L 53.3, a 80, b 67 over the range
    // −128 … 127: close to sRGB red.
    const std::array<int, 3> LabRed = ReferenceLabToSRGB(0x88 * 100.0 / 255, 80, 67);
    const std::array<int, 3> LabPale =
        ReferenceLabToSRGB(100, -100 + 200 * 128 / 255.0, -100 + 200 * 128 / 255.0);

    struct Case {
        std::string Space;
        int Index;
        TColor Color;
    };
    const Case Cases[] = {
        {"[/Indexed /DeviceRGB 1 <FF000000FF00>]", 1, 0x00FF00},
        {"[/Indexed /DeviceRGB 1 <FF000000FF00>]", 0, 0x0000FF},
        {"[/Indexed /DeviceRGB 1 <FF000000FF00>]", 5, 0x00FF00},    // clamped to HiVal
        {"[/Indexed /DeviceRGB 255 <FF000000FF00>]", 2, 0xFFFFFF},  // past the table
        {"[/Indexed /DeviceRGB 1 <FF000000FF>]", 1, 0xFFFFFF},      // entry cut short
        {"[/Indexed /DeviceRGB -1 <FF000000FF00>]", 0, 0xFFFFFF},
        {"[/Indexed /DeviceRGB 1 26 0 R]", 1, 0x00FF00},
        {"[/Indexed [/CalRGB << >>] 1 <FF000000FF00>]", 1, 0x00FF00},
        {"[/Indexed /DeviceRGB 1 25 0 R]", 1, 0xFFFFFF},
        {"[/Indexed /DeviceRGB 1 25 0 R]", 0, 0xFF0000},
        {"[/Indexed /DeviceCMYK 1 <00000000FF000000>]", 1, 0xEFAD00},
        {"[/Indexed /DeviceCMYK 1 <00000000FF0000>]", 1, 0xFFFFFF},
        {"[/Indexed /DeviceGray 2 <0080FF>]", 1, 0x808080},
        {"[/Indexed /DeviceGray 2 <0080FF>]", 200, 0xFFFFFF},
        {"[/Indexed [/CalGray << /WhitePoint [0.9505 1 1.089] >>] 1 <40C0>]", 1, 0xC0C0C0},
        {"[/Indexed [/ICCBased 20 0 R] 1 <40C0>]", 0, 0x404040},
        {"[/Indexed [/ICCBased 21 0 R] 1 <FF000000FF00>]", 1, 0x00FF00},
        {"[/Indexed [/ICCBased 22 0 R] 0 <FF000000>]", 0, 0xEFAD00},
        {"[/Indexed [/ICCBased 23 0 R] 2 <102030>]", 2, 0x303030},
        {"[/Indexed [/ICCBased 24 0 R] 1 <1020304050>]", 0, 0xFFFFFF},
        {"[/Indexed [/Lab << /Range [-128 127 -128 127] >>] 1 <008080FF8080>]", 1, 0xFFFFFF},
        {"[/Indexed [/Lab << /Range [-128 127 -128 127] >>] 1 <008080FF8080>]", 0, 0x000000},
        {"[/Indexed [/Lab << /Range [-128 127 -128 127] >>] 0 <88D0C3>]", 0,
         RGB(LabRed[0], LabRed[1], LabRed[2])},
        // Without /Range a Lab base spans −100 … 100: byte 0x80 is a ≈ 0.4.
        {"[/Indexed [/Lab << >>] 0 <FF8080>]", 0, RGB(LabPale[0], LabPale[1], LabPale[2])},
        {"[/Indexed [/Separation /A /DeviceGray << >>] 1 <00FF>]", 1, 0xFFFFFF},
        {"[/Indexed /DeviceRGB 1]", 0, 0xFFFFFF},
    };
    for (const Case& T : Cases) {
        TPDFIndexedColorSpace CS;
        CS.FOnFindObject = O.Finder();
        CS.LoadFromArray(O.Array(T.Space));
        EXPECT_EQ(CS.GetColor(uint8_t(T.Index), &M), T.Color) << T.Space << " index " << T.Index;
    }

    TPDFIndexedColorSpace CS;
    CS.FOnFindObject = O.Finder();
    CS.LoadFromArray(O.Array("[/Indexed [/ICCBased 22 0 R] 7 <00>]"));
    EXPECT_EQ(CS.FBaseColorSpace, "ICCBased");
    EXPECT_EQ(CS.EntryFamily(), "DeviceCMYK");
    EXPECT_EQ(CS.FHiVal, 7);
}

TEST(Colour, BuiltInProfile) {
    TVPLByteArray Profile;
    LoadSRGBICCProfile(Profile);
    const std::string_view Resource = Resources::Get(Resources::kSRGBProfile);
    ASSERT_EQ(Profile.size(), Resource.size());
    EXPECT_EQ(std::memcmp(Profile.data(), Resource.data(), Resource.size()), 0);
    ASSERT_GT(Profile.size(), 128u);
    // The header's own size field agrees with the bytes.
    const uint32_t Declared =
        uint32_t(Profile[0]) << 24 | uint32_t(Profile[1]) << 16 | Profile[2] << 8 | Profile[3];
    EXPECT_EQ(Declared, Profile.size());

    cmsHPROFILE P = cmsOpenProfileFromMem(Profile.data(), cmsUInt32Number(Profile.size()));
    ASSERT_NE(P, nullptr);
    EXPECT_EQ(cmsGetDeviceClass(P), cmsSigDisplayClass);
    EXPECT_EQ(cmsGetColorSpace(P), cmsSigRgbData);
    EXPECT_EQ(cmsGetPCS(P), cmsSigXYZData);
    cmsHPROFILE Q = cmsOpenProfileFromMem(Profile.data(), cmsUInt32Number(Profile.size()));
    cmsHTRANSFORM X =
        cmsCreateTransform(P, TYPE_RGB_8, Q, TYPE_RGB_8, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
    ASSERT_NE(X, nullptr);
    const uint8_t In[9] = {0, 0, 0, 128, 128, 128, 255, 255, 255};
    uint8_t Out[9] = {};
    cmsDoTransform(X, In, Out, 3);
    for (int I = 0; I < 9; ++I) EXPECT_LE(std::abs(int(Out[I]) - int(In[I])), 1) << I;
    cmsDeleteTransform(X);
    cmsCloseProfile(Q);
    cmsCloseProfile(P);
}
