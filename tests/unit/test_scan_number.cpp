// The grid's number scanner against strtod: same value bit for bit, same
// stopping place, on hand-picked boundaries and a large randomized set;
// and the words read several at a time (scan_words, each of its ways)
// against strtod word by word, wherever they fall in the vector lanes.
#include <gtest/gtest.h>

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

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

// Reads the words of text as the grid reader does: scan_words for as many
// as it takes (at most row at a time), scan_number for the word it stops
// at, in each way the processor has (the exact way alone, then each vector
// way). The text lies in a buffer of its exact size with SCAN_READS_BEFORE
// bytes before it (the sanitizers catch a read past either), after skip
// bytes of that buffer's start, so a word falls at every place of a 16- or
// 32-byte lane. Every value must be strtod's for its word, and scan_words
// must never take a word strtod does not read whole: it stops at or before
// the first one. Where every word is of the common shape and the text ends
// with a whole block of blanks, a vector way takes them all.
::testing::AssertionResult words_as_strtod(const std::string &text, int row)
{
    std::vector<std::string> words;
    for (size_t i = 0; i < text.size();) {
        size_t j = i;
        while (j < text.size() && !strchr(" \t\n\v\f\r", text[j])) j++;
        if (j > i) words.push_back(text.substr(i, j - i));
        i = j + 1;
    }
    // Whether the vector ways must take every word: all of the common
    // shape, the last with a whole block of blanks after it.
    bool all_common = text.size() >= 32 && text.find_first_not_of(' ', text.size() - 32) == std::string::npos;
    for (const std::string &w : words) {
        size_t digits = 0, points = 0, i = w[0] == '-' || w[0] == '+';
        for (; i < w.size() && (isdigit(static_cast<unsigned char>(w[i])) || w[i] == '.'); i++)
            w[i] == '.' ? points++ : digits++;
        all_common = all_common && i == w.size() && digits >= 1 && digits <= 15 && points <= 1;
    }
    const int best = scan_detail::vector_level;
    for (int level = 0; level <= best; level++) {
        scan_detail::vector_level = level;
        char *buf = static_cast<char *>(malloc(SCAN_READS_BEFORE + text.size() + 1));
        memset(buf, '7', SCAN_READS_BEFORE);  // digits before the text are no word of it
        memcpy(buf + SCAN_READS_BEFORE, text.data(), text.size());
        const char *p = buf + SCAN_READS_BEFORE, *end = p + text.size();
        // A value past the ones stored would overwrite the next cell: the
        // slots after them must keep their mark.
        const double mark = -1.0 / 3.0;
        std::vector<double> got(words.size() + 1, mark);
        std::string fault;
        size_t c = 0, left = 0;  // words read by scan_number
        while (c < words.size() && fault.empty()) {
            int want = static_cast<int>(words.size() - c) < row ? static_cast<int>(words.size() - c) : row;
            const char *before = p;
            int taken = scan_words(&p, end, &got[c], want);
            for (size_t i = c + static_cast<size_t>(taken > 0 ? taken : 0); i < got.size(); i++)
                if (bits(got[i]) != bits(mark)) fault = "stored past the values it took";
            for (int i = 0; i < taken && fault.empty(); i++) {
                char *stop;
                strtod(words[c + static_cast<size_t>(i)].c_str(), &stop);
                if (*stop) fault = "took \"" + words[c + static_cast<size_t>(i)] + "\", not a whole number";
            }
            if (taken < 0 || taken > want || p < before) fault = "moved back or took too many";
            if (level == 0 && taken != 0) fault = "took words in the exact way";
            c += static_cast<size_t>(taken);
            if (c == words.size() || !fault.empty()) break;
            if (taken == want) continue;  // a row filled: the next one goes to scan_words, as in the reader
            while (p < end && strchr(" \t\n\v\f\r", *p)) p++;
            const char *q = scan_number(p, end, &got[c]);
            if (q != p + words[c].size()) break;  // a word that is no number: the reader stops there
            p = q;
            c++;
            left++;
        }
        scan_detail::vector_level = best;
        free(buf);
        if (fault.empty() && level > 0 && all_common && left > 0) fault = "left common words to scan_number";
        for (size_t i = 0; i < c && fault.empty(); i++) {
            double want = strtod(words[i].c_str(), nullptr);
            if (bits(got[i]) != bits(want)) {
                char msg[128];
                snprintf(msg, sizeof msg, "expected %a, got %a", want, got[i]);
                fault = "\"" + words[i] + "\": " + msg;
            }
        }
        if (!fault.empty())
            return ::testing::AssertionFailure() << fault << " (way " << level << ") in \"" << text << "\"";
    }
    return ::testing::AssertionSuccess();
}

