#include "core/base/numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace ravlon;

namespace {

// Switches the user's decimal separator for one test and restores it.
class SeparatorScope {
public:
    explicit SeparatorScope(char c) : old_(UserDecimalSeparator()) { SetUserDecimalSeparator(c); }
    ~SeparatorScope() { SetUserDecimalSeparator(old_); }

private:
    char old_;
};

} // namespace

TEST(Rounding, HalfToEvenAndTrunc) {
    EXPECT_EQ(Round(-0.5), 0);
    EXPECT_EQ(Round(0.5), 0);
    EXPECT_EQ(Round(1.5), 2);
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(187.5), 188);
    EXPECT_EQ(Round(186.5), 186);
    EXPECT_EQ(Round(-2.5), -2);
    EXPECT_EQ(Trunc(-2.7), -2);
    EXPECT_EQ(Trunc(2.7), 2);
    EXPECT_DOUBLE_EQ(Frac(-2.25), -0.25);
    EXPECT_THROW(Round(3e9), ERangeError);
    EXPECT_THROW(Round(std::numeric_limits<double>::quiet_NaN()), EMathError);
    EXPECT_THROW(Trunc(std::numeric_limits<double>::infinity()), EMathError);
    EXPECT_EQ(Round64(3e9), 3000000000LL);
}

TEST(Rounding, CeilAndFloorInt) {
    EXPECT_EQ(CeilInt(2.0), 2);
    EXPECT_EQ(CeilInt(2.1), 3);
    EXPECT_EQ(CeilInt(-2.5), -2);
    EXPECT_EQ(FloorInt(-2.5), -3);
    EXPECT_EQ(FloorInt(2.9), 2);
    EXPECT_EQ(FloorInt(-3.0), -3);
    EXPECT_THROW(CeilInt(2147483647.5), ERangeError);
    EXPECT_THROW(FloorInt(-2147483648.5), ERangeError);
    EXPECT_EQ(FloorInt(-2147483648.0), std::numeric_limits<int32_t>::min());
}

TEST(CheckedArithmetic, FailuresRaiseInsteadOfInfOrNaN) {
    EXPECT_THROW(FDiv(1, 0), EZeroDivide);
    EXPECT_THROW(FDiv(0, 0), EInvalidOp);
    EXPECT_THROW(FDiv(1e308, 1e-308), EOverflow);
    EXPECT_DOUBLE_EQ(FDiv(1, 4), 0.25);
    EXPECT_THROW(FSqrt(-1), EInvalidOp);
    EXPECT_THROW(LogTen(0), EMathError);
    EXPECT_THROW(LogTen(-1), EMathError);
    EXPECT_THROW(PowerToDecibels(0), EMathError);
    EXPECT_THROW(PowerOfTen(400), EOverflow);
    EXPECT_THROW(IDiv(5, 0), EZeroDivide);
    EXPECT_EQ(IDiv(-7, 2), -3);
}

