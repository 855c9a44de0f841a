#include "core/base/numtext.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace ravlon {

namespace {

std::atomic<char> gUserSeparator{'.'};

constexpr long double kLog2Of10 = 3.321928094887362347870319429489390175864831393L;
constexpr long double kLog10Of2 = 0.301029995663981195213738894724493026768189881L;
constexpr long double kPi = 3.141592653589793238462643383279502884197169399L;
constexpr long double kSqrt2 = 1.41421356237309505L;
constexpr long double kSqrt10 = 3.16227766016837933L;
constexpr long double kSqrt50 = 7.07106781186547524L;

void RequireFinite(double x) {
    if (std::isnan(x) || std::isinf(x)) throw EInvalidOp();
}

// Logarithm argument check shared by LogTen, LogTwo and PowerToDecibels.
void RequireLogArgument(double x) {
    if (std::isnan(x)) throw EInvalidOp();
    if (x == 0) throw EZeroDivide();
    if (x < 0) throw EInvalidOp();
    if (std::isinf(x)) throw EOverflow();
}

// Decimal digits of |x| rounded half away from zero: `digits` holds the
// significant digits (no leading zeros unless the value is 0), `exponent` is
// the power of ten of the first digit. glibc prints the exact binary value, so
// the rounding is made on the true decimal expansion.
struct Decimal {
    std::string digits;
    int exponent = 0;
    bool negative = false;
    bool zero = true;
};

Decimal ExactDecimal(double x) {
    Decimal d;
    d.negative = std::signbit(x) && x != 0;
    double a = std::fabs(x);
    if (a == 0) {
        d.digits.assign(1, '0');
        return d;
    }
    // 1 digit before the point and 767 after is enough for every double exactly.
    char buf[1100];
    int len = std::snprintf(buf, sizeof buf, "%.767e", a);
    std::string s(buf, static_cast<size_t>(len));
    size_t e = s.find('e');
    d.exponent = std::stoi(s.substr(e + 1));
    d.digits = s.substr(0, 1) + s.substr(2, e - 2);
    size_t last = d.digits.find_last_not_of('0');
    d.digits.erase(last + 1);
    d.zero = false;
    return d;
}

// Rounds the digit string to keep digits up to and including the one of power
// 10^minPower (half away from zero). May turn the value into zero.
void RoundAtPower(Decimal& d, int minPower) {
    if (d.zero) return;
    int keep = d.exponent - minPower + 1; // number of digits to keep
    if (keep >= static_cast<int>(d.digits.size())) return;
    if (keep < 0) {
        d.digits.assign(1, '0');
        d.zero = true;
        d.exponent = 0;
        return;
    }
    bool up = d.digits[static_cast<size_t>(keep)] >= '5';
    d.digits.erase(static_cast<size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') {
            d.digits[static_cast<size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            d.exponent += 1;
        } else {
            d.digits[static_cast<size_t>(i)] += 1;
        }
    }
    size_t last = d.digits.find_last_not_of('0');
    if (last == std::string::npos) {
        d.digits.assign(1, '0');
        d.zero = true;
        d.exponent = 0;
    } else {
        d.digits.erase(last + 1);
    }
}

// Digit of power 10^p of the (rounded) decimal value.
char DigitAt(const Decimal& d, int p) {
    if (d.zero) return '0';
    int idx = d.exponent - p;
    if (idx < 0 || idx >= static_cast<int>(d.digits.size())) return '0';
    return d.digits[static_cast<size_t>(idx)];
}

std::string Trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
    return std::string(text.substr(b, e - b));
}

// Power of ten of the first significant digit of a plain decimal text such as
// "0.00012e-400" (used only to tell overflow from underflow).
long DecimalScale(const std::string& s) {
    size_t e = s.find_first_of("eE");
    std::string mant = s.substr(0, e);
    long exp10 = 0;
    if (e != std::string::npos) {
        size_t i = e + 1;
        bool neg = i < s.size() && s[i] == '-';
        if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
        for (; i < s.size() && exp10 < 100000; ++i) exp10 = exp10 * 10 + (s[i] - '0');
        if (neg) exp10 = -exp10;
    }
    size_t point = mant.find('.');
    if (point == std::string::npos) point = mant.size();
    size_t first = mant.find_first_of("123456789");
    if (first == std::string::npos) return -100000;
    long pos =
        first < point ? static_cast<long>(point - first) - 1 : -static_cast<long>(first - point);
    return pos + exp10;
}