TEST(ScanWords, StartsInTheBestWayTheProcessorHas)
{
    // Every other test runs the ways up to this one: a processor with AVX2
    // left to the exact way would pass them all, only slower.
#ifdef SCAN_WORDS_VECTOR
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                      __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
    EXPECT_EQ(scan_detail::vector_level, avx2 ? 1 : 0);
#else
    EXPECT_EQ(scan_detail::vector_level, 0);
#endif
}

TEST(ScanWords, EveryShapeAtEveryPlaceOfTheLanes)
{
    // The word under test follows skip blanks and a neighbour, and is
    // followed by enough words that the vector way runs over it.
    // clang-format off
    const char *shapes[] = {
        "1234.56", "-1234.56", "+1234.56", "0", "-0", "+0", "-0.00", ".5", "-.5", "+.5", "5.", "-5.",
        "123456789012345", "-123456789012345", "12345678901234.5", ".123456789012345", "1234567.89012345",
        "1234567890123456", "-1234567890123456", "1234567890123.456", "12345678901234567", ".1234567890123456",
        "1.2345678901234567", "9007199254740993", "0.1", "0.30000000000000004", "000000000000001",
        "1e5", "-1.5E-3", "2.5e+10", "1e22", "1e23", "0x1p3", "inf", "-nan", "1.2.3", "12a", "-", "+", ".",
        "-.", "--1", "+-1", "1-", "1,5", "1..2", "..", "1e", "x", "4\x01", "\xc3\xa9",
        "12345.6", "123.456", "1234567", "12345678", "-234.56", "+234.56", "1234e56", "12a4.56", "1234-56",
        "12.4.56", "-1234567", "-12345678901234.5", "+123456789012345", "-9999", "7",
        // Bytes next to the digits ('/' and ':'), and one with the high bit.
        "1234.5:", "1234./6", "/234.56", "123\xb9.56"};
    // Runs of one shape, which the vector way compares each group of four
    // with: the word under test is the first to the fourth of its group.
    const char *runs[] = {"1234.56", "-1234.56", "+1234.56", "123456789012345", "-0.00", ".5", "5.", "-9999",
                          "7", ".999999999999999", "-99999999999999.9"};
    // clang-format on
    std::string filler;
    for (int i = 0; i < 12; i++) filler += " 1644.57 -12.5 7";
    const std::string block(32, ' ');  // after the last word: every common word is the vector way's
    for (const char *shape : shapes)
        for (int skip = 0; skip < 72; skip++)
            for (const char *blank : {" ", "\n", "\r\n", "\t \v\f"}) {
                std::string text =
                    std::string(static_cast<size_t>(skip), ' ') + "3.25" + blank + shape + blank;
                EXPECT_TRUE(words_as_strtod(text + filler, 1000));
                // The word last before the end of the text, and a row
                // ending at it.
                EXPECT_TRUE(words_as_strtod(filler + " " + text, 1000));
                EXPECT_TRUE(words_as_strtod(filler + " " + text + filler + block, 25));
            }
    for (const char *shape : shapes)
        for (const char *run : runs)
            for (int lead = 0; lead < 8; lead++)
                for (const char *blank : {" ", "\n"}) {
                    std::string text;
                    for (int w = 0; w < lead + 70; w++) text += std::string(w == lead ? shape : run) + blank;
                    EXPECT_TRUE(words_as_strtod(text, 1000)) << lead;
                    // A group cut short by the end of a row or of the text.
                    const size_t after =
                        static_cast<size_t>(lead) * (strlen(run) + strlen(blank)) + strlen(shape);
                    EXPECT_TRUE(words_as_strtod(text.substr(0, after), 1000)) << lead;
                    for (int row : {1, 3, 5, lead + 2})
                        EXPECT_TRUE(words_as_strtod(text + block, row)) << lead;
                }
    // Words as dense as blanks allow, 32 starting and 32 stopping in every
    // 64 bytes, over several stretches, from every place of a block; with
    // single blanks only, or two together once (the stops listed apart).
    // Words of two bytes put the two blanks at every place of a block too.
    for (int skip = 0; skip < 64; skip++)
        for (const char *sign : {"", "-"})
            for (bool pair : {false, true}) {
                std::string text(static_cast<size_t>(skip), ' ');
                for (int w = 0; w < 700; w++)
                    text += sign + std::string(1, static_cast<char>('0' + w % 10)) +
                            (pair && w == 450 ? "\r\n" : " ");
                for (int row : {1000, 8, 7}) EXPECT_TRUE(words_as_strtod(text, row)) << skip;
                EXPECT_TRUE(words_as_strtod(text.substr(0, text.size() - 1), 1000)) << skip;
            }
}

