// The grid's number scanner against strtod: same value bit for bit, same
// stopping place, on hand-picked boundaries and a large randomized set.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "scan_number.h"

namespace {

uint64_t bits(double v)
{
    uint64_t b;
    memcpy(&b, &v, sizeof b);
    return b;
}

// The tables of words are laid out by hand (clang-format off).

// Compares the scanner on [s, s+n) with strtod on a NUL-terminated copy,
// twice: in a buffer of exactly n bytes (the sanitizers catch a read past
// end) and followed by blanks, as in a grid, where longer reads are allowed.
::testing::AssertionResult same_as_strtod(const std::string &text, size_t n)
{
    std::string copy = text.substr(0, n);
    char *stop;
    double want = strtod(copy.c_str(), &stop);
    size_t want_used = static_cast<size_t>(stop - copy.c_str());
    for (size_t pad : {size_t(0), size_t(32)}) {
        char *buf = static_cast<char *>(malloc(n + pad ? n + pad : 1));
        memcpy(buf, text.data(), n);
        memset(buf + n, ' ', pad);
        double got = 12345.0;
        size_t used = static_cast<size_t>(scan_number(buf, buf + n + pad, &got) - buf);
        free(buf);
        if (used != want_used || (want_used != 0 && bits(got) != bits(want))) {
            char msg[256];
            snprintf(msg, sizeof msg,
                     "expected %a using %zu bytes, got %a using %zu bytes (%zu blanks after)", want,
                     want_used, got, used, pad);
            return ::testing::AssertionFailure() << "\"" << copy << "\": " << msg;
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult same_as_strtod(const std::string &text)
{
    return same_as_strtod(text, text.size());
}

TEST(ScanNumber, CommonGridShapes)
{
    // clang-format off
    for (const char *s : {"0", "-0", "+0", "0.0", "-0.00", "1234.56", "-12.5", "+7", "007.50",
                          ".5", "-.25", "5.", "1e3", "1E-3", "2.5e+10", "123456789012345",
                          "9007199254740992", "9007199254740993", "0.1", "0.3", "1e22", "1e23",
                          "1e-22", "1e-23", "4503599627370497.5", "12345678901234567890"})
        EXPECT_TRUE(same_as_strtod(s));
    // clang-format on
}

TEST(ScanNumber, StopsWhereStrtodStops)
{
    // clang-format off
    for (const char *s : {"", "-", "+", ".", "-.", "+-1", "--1", "e5", ".e5", "1e", "1e+",
                          "1e-x", "1.5.2", "12abc", "1,5", "3 4", "1..2", "0x", "0xg", "1x2", "12:",
                          "3/4", "7:5", "1.2:", "-9999\t", "5e+-3", "abc"})
        EXPECT_TRUE(same_as_strtod(s));
    // clang-format on
}

TEST(ScanNumber, SpecialWordsAndHexadecimal)
{
    // clang-format off
    for (const char *s : {"inf", "-inf", "+INF", "infinity", "Infinity", "infinit", "infx", "in",
                          "nan", "-nan", "NaN", "nan(123)", "nan(0x7ff)", "nan(abc_9)", "nan(",
                          "nan()", "0x1p3", "-0x1.8p-1", "0X.8P1", "0x1p", "0x1.fffffffffffffp1023",
                          "0x1p-1074", "0x1p-1075", "0x1p1024", "+0x10"})
        EXPECT_TRUE(same_as_strtod(s));
    // clang-format on
}

TEST(ScanNumber, BlankEndsTheNumberEvenInsideNanParentheses)
{
    // A grid value never spans a blank. MinGW's strtod reads "nan(1 2)"
    // whole; the scanner gives what the C standard's form gives, "nan" and
    // no more, on every platform.
    for (size_t pad : {size_t(0), size_t(32)}) {
        std::string text = "nan(1 2)" + std::string(pad, ' ');
        double v = 0.0;
        const char *stop = scan_number(text.data(), text.data() + text.size(), &v);
        EXPECT_EQ(stop - text.data(), 3);
        EXPECT_TRUE(std::isnan(v));
    }
}

TEST(ScanNumber, RangeBoundariesAndSubnormals)
{
    for (const char *s :
         {"1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308", "1e309", "-1e400",
          "2.2250738585072014e-308", "2.2250738585072011e-308", "4.9406564584124654e-324",
          "2.4703282292062327e-324", "2.4703282292062328e-324", "1e-400", "-1e-400", "0e999999999999",
          "1e-99999999999999999999", "1e99999999999999999999", "0.000000000000000000000000000001",
          "100000000000000000000000000000000"})
        EXPECT_TRUE(same_as_strtod(s));
    // A mantissa far longer than any double holds, on both sides of a tie.
    std::string tie = "9007199254740993";
    EXPECT_TRUE(same_as_strtod(tie + std::string(400, '0')));
    EXPECT_TRUE(same_as_strtod(tie + "." + std::string(400, '0') + "1"));
    EXPECT_TRUE(same_as_strtod("0x" + std::string(300, 'f') + "p-2000"));
}

TEST(ScanNumber, NeverReadsPastEnd)
{
    // Every prefix of a number is scanned as strtod scans that prefix alone.
    for (const char *s : {"-1234.5678e-12", "0x1.8p3", "infinity", "nan(12)", "1e22", "-1234567.1234567x",
                          "+1234567.12345678", "1234567.1234567e-3"}) {
        std::string t = s;
        for (size_t n = 0; n <= t.size(); n++) EXPECT_TRUE(same_as_strtod(t, n)) << n;
    }
}

// Random decimal text of many shapes: digit counts, leading zeros,
// exponents near the limits, signs, a trailing byte now and then.
std::string random_decimal(std::mt19937_64 &rng)
{
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::string s;
    int sign = pick(8);
    if (sign == 0)
        s += '-';
    else if (sign == 1)
        s += '+';
    int shape = pick(4);
    int int_digits = shape == 0 ? pick(3) : shape == 1 ? pick(8) : shape == 2 ? pick(20) : pick(40);
    int frac_digits = pick(3) == 0 ? -1 : shape == 3 ? pick(40) : pick(10);
    if (pick(10) == 0) s += std::string(static_cast<size_t>(pick(5)), '0');
    for (int i = 0; i < int_digits; i++) s += static_cast<char>('0' + pick(10));
    if (frac_digits >= 0) {
        s += '.';
        for (int i = 0; i < frac_digits; i++) s += static_cast<char>('0' + pick(10));
    }
    if (pick(3) == 0) {
        s += pick(2) ? 'e' : 'E';
        int es = pick(3);
        if (es == 1)
            s += '-';
        else if (es == 2)
            s += '+';
        int range = pick(4);
        int e = range == 0 ? pick(23) : range == 1 ? pick(30) : range == 2 ? 280 + pick(60) : pick(400);
        if (pick(20) != 0) s += std::to_string(e);
    }
    if (pick(10) == 0) s += " x.e+-0:/"[pick(9)];
    return s;
}

TEST(ScanNumber, RandomDecimalTextMatchesStrtod)
{
    std::mt19937_64 rng(20240611);
    int failures = 0;
    for (int i = 0; i < 400000 && failures < 20; i++) {
        std::string text = random_decimal(rng);
        if (!same_as_strtod(text)) {
            EXPECT_TRUE(same_as_strtod(text));
            failures++;
        }
    }
    EXPECT_EQ(failures, 0);
}

// Grid values of every short shape followed by a separator and the next
// value: the fast paths read whole 8-byte words, so the end of a number can
// fall anywhere in a word with digits, points or signs after it.
TEST(ScanNumber, ShortValuesBesideTheirNeighboursMatchStrtod)
{
    std::mt19937_64 rng(6);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    int failures = 0;
    for (int i = 0; i < 200000 && failures < 20; i++) {
        std::string s = pick(4) == 0 ? "-" : "";
        int int_digits = pick(9), frac_digits = pick(10) - 1;
        if (int_digits == 0 && frac_digits < 0) frac_digits = 0;  // strtod would skip blanks
        for (int k = 0; k < int_digits; k++) s += static_cast<char>('0' + pick(10));
        if (frac_digits >= 0) s += '.';
        for (int k = 0; k < frac_digits; k++) s += static_cast<char>('0' + pick(10));
        s += " \t\n\r,.e-+5xE"[pick(12)];
        s += "12.5 -7 3.25e1"[pick(14)];
        s += "0.5 9";
        if (!same_as_strtod(s)) {
            EXPECT_TRUE(same_as_strtod(s));
            failures++;
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(ScanNumber, RandomDoublesPrintedManyWaysMatchStrtod)
{
    // Random bit patterns (subnormals and extremes included) printed with
    // round-trip, short, fixed and hexadecimal formats.
    std::mt19937_64 rng(7);
    const char *formats[] = {"%.17g", "%.15g", "%.6g", "%.2f", "%.20e", "%a", "%.3e", "%.25g"};
    int failures = 0;
    char text[512];
    for (int i = 0; i < 200000 && failures < 20; i++) {
        uint64_t b = rng();
        if (i % 4 == 0) b &= 0x800fffffffffffffull;  // subnormal
        double v;
        memcpy(&v, &b, sizeof v);
        if (i % 4 == 1) v = static_cast<double>(static_cast<int64_t>(rng() % 2000000) - 1000000) / 100.0;
        snprintf(text, sizeof text, formats[i % 8], v);
        if (!same_as_strtod(text)) {
            EXPECT_TRUE(same_as_strtod(text));
            failures++;
        }
    }
    EXPECT_EQ(failures, 0);
}

}  // namespace