// Parses a decimal number with the given separator; the whole text (blanks
// around it aside) must be used. No inf/nan, no hexadecimal.
bool ParseFloat(std::string_view text, char separator, double& value) {
    std::string t = Trim(text);
    if (t.empty()) return false;
    std::string s;
    s.reserve(t.size());
    size_t i = 0;
    bool neg = false;
    if (t[0] == '+' || t[0] == '-') {
        neg = t[0] == '-';
        i = 1;
    }
    bool digits = false;
    for (; i < t.size(); ++i) {
        char c = t[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            s += c;
        } else if (c == separator) {
            s += '.';
        } else if (c == 'e' || c == 'E' || c == '+' || c == '-') {
            s += c;
        } else {
            return false;
        }
    }
    if (!digits) return false;
    if (s.empty() || s[0] == '+' || s[0] == '-') return false;
    double v = 0;
    auto res = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        // Underflow reads as 0; overflow is not a readable number.
        if (res.ptr != s.data() + s.size() || DecimalScale(s) > 0) return false;
        value = neg ? -0.0 : 0.0;
        return true;
    }
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return false;
    if (!std::isfinite(v)) return false;
    value = neg ? -v : v;
    return true;
}

[[noreturn]] void ThrowFloatConvert(std::string_view text) {
    if (text.empty()) throw EConvertError("Cannot convert empty string to number");
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

// --- picture patterns ---------------------------------------------------------

struct Picture {
    int intZeros = 0;   // '0' before the decimal point
    int intDigits = 0;  // '0' and '#' before the decimal point
    int fracZeros = 0;  // '0' after the point
    int fracDigits = 0; // '0' and '#' after the point
    bool point = false; // the pattern has a decimal point
    bool thousands = false;
    bool scientific = false;
    char expChar = 'E';
    bool expPlus = false; // "E+": sign always
    int expDigits = 0;
    std::string prefix, suffix; // literals before the first / after the last placeholder
};

Picture ParsePicture(std::string_view section) {
    Picture p;
    bool seenDigit = false;
    bool inExp = false;
    for (size_t i = 0; i < section.size(); ++i) {
        char c = section[i];
        if (inExp) {
            if (c == '0') {
                ++p.expDigits;
                continue;
            }
            inExp = false;
        }
        if (c == '"' || c == '\'') {
            size_t j = section.find(c, i + 1);
            std::string lit(section.substr(
                i + 1, j == std::string_view::npos ? std::string_view::npos : j - i - 1));
            (seenDigit ? p.suffix : p.prefix) += lit;
            if (j == std::string_view::npos) break;
            i = j;
        } else if (c == '0' || c == '#') {
            seenDigit = true;
            if (p.point) {
                ++p.fracDigits;
                if (c == '0') p.fracZeros = p.fracDigits;
            } else {
                ++p.intDigits;
                if (c == '0') ++p.intZeros;
            }
        } else if (c == '.') {
            if (!p.point) p.point = true;
        } else if (c == ',') {
            p.thousands = true;
        } else if ((c == 'E' || c == 'e') && i + 1 < section.size() &&
                   (section[i + 1] == '+' || section[i + 1] == '-')) {
            p.scientific = true;
            p.expChar = c;
            p.expPlus = section[i + 1] == '+';
            ++i;
            inExp = true;
        } else {
            (seenDigit ? p.suffix : p.prefix) += c;
        }
    }
    return p;
}

std::string GroupThousands(const std::string& digits) {
    std::string out;
    int n = static_cast<int>(digits.size());
    for (int i = 0; i < n; ++i) {
        out += digits[static_cast<size_t>(i)];
        int left = n - 1 - i;
        if (left > 0 && left % 3 == 0) out += ',';
    }
    return out;
}

// Formats |x| with one section; the sign is handled by the caller.
std::string FormatSection(const Picture& p, double x, char separator, bool& isZero) {
    Decimal d = ExactDecimal(x);
    std::string out;
    if (p.scientific) {
        int mantDigits = std::max(1, p.intDigits) + p.fracDigits;
        int intPlaces = std::max(1, p.intDigits);
        int exp10 = 0;
        if (!d.zero) {
            // First digit lands in the leftmost integer place.
            exp10 = d.exponent - (intPlaces - 1);
            RoundAtPower(d, d.exponent - mantDigits + 1);
            exp10 = d.exponent - (intPlaces - 1);
        }
        isZero = d.zero;
        std::string intPart;
        for (int k = intPlaces - 1; k >= 0; --k) intPart += DigitAt(d, exp10 + k);
        // Drop leading zeros beyond the '0' placeholders (at least one digit).
        size_t lead = 0;
        int minInt = std::max(1, p.intZeros);
        while (lead + 1 < intPart.size() && intPart[lead] == '0' &&
               static_cast<int>(intPart.size() - lead) > minInt)
            ++lead;
        intPart.erase(0, lead);
        out += intPart;
        std::string frac;
        for (int k = 1; k <= p.fracDigits; ++k) frac += DigitAt(d, exp10 - k);
        while (static_cast<int>(frac.size()) > p.fracZeros && !frac.empty() && frac.back() == '0')
            frac.pop_back();
        if (!frac.empty()) {
            out += separator;
            out += frac;
        }
        out += p.expChar;
        if (exp10 < 0)
            out += '-';
        else if (p.expPlus)
            out += '+';
        std::string e = std::to_string(std::abs(exp10));
        while (static_cast<int>(e.size()) < std::max(1, p.expDigits)) e.insert(e.begin(), '0');
        out += e;
    } else {
        RoundAtPower(d, -p.fracDigits);
        isZero = d.zero;
        std::string intPart;
        int top = d.zero ? 0 : d.exponent;
        for (int k = std::max(top, 0); k >= 0; --k) intPart += DigitAt(d, k);
        size_t lead = 0;
        while (lead < intPart.size() && intPart[lead] == '0') ++lead;
        intPart.erase(0, lead);
        while (static_cast<int>(intPart.size()) < p.intZeros) intPart.insert(intPart.begin(), '0');
        if (p.thousands) intPart = GroupThousands(intPart);
        out += intPart;
        std::string frac;
        for (int k = 1; k <= p.fracDigits; ++k) frac += DigitAt(d, -k);
        while (static_cast<int>(frac.size()) > p.fracZeros && !frac.empty() && frac.back() == '0')
            frac.pop_back();
        if (!frac.empty()) {
            out += separator;
            out += frac;
        }
    }
    return p.prefix + out + p.suffix;
}

std::vector<std::string_view> SplitSections(std::string_view pattern) {
    std::vector<std::string_view> sections;
    size_t start = 0;
    char quote = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            sections.push_back(pattern.substr(start, i - start));
            start = i + 1;
        }
    }
    sections.push_back(pattern.substr(start));
    return sections;
}

} // namespace