TEST(ScanWords, QuotientsAProductAloneWouldRoundWrongly)
{
    // Words whose value m / 10^f a product by the rounded 1/10^f misses by
    // an ulp, for every place of the point (but none: f = 0 is exact) and
    // digit counts up to 15, in runs of one shape long enough for groups
    // of four, of either sign.
    std::mt19937_64 rng(15);
    for (int f = 1; f <= 15; f++)
        for (int digits : {15, 12, 8, 4})
            for (const char *sign : {"", "-"}) {
                if (f > digits) continue;
                double power = 1.0;
                for (int e = 0; e < f; e++) power *= 10.0;
                const volatile double reciprocal = 1.0 / power;
                uint64_t top = 1;
                for (int d = 0; d < digits; d++) top *= 10;
                std::string text;
                for (int found = 0, tries = 0; found < 40 && tries < 100000; tries++) {
                    const uint64_t m = top / 10 + rng() % (top - top / 10);
                    const double v = static_cast<double>(m);
                    if (v * reciprocal == v / power) continue;
                    std::string word = std::to_string(m);
                    if (f > 0) word.insert(word.size() - static_cast<size_t>(f), ".");
                    text += sign + word + " ";
                    found++;
                }
                EXPECT_FALSE(text.empty()) << f << " " << digits;
                EXPECT_TRUE(words_as_strtod(text, 1000)) << f << " " << digits;
                EXPECT_TRUE(words_as_strtod(text, 9)) << f << " " << digits;
            }
}

TEST(ScanWords, RandomRunsOfWordsMatchStrtod)
{
    // Runs of words of the common shapes with others among them, any
    // blanks between, rows of any length: values stop and start again at
    // every place of the lanes and of the text's end.
    std::mt19937_64 rng(23);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const char *blanks[] = {" ", "\n", "\t", " ", "\r\n", "  ", "\t", " \n"};
    int failures = 0;
    auto common_word = [&]() {
        std::string word;
        if (pick(6) == 0) word += pick(4) ? '-' : '+';
        int digits = pick(4) ? 1 + pick(8) : 1 + pick(18);
        int point = pick(3) ? pick(digits + 1) : -1;
        for (int d = 0; d < digits; d++) {
            if (d == point) word += '.';
            word += static_cast<char>('0' + pick(10));
        }
        if (point == digits) word += '.';
        return word;
    };
    for (int i = 0; i < 20000 && failures < 10; i++) {
        std::string text;
        int words = 1 + pick(60);
        int kinds = pick(2) ? 3 : 8;  // single blanks only, as most grids, or any
        // Half the runs print most words with one outline (sign, digits,
        // point), as a grid's format does; the others differ from it.
        const std::string outline = pick(2) ? common_word() : "";
        for (int w = 0; w < words; w++) {
            std::string word;
            if (pick(12) == 0) {
                word = random_decimal(rng);
                if (word.empty() || strchr(" x.e+-0:/", word.back())) word += "1";
            } else if (!outline.empty() && pick(8) != 0) {
                word = outline;
                for (char &c : word)
                    if (c >= '0' && c <= '9') c = static_cast<char>('0' + pick(10));
            } else {
                word = common_word();
            }
            text += word;
            text += blanks[pick(kinds)];
        }
        const int tail = pick(3);
        if (tail == 0) text.pop_back();  // the last word ends the text
        if (tail == 1) text += std::string(32, ' ');
        const int row = 1 + pick(70);
        if (!words_as_strtod(text, row)) {
            EXPECT_TRUE(words_as_strtod(text, row)) << row;
            failures++;
        }
    }
    EXPECT_EQ(failures, 0);
}

}  // namespace
