// Numeric text and arithmetic routines shared by every part of the program:
// rounding rules, checked floating-point arithmetic, numbers to text and back,
// decibels, nice plot steps, musical notes and warped periodic shapes.
//
// All routines are stateless and may be called from any thread, except that
// the user's decimal separator (SetUserDecimalSeparator) is set once by the
// UI thread at start-up (or by a test) before anything formats numbers.
#pragma once

#include "core/base/errors.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ravlon {

// --- The user's decimal separator -------------------------------------------
// Numbers shown to the user use this character; files always use '.'.
// The UI layer sets it from the user's locale; tests set ',' to check both.
char UserDecimalSeparator();
void SetUserDecimalSeparator(char separator);

// --- Rounding and checked arithmetic -----------------------------------------
// Round: nearest, ties to even (-0.5 -> 0, 0.5 -> 0, 1.5 -> 2, 2.5 -> 2).
// Non-finite input raises EInvalidOp; a result outside 32-bit Integer raises ERangeError.
int32_t Round(double x);
// Same rule, 64-bit result (ERangeError outside int64).
int64_t Round64(double x);
// Trunc: toward zero; the same failures as Round.
int32_t Trunc(double x);
int64_t Trunc64(double x);
// Frac(x) = x - Trunc(x).
double Frac(double x);

// Checks a floating-point result: inf raises EOverflow, NaN raises EInvalidOp.
double Checked(double x);
// a / b with the program's failure rules: b == 0 raises EZeroDivide (EInvalidOp for 0/0).
double FDiv(double a, double b);
// sqrt with EInvalidOp for a negative argument.
double FSqrt(double x);
// Integer division truncating toward zero; b == 0 raises EZeroDivide.
int64_t IDiv(int64_t a, int64_t b);

// --- Arithmetic ---------------------------------------------------------------
double LogTen(double x);          // log10(x); x <= 0 raises an EMathError
double LogTwo(double x);          // log2(x); x <= 0 raises an EMathError
double PowerOfTen(double x);      // 10^x; overflow raises EOverflow
double PowerOfTwo(double x);      // 2^x
double PowerToDecibels(double x); // 10*log10(x), the level of a power quantity
// The levels of a curve: levels[k] = 10*log10(power[k] / reference) for every
// k < power.size() (levels holds as many), -inf where power[k] is not > 0, in
// double precision: a band decay has thousands of points and is evaluated at
// every repaint, and the extended precision of the single value takes ten
// times as long without changing a regression over them.
void PowerToDecibels(std::span<const double> power, double reference, std::span<double> levels);
double PowerOf(double base, double exponent);
double NiceNumber(double x); // 1, 2, 5 or 10 times a power of ten; 0 for 0
int32_t CeilInt(double x);   // ERangeError outside 32 bits
int32_t FloorInt(double x);

// --- Numbers and text ----------------------------------------------------------
// General float-to-text form: up to 15 significant digits, scientific below
// 1E-5 or from 1E15 on, exponent "E" with a minus sign only and no leading
// zeros (1.5E-7), the given decimal separator.
std::string FloatToStrSep(double x, char separator);
// General form with the user's separator (numbers shown to the user).
std::string FloatToStr(double x);
// General form with '.'; empty text when the value cannot be written (inf, NaN).
std::string FloatToStrDot(double x);

// Formats x with a picture pattern: '0' and '#' digit placeholders, '.' decimal
// point, ',' thousands separator, "E+0"/"E-0"/"e+0"/"e-0" exponents, up to three
// sections separated by ';' (positive;negative;zero), quoted literals.
// Digits round half away from zero, as a decimal string.
std::string FormatFloatSep(std::string_view pattern, double x, char separator);
std::string FormatFloat(std::string_view pattern, double x);    // user's separator
std::string FormatFloatDot(std::string_view pattern, double x); // '.'

// x to n significant digits, the shorter of scientific and general form, with
// the user's separator (main window: 6, views: 5, axis labels: 8).
std::string FormatSignificant(int n, double x);
// x to n significant digits in general form with '.' (numbers of "view" items).
std::string RoundSignificantDot(int n, double x);

// Text to number with '.' as separator. Leading and trailing blanks are allowed.
// Empty text raises EConvertError "Cannot convert empty string to number";
// other unreadable text raises EConvertError "'text' is not a valid floating point value".
double StrToFloatDot(std::string_view text);
// Text to number with the given / the user's separator (edits); same errors.
double StrToFloatSep(std::string_view text, char separator);
double StrToFloat(std::string_view text);
bool TryStrToFloat(std::string_view text, double& value);
// Decimal integer text (leading blanks, optional sign, or '$' hexadecimal) to a
// 32-bit Integer; EConvertError "'text' is not a valid integer value" otherwise.
int32_t StrToInt(std::string_view text);
bool TryStrToInt(std::string_view text, int32_t& value);

// --- Musical notes (equal temperament, note 69 = A4 = 440 Hz) -------------------
double NoteNumber(double f);
double NoteFrequency(double n);
bool IsBlackKey(int64_t n);
std::string NoteName(double f);

// --- Periodic shapes (window functions) -------------------------------------------
double WrapAngle(double theta);
double SkewAngle(double s, double theta);
double TriangleWave(double theta);
double SkewCos(double s, double theta);
double SkewTriangle(double s, double theta);

} // namespace ravlon