char UserDecimalSeparator() {
    return gUserSeparator.load(std::memory_order_relaxed);
}
void SetUserDecimalSeparator(char separator) {
    gUserSeparator.store(separator, std::memory_order_relaxed);
}

// --- Rounding and checked arithmetic -----------------------------------------

int64_t Round64(double x) {
    RequireFinite(x);
    double r = std::nearbyint(x); // default rounding mode: ties to even
    if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) throw ERangeError();
    return static_cast<int64_t>(r);
}

int32_t Round(double x) {
    int64_t r = Round64(x);
    if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
        throw ERangeError();
    return static_cast<int32_t>(r);
}

int64_t Trunc64(double x) {
    RequireFinite(x);
    double r = std::trunc(x);
    if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) throw ERangeError();
    return static_cast<int64_t>(r);
}

int32_t Trunc(double x) {
    int64_t r = Trunc64(x);
    if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
        throw ERangeError();
    return static_cast<int32_t>(r);
}

double Frac(double x) {
    RequireFinite(x);
    return x - std::trunc(x);
}

double Checked(double x) {
    if (std::isnan(x)) throw EInvalidOp();
    if (std::isinf(x)) throw EOverflow();
    return x;
}

double FDiv(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) throw EInvalidOp();
    if (b == 0) {
        if (a == 0) throw EInvalidOp();
        throw EZeroDivide();
    }
    return Checked(a / b);
}

double FSqrt(double x) {
    if (std::isnan(x) || x < 0) throw EInvalidOp();
    return Checked(std::sqrt(x));
}

int64_t IDiv(int64_t a, int64_t b) {
    if (b == 0) throw EZeroDivide();
    if (a == std::numeric_limits<int64_t>::min() && b == -1) throw ERangeError();
    return a / b;
}

// --- Arithmetic -----------------------------------------------------------------