TEST(Arithmetic, LogsPowersAndDecibels) {
    EXPECT_NEAR(LogTen(1000), 3, 1e-15);
    EXPECT_NEAR(LogTwo(8), 3, 1e-15);
    EXPECT_NEAR(PowerOfTen(2), 100, 1e-12);
    EXPECT_NEAR(PowerOfTen(-0.5), 0.31622776601683794, 1e-16);
    EXPECT_NEAR(PowerToDecibels(100), 20, 1e-13);
    EXPECT_NEAR(PowerToDecibels(0.5), -3.0102999566398121, 1e-13);
    // A curve of levels against a reference; no value below zero power.
    const std::vector<double> power{200, 1, 0, -1};
    std::vector<double> levels(4);
    PowerToDecibels(power, 2, levels);
    EXPECT_NEAR(levels[0], 20, 1e-13);
    EXPECT_NEAR(levels[1], -3.0102999566398121, 1e-13);
    EXPECT_EQ(levels[2], -std::numeric_limits<double>::infinity());
    EXPECT_EQ(levels[3], -std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(PowerOf(0, 0), 1);
    EXPECT_DOUBLE_EQ(PowerOf(0, 2), 0);
    EXPECT_NEAR(PowerOf(4, 0.5), 2, 1e-15);
}

TEST(NiceNumber, OneTwoFiveSteps) {
    EXPECT_EQ(NiceNumber(0), 0);
    EXPECT_DOUBLE_EQ(NiceNumber(0.5), 0.5);
    EXPECT_DOUBLE_EQ(NiceNumber(0.07), 0.05);
    EXPECT_DOUBLE_EQ(NiceNumber(3), 2);
    EXPECT_DOUBLE_EQ(NiceNumber(3.3), 5);
    EXPECT_DOUBLE_EQ(NiceNumber(8), 10);
    EXPECT_DOUBLE_EQ(NiceNumber(140), 100);
    EXPECT_DOUBLE_EQ(NiceNumber(150), 200);
    EXPECT_DOUBLE_EQ(NiceNumber(1.4142), 1);
    EXPECT_DOUBLE_EQ(NiceNumber(1.4143), 2);
    EXPECT_DOUBLE_EQ(NiceNumber(0.0999), 0.1);
    EXPECT_DOUBLE_EQ(NiceNumber(268), 200);
    EXPECT_THROW(NiceNumber(-1), EMathError);
}

TEST(FloatText, GeneralForm) {
    EXPECT_EQ(FloatToStrDot(0), "0");
    EXPECT_EQ(FloatToStrDot(0.5), "0.5");
    EXPECT_EQ(FloatToStrDot(-32768), "-32768");
    EXPECT_EQ(FloatToStrDot(0.30000000000000004), "0.3");
    EXPECT_EQ(FloatToStrDot(1.5e-7), "1.5E-7");
    EXPECT_EQ(FloatToStrDot(0.00001), "0.00001");
    EXPECT_EQ(FloatToStrDot(0.0000099), "9.9E-6");
    EXPECT_EQ(FloatToStrDot(999999999999999.0), "999999999999999");
    EXPECT_EQ(FloatToStrDot(1e15), "1E15");
    EXPECT_EQ(FloatToStrDot(123456.789), "123456.789");
    EXPECT_EQ(FloatToStrDot(std::numeric_limits<double>::infinity()), "");
    SeparatorScope comma(',');
    EXPECT_EQ(FloatToStrDot(0.5), "0.5");
    EXPECT_EQ(FloatToStr(0.5), "0,5");
}

TEST(FloatText, FormatSignificant) {
    EXPECT_EQ(FormatSignificant(6, 1), "1");
    EXPECT_EQ(FormatSignificant(6, 0.1), "0.1");
    EXPECT_EQ(FormatSignificant(6, 1.0 / 3), "0.333333");
    EXPECT_EQ(FormatSignificant(6, 0.5), "0.5");
    EXPECT_EQ(FormatSignificant(6, 20), "20");
    EXPECT_EQ(FormatSignificant(6, 1234.5), "1234.5");
    EXPECT_EQ(FormatSignificant(6, 0.30000000000000004), "0.3");
    EXPECT_EQ(FormatSignificant(6, 1.234567e-7), "1.23457E-7");
    EXPECT_EQ(FormatSignificant(5, 944.88188976377952), "944.88");
    EXPECT_EQ(FormatSignificant(8, 0.30000000000000004), "0.3");
    EXPECT_EQ(FormatSignificant(6, 0), "0");
    EXPECT_EQ(FormatSignificant(6, -2.5), "-2.5");
    EXPECT_EQ(FormatSignificant(1, 250), "300");
    EXPECT_EQ(FormatSignificant(6, 1.0027), "1.0027");
    SeparatorScope comma(',');
    EXPECT_EQ(FormatSignificant(6, 1.0 / 3), "0,333333");
    EXPECT_EQ(FormatSignificant(5, 944.88188976377952), "944,88");
}

TEST(FloatText, RoundSignificantDotAndPatterns) {
    EXPECT_EQ(RoundSignificantDot(6, -1), "-1");
    EXPECT_EQ(RoundSignificantDot(6, 0.1234567), "0.123457");
    EXPECT_EQ(RoundSignificantDot(6, 32768), "32768");
    EXPECT_EQ(RoundSignificantDot(6, -32768), "-32768");
    EXPECT_EQ(FormatFloatDot("0.######", 16000), "16000");
    EXPECT_EQ(FormatFloatDot("0.######", 44100.25), "44100.25");
    EXPECT_EQ(FormatFloatDot("0.######", 1.0 / 3), "0.333333");
    EXPECT_EQ(FormatFloatDot("0.00", 2.345), "2.35");
    EXPECT_EQ(FormatFloatDot("0.00", -0.001), "0.00");
    EXPECT_EQ(FormatFloatDot("0.00000E-0", 0), "0.00000E0");
    EXPECT_EQ(FormatFloatDot("0.00000E-0", 1234.5), "1.23450E3");
    EXPECT_EQ(FormatFloatDot("0e-0", 20000), "2e4");
    EXPECT_EQ(FormatFloatDot("0e-0", 0.03), "3e-2");
    EXPECT_EQ(FormatFloatDot("0E+0000", 32768), "3E+0004");
    EXPECT_EQ(FormatFloatDot("#.#", 1536.25), "1536.3");
    EXPECT_EQ(FormatFloatDot("#,##0", 1234567), "1,234,567");
    SeparatorScope comma(',');
    EXPECT_EQ(FormatFloatDot("0.######", 0.5), "0.5");
    EXPECT_EQ(FormatFloat("0.00", 0.5), "0,50");
}

TEST(FloatText, ReadingNumbers) {
    EXPECT_DOUBLE_EQ(StrToFloatDot("0.5"), 0.5);
    EXPECT_DOUBLE_EQ(StrToFloatDot(" -1.5e3 "), -1500);
    EXPECT_DOUBLE_EQ(StrToFloatDot("+2"), 2);
    EXPECT_DOUBLE_EQ(StrToFloatDot(".5"), 0.5);
    try {
        StrToFloatDot("");
        FAIL() << "empty text must not convert";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot convert empty string to number");
    }
    EXPECT_THROW(StrToFloatDot("abc"), EConvertError);
    EXPECT_THROW(StrToFloatDot("1,5"), EConvertError);
    EXPECT_THROW(StrToFloatDot("inf"), EConvertError);
    EXPECT_THROW(StrToFloatDot("nan"), EConvertError);
    EXPECT_THROW(StrToFloatDot("1e999"), EConvertError);
    EXPECT_THROW(StrToFloatDot("1e"), EConvertError);
    EXPECT_THROW(StrToFloatDot("-"), EConvertError);
    SeparatorScope comma(',');
    EXPECT_DOUBLE_EQ(StrToFloatDot("0.5"), 0.5);
    EXPECT_EQ(UserDecimalSeparator(), ',');
    EXPECT_DOUBLE_EQ(StrToFloat("0,5"), 0.5);
    EXPECT_THROW(StrToFloat("0.5"), EConvertError);
    double v = 7;
    EXPECT_FALSE(TryStrToFloat("x", v));
    EXPECT_EQ(v, 7);
}

TEST(FloatText, ReadingIntegers) {
    EXPECT_EQ(StrToInt("48128"), 48128);
    EXPECT_EQ(StrToInt("  -5"), -5);
    EXPECT_EQ(StrToInt("$1A"), 26);
    EXPECT_EQ(StrToInt("-2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_THROW(StrToInt("2147483648"), EConvertError);
    EXPECT_THROW(StrToInt("12 "), EConvertError);
    EXPECT_THROW(StrToInt(""), EConvertError);
    EXPECT_THROW(StrToInt("1.5"), EConvertError);
    int32_t v = 3;
    EXPECT_FALSE(TryStrToInt("99999999999999999999", v));
    EXPECT_EQ(v, 3);
}

TEST(Notes, NumbersNamesAndKeys) {
    EXPECT_NEAR(NoteNumber(440), 69, 1e-12);
    EXPECT_NEAR(NoteFrequency(60), 261.6255653005986, 1e-9);
    EXPECT_TRUE(IsBlackKey(61));
    EXPECT_FALSE(IsBlackKey(60));
    EXPECT_FALSE(IsBlackKey(64));
    EXPECT_TRUE(IsBlackKey(70));  // Bb4
    EXPECT_TRUE(IsBlackKey(-11)); // C#-1
    EXPECT_EQ(NoteName(0), "-");
    EXPECT_EQ(NoteName(-5), "-");
    EXPECT_EQ(NoteName(440), "A4");
    EXPECT_EQ(NoteName(880), "A5");
    EXPECT_EQ(NoteName(415.3), "Ab4");
    EXPECT_EQ(NoteName(261.63), "C4");
    EXPECT_EQ(NoteName(466.16), "Bb4");
    EXPECT_EQ(NoteName(27.5), "A0");
}

TEST(PeriodicShapes, WrapSkewTriangle) {
    const double pi = 3.14159265358979323846;
    for (double t : {-7.0, -1.0, 0.0, 1.0, 3.0, 6.5, 20.0})
        EXPECT_DOUBLE_EQ(SkewAngle(0.5, t), WrapAngle(t));
    EXPECT_NEAR(SkewAngle(0.25, pi / 2), pi, 1e-15);
    EXPECT_NEAR(WrapAngle(-pi / 2), 1.5 * pi, 1e-15);
    EXPECT_NEAR(TriangleWave(0), 0, 1e-15);
    EXPECT_NEAR(TriangleWave(pi / 2), 1, 1e-15);
    EXPECT_NEAR(TriangleWave(1.5 * pi), -1, 1e-15);
    EXPECT_NEAR(SkewCos(0.5, pi), -1, 1e-15);
}
