#include "core/StringHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace velmo {
namespace {

struct FormatCase {
    double Value;
    int Decimals;
    const char* Expected;
};

TEST(FormatNumber, RoundsHalfToEvenAndTrims) {
    const FormatCase Cases[] = {
        {0.5, 4, "0.5"},
        {1.23456, 4, "1.2346"},
        {100, 4, "100"},
        {-0.5, 4, "-0.5"},
        {612, 4, "612"},
        {0.03125, 4, "0.0312"},
        {0.00004, 4, "0"},
        {-0.00004, 4, "0"},
        {-0.00001, 4, "0"},
        {-0.25, 1, "-0.2"},
        {-0.75, 1, "-0.8"},
        {2.5, 0, "2"},
        {3.5, 0, "4"},
        {-2.5, 0, "-2"},
        {-0.4, 0, "0"},
        {2.00004, 4, "2"},
        {0.1, 8, "0.1"},
        {1e-8, 8, "0.00000001"},
        {-1e-8, 8, "-0.00000001"},
        {12.5, -1, "12"},
        {1234567.875, 2, "1234567.88"},
        {0, 4, "0"},
        {-0.0, 4, "0"},
        {-0.0, 0, "0"},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(FormatNumber(C.Value, C.Decimals), C.Expected) << C.Value << " at " << C.Decimals;
        EXPECT_EQ(FormatNumberVal(C.Value, C.Decimals), C.Expected);
    }
}

TEST(FormatNumber, NonFiniteAndHugeValuesStayFiniteText) {
    const double Inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(FormatNumber(std::nan(""), 4), "0");
    EXPECT_EQ(FormatNumber(Inf, 4), "0");
    EXPECT_EQ(FormatNumber(-Inf, 0), "0");
    for (double V : {1e300, -1e300, 1e19, -9.3e18}) {
        for (int D : {0, 4, 8, 30}) {
            std::string S = FormatNumber(V, D);
            EXPECT_EQ(S.find_first_of("eEn"), std::string::npos) << S;
            EXPECT_EQ(S[0] == '-', V < 0) << S;
            EXPECT_LE(S.size(), 25u) << S;
        }
    }
}

TEST(FormatNumber, RandomValuesReadBackWithinHalfAUnit) {
    std::mt19937_64 Rng(12345);
    std::uniform_real_distribution<double> Dist(-1e9, 1e9);
    std::uniform_int_distribution<int> Exp(-12, 0);
    for (int I = 0; I < 1000000; ++I) {
        // Mix large values with small ones so that short outputs are covered too.
        double V = Dist(Rng) * std::pow(10.0, Exp(Rng));
        int D = I % 9;
        std::string S = FormatNumber(V, D);
        ASSERT_EQ(S.find_first_of("eE"), std::string::npos) << S;
        ASSERT_NE(S, "-0");
        double Back = ParseNumber(S);
        double Tolerance = 0.5 * std::pow(10.0, -D) + std::fabs(V) * 1e-15;
        ASSERT_LE(std::fabs(Back - V), Tolerance) << V << " at " << D << " gave " << S;
    }
}

TEST(ParseNumber, ReadsThePdfNumberForm) {
    const struct {
        const char* Text;
        double Expected;
    } Cases[] = {
        {"", 0},
        {"--5", -5},
        {"  -3.25xyz", -3.25},
        {"1e5", 1},
        {"+5", 0},
        {"12abc", 12},
        {"abc", 0},
        {".5", 0.5},
        {"-.5", -0.5},
        {"12.", 12},
        {".", 0},
        {"-", 0},
        {"0.1", 0.1},
        {"007", 7},
        {" 1 2", 1},
        {"\t5", 0},
        {"3.14159265358979", 3.14159265358979},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(ParseNumber(C.Text), C.Expected) << C.Text;
        double V = 99;
        ParseNumberInto(C.Text, V);
        EXPECT_EQ(V, C.Expected) << C.Text;
    }
}

TEST(ParseNumber, ExtremeDigitRunsStayFinite) {
    std::string Big(500, '9');
    EXPECT_EQ(ParseNumber(Big), std::numeric_limits<double>::max());
    EXPECT_EQ(ParseNumber("-" + Big), -std::numeric_limits<double>::max());
    std::string Tiny = "0." + std::string(500, '0') + "1";
    EXPECT_EQ(ParseNumber(Tiny), 0.0);
    std::string LongFraction = "1." + std::string(400, '3');
    EXPECT_DOUBLE_EQ(ParseNumber(LongFraction), 4.0 / 3.0);
}

TEST(ParseScientificNumber, MantissaTimesPowerOfTen) {
    EXPECT_DOUBLE_EQ(ParseScientificNumber("1.5E3"), 1500);
    EXPECT_DOUBLE_EQ(ParseScientificNumber("-2E-2"), -0.02);
    EXPECT_DOUBLE_EQ(ParseScientificNumber("7E0"), 7);
    EXPECT_DOUBLE_EQ(ParseScientificNumber("7Ex"), 7);  // bad exponent counts as 0
    EXPECT_EQ(ParseScientificNumber("1.5e3"), 0);       // only an upper-case E splits
    EXPECT_EQ(ParseScientificNumber("15"), 0);
    EXPECT_EQ(ParseScientificNumber("1E999999"), std::numeric_limits<double>::max());
    EXPECT_EQ(ParseScientificNumber("-1E999999"), -std::numeric_limits<double>::max());
    EXPECT_EQ(ParseScientificNumber("1E-999999"), 0.0);
    EXPECT_EQ(ParseScientificNumber("0E999999"), 0.0);
}

TEST(IsNumberText, AcceptsTheNumberCharacterSet) {
    const struct {
        const char* Text;
        bool Expected;
    } Cases[] = {
        {"", true},    {"  ", true},   {"1.2.3", false}, {"5-", false},
        {"-5-", true}, {"-1.5", true}, {" 12 ", true},   {"1e5", false},
        {"+1", false}, {".", true},    {"1 2", false},
    };
    for (const auto& C : Cases) EXPECT_EQ(IsNumberText(C.Text), C.Expected) << C.Text;
}

TEST(IntegerText, ConvertsBothWays) {
    EXPECT_EQ(IntToStrA(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(IntToStrA(0), "0");
    EXPECT_EQ(Int64ToStrA(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(Int64ToStrA(1234567890123), "1234567890123");

    const struct {
        const char* Text;
        int32_t Expected;
    } Cases[] = {
        {"42", 42},
        {"  -17", -17},
        {"+8", 8},
        {"$FFFFFFFC", -4},
        {"0x10", 16},
        {"X1f", 31},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", -1},
        {"$100000000", -1},
        {"12 ", -1},
        {"", -1},
        {"-", -1},
        {"$", -1},
        {"0x", -1},
        {"1.5", -1},
        {"0", 0},
        {"00012", 12},
        {"$0000000012", 18},
    };
    for (const auto& C : Cases) EXPECT_EQ(StrToIntDefA(C.Text, -1), C.Expected) << C.Text;

    EXPECT_EQ(StrToInt64DefA("9223372036854775807", 0), INT64_MAX);
    EXPECT_EQ(StrToInt64DefA("-9223372036854775808", 0), INT64_MIN);
    EXPECT_EQ(StrToInt64DefA("9223372036854775808", 5), 5);
    EXPECT_EQ(StrToInt64DefA("$FFFFFFFFFFFFFFFF", 0), -1);
    EXPECT_EQ(StrToInt64DefA("$FFFFFFFC", 0), 0xFFFFFFFCll);
}

TEST(IntToStrZeroPad, PadsAndKeepsLongText) {
    EXPECT_EQ(IntToStrZeroPad(1234, 10), "0000001234");
    EXPECT_EQ(IntToStrZeroPad(0, 5), "00000");
    EXPECT_EQ(IntToStrZeroPad(123456, 3), "123456");
    EXPECT_EQ(IntToStrZeroPad(-1, 10), "0000000000");
    EXPECT_EQ(IntToStrZeroPad(65535, 5), "65535");
}

}  // namespace
}  // namespace velmo