double LogTwo(double x) {
    RequireLogArgument(x);
    return static_cast<double>(std::log2(static_cast<long double>(x)));
}

double LogTen(double x) {
    RequireLogArgument(x);
    return static_cast<double>(std::log2(static_cast<long double>(x)) * kLog10Of2);
}

double PowerOfTwo(double x) {
    if (std::isnan(x)) throw EInvalidOp();
    return Checked(static_cast<double>(std::exp2(static_cast<long double>(x))));
}

double PowerOfTen(double x) {
    if (std::isnan(x)) throw EInvalidOp();
    return Checked(static_cast<double>(std::exp2(static_cast<long double>(x) * kLog2Of10)));
}

double PowerToDecibels(double x) {
    RequireLogArgument(x);
    return static_cast<double>(10.0L / kLog2Of10 * std::log2(static_cast<long double>(x)));
}

void PowerToDecibels(std::span<const double> power, double reference, std::span<double> levels) {
    for (size_t k = 0; k < power.size(); ++k)
        levels[k] = power[k] > 0 ? 10.0 * std::log10(power[k] / reference)
                                 : -std::numeric_limits<double>::infinity();
}

double PowerOf(double base, double exponent) {
    if (std::isnan(base) || std::isnan(exponent)) throw EInvalidOp();
    if (base == 0) return exponent == 0 ? 1.0 : 0.0;
    if (base < 0) throw EInvalidOp();
    return Checked(static_cast<double>(
        std::exp(static_cast<long double>(exponent) * std::log(static_cast<long double>(base)))));
}

double NiceNumber(double x) {
    if (x == 0) return 0;
    double l = LogTen(x);
    int64_t k = Trunc64(l);
    if (l < 0) k -= 1;
    double base = PowerOfTen(static_cast<double>(k));
    long double r = static_cast<long double>(x) / base;
    int factor = r < kSqrt2 ? 1 : r < kSqrt10 ? 2 : r < kSqrt50 ? 5 : 10;
    return Checked(base * factor);
}

int32_t CeilInt(double x) {
    RequireFinite(x);
    double t = std::trunc(x);
    double r = (x >= 0 && x - t > 0) ? t + 1 : t;
    if (r < -2147483648.0 || r > 2147483647.0) throw ERangeError();
    return static_cast<int32_t>(r);
}

int32_t FloorInt(double x) {
    RequireFinite(x);
    double t = std::trunc(x);
    double r = (x < 0 && x - t != 0) ? t - 1 : t;
    if (r < -2147483648.0 || r > 2147483647.0) throw ERangeError();
    return static_cast<int32_t>(r);
}

// --- Numbers and text ---------------------------------------------------------------

std::string FloatToStrSep(double x, char separator) {
    RequireFinite(x);
    Decimal d = ExactDecimal(x);
    if (d.zero) return "0";
    RoundAtPower(d, d.exponent - 14); // 15 significant digits
    std::string sign = d.negative ? "-" : "";
    const std::string& g = d.digits;
    if (d.exponent < -5 || d.exponent >= 15) {
        std::string out = sign + g.substr(0, 1);
        if (g.size() > 1) out += separator + g.substr(1);
        out += 'E';
        out += std::to_string(d.exponent);
        return out;
    }
    std::string out = sign;
    if (d.exponent < 0) {
        out += '0';
        out += separator;
        out += std::string(static_cast<size_t>(-d.exponent - 1), '0');
        out += g;
    } else {
        size_t intLen = static_cast<size_t>(d.exponent) + 1;
        if (g.size() <= intLen) {
            out += g + std::string(intLen - g.size(), '0');
        } else {
            out += g.substr(0, intLen);
            out += separator;
            out += g.substr(intLen);
        }
    }
    return out;
}

std::string FloatToStr(double x) {
    return FloatToStrSep(x, UserDecimalSeparator());
}

std::string FloatToStrDot(double x) {
    if (!std::isfinite(x)) return "";
    return FloatToStrSep(x, '.');
}

std::string FormatFloatSep(std::string_view pattern, double x, char separator) {
    RequireFinite(x);
    std::vector<std::string_view> sections = SplitSections(pattern);
    bool negative = std::signbit(x) && x != 0;
    // With a negative section the sign comes from the pattern.
    if (negative && sections.size() >= 2 && !sections[1].empty()) {
        bool zero = false;
        return FormatSection(ParsePicture(sections[1]), std::fabs(x), separator, zero);
    }
    Picture p = ParsePicture(sections[0]);
    bool zero = false;
    std::string body = FormatSection(p, std::fabs(x), separator, zero);
    if (zero && sections.size() >= 3 && !sections[2].empty()) {
        bool z2 = false;
        return FormatSection(ParsePicture(sections[2]), 0.0, separator, z2);
    }
    // A value that rounds to zero is written without a minus sign.
    if (negative && !zero) body = "-" + body;
    return body;
}

std::string FormatFloat(std::string_view pattern, double x) {
    return FormatFloatSep(pattern, x, UserDecimalSeparator());
}

std::string FormatFloatDot(std::string_view pattern, double x) {
    return FormatFloatSep(pattern, x, '.');
}

std::string FormatSignificant(int n, double x) {
    char sep = UserDecimalSeparator();
    std::string pattern =
        n < 2 ? "0E-0" : "0." + std::string(static_cast<size_t>(n - 1), '0') + "E-0";
    std::string s = FormatFloatSep(pattern, x, sep);
    double back = StrToFloatSep(s, sep);
    std::string g = FloatToStrSep(back, sep);
    return g.size() > s.size() ? s : g;
}

std::string RoundSignificantDot(int n, double x) {
    char sep = UserDecimalSeparator();
    std::string pattern =
        n < 2 ? "0E+0000" : "0." + std::string(static_cast<size_t>(n - 1), '0') + "E+0000";
    std::string s = FormatFloatSep(pattern, x, sep);
    return FloatToStrDot(StrToFloatSep(s, sep));
}

double StrToFloatSep(std::string_view text, char separator) {
    double v = 0;
    if (!ParseFloat(text, separator, v)) ThrowFloatConvert(text);
    return v;
}

double StrToFloatDot(std::string_view text) {
    return StrToFloatSep(text, '.');
}

double StrToFloat(std::string_view text) {
    return StrToFloatSep(text, UserDecimalSeparator());
}

bool TryStrToFloat(std::string_view text, double& value) {
    return ParseFloat(text, UserDecimalSeparator(), value);
}

bool TryStrToInt(std::string_view text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        neg = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        v = v * base + digit;
        if (v > 2147483648LL) return false;
    }
    if (neg) v = -v;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

int32_t StrToInt(std::string_view text) {
    int32_t v = 0;
    if (!TryStrToInt(text, v))
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return v;
}

// --- Musical notes ------------------------------------------------------------------------

double NoteNumber(double f) {
    return 12.0 * LogTwo(FDiv(f, 440.0)) + 69.0;
}

double NoteFrequency(double n) {
    return 440.0 * PowerOfTwo((n - 69.0) / 12.0);
}

bool IsBlackKey(int64_t n) {
    return ((7 * n + 18) % 12) < 5;
}

std::string NoteName(double f) {
    if (!(f > 0)) return "-";
    static const char* const kNames[12] = {"C",  "C#", "D",  "Eb", "E",  "F",
                                           "F#", "G",  "Ab", "A",  "Bb", "B"};
    int64_t k = Round64(NoteNumber(f));
    std::string name;
    if (k >= -124) name = kNames[((k % 12) + 12) % 12];
    return name + std::to_string((k + 108) / 12 - 10);
}

// --- Periodic shapes ------------------------------------------------------------------------

double WrapAngle(double theta) {
    long double twoPi = 2 * kPi;
    long double t = theta;
    return static_cast<double>(t - twoPi * std::floor(t / twoPi));
}

double SkewAngle(double s, double theta) {
    long double twoPi = 2 * kPi;
    long double t = WrapAngle(theta);
    if (twoPi * s > t) return static_cast<double>(FDiv(static_cast<double>(t * 0.5L), s));
    return static_cast<double>((t - twoPi) * 0.5L / (1.0L - s) + twoPi);
}

double TriangleWave(double theta) {
    long double t = WrapAngle(theta);
    long double b = 2 * t / kPi;
    if (t < kPi / 2) return static_cast<double>(b);
    if (t < 3 * kPi / 2) return static_cast<double>(2 - b);
    return static_cast<double>(b - 4);
}

double SkewCos(double s, double theta) {
    return std::cos(SkewAngle(s, theta));
}

double SkewTriangle(double s, double theta) {
    return TriangleWave(SkewAngle(s, theta));
}

} // namespace ravlon
