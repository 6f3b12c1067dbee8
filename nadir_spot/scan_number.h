// The number scanner of the grid reader: decimal text to double, fast for
// the shape grid values take (sign, digits, point, a few digits) and equal
// to strtod on every input.
#ifndef SCAN_NUMBER_H
#define SCAN_NUMBER_H

#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Reads the number that starts at p, never looking at end or beyond, and
// returns the first byte it did not use. The value stored in *out and the
// returned position are those strtod gives for a NUL-terminated copy of
// [p, end) in the C locale, bit for bit (signs, exponents, hexadecimal,
// "inf", "infinity", "nan" and "nan(...)" included); unlike strtod, no
// leading whitespace is skipped, and a blank always ends the number (MinGW's
// strtod would read "nan(1 2)" whole). No number at p: returns p, *out is 0.
// The one case that can fail beyond strtod: a word that only strtod reads
// (hexadecimal, nan(...), or out of range) longer than 127 bytes, when its
// copy cannot be allocated; it is then taken as no number.
inline const char *scan_number(const char *p, const char *end, double *out);

// The same for every shape, without the fast path: std::from_chars for
// decimal text, strtod for the rest.
const char *scan_number_slow(const char *p, const char *end, double *out);

// The values of up to n words from *p on, several at a time, into out[0],
// out[1]...; returns how many, with *p moved past the last one read, and
// stores nothing past them (out[n] on may be another row's cells). Only
// the common words are taken: an optional sign, then 1 to 15 digits with at
// most one point among them, then a blank before end. The first other
// word, or one whose blank after it is not among the whole 32-byte blocks
// before end, stops it at or before that word, for scan_number to read: the
// values are strtod's either way. *p must be at a blank or at a word with a
// blank (or nothing) before it, with SCAN_READS_BEFORE readable bytes before
// it. On x86-64 (but Windows) it takes words where the processor has AVX2
// (with BMI1, BMI2 and POPCNT); elsewhere, and without them, it takes no
// word and returns 0.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32) && FLT_EVAL_METHOD == 0
#define SCAN_WORDS_VECTOR 1  // doubles evaluated as doubles: no x87 excess precision
int scan_words(const char **p, const char *end, double *out, int n);
#else
inline int scan_words(const char **, const char *, double *, int) { return 0; }
#endif

// The bytes before *p that scan_words may read: a word's 16 that end after it.
const size_t SCAN_READS_BEFORE = 16;

// The fast path reads the number's first eight bytes at once and converts
// its digits without a loop: up to 7 digits, with or without a point among
// them, when the byte that ends the number is among those eight.
namespace scan_detail {

inline uint64_t load8(const char *p)
{
    uint64_t w;
    memcpy(&w, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    w = __builtin_bswap64(w);
#endif
    return w;  // the first byte lowest
}

// Bit 7 of each byte of w that is not a digit. A digit byte is 0 to 9 once
// '0' (0x30) is taken off; 0x76 added to a byte's low 7 bits reaches bit 7
// exactly when they exceed 9, and a byte with bit 7 set is no digit either.
inline uint64_t non_digits(uint64_t w)
{
    uint64_t x = w ^ 0x3030303030303030u;
    return (((x & 0x7f7f7f7f7f7f7f7fu) + 0x7676767676767676u) | x) & 0x8080808080808080u;
}

// The value of the first n digits of w, 1 <= n <= 8. Shifted up to end at
// the top byte (the bytes below act as leading zeros), byte k holds the k-th
// of eight digits d0..d7, most significant first. v * 10 + (v >> 8) leaves
// the pairs d0d1, d2d3, d4d5 and d6d7 in bytes 0, 2, 4 and 6 (at most 99:
// no carry). Two products gather them in the upper 32 bits: 0xf4240 << 32
// | 0x64 is 1000000 << 32 | 100 (d0d1 * 10^6 + d4d5 * 100), and 0x2710 <<
// 32 | 1 is 10000 << 32 | 1 (d2d3 * 10^4 + d6d7).
inline uint64_t digits_value(uint64_t w, int n)
{
    uint64_t v = (w ^ 0x3030303030303030u) << (8 * (8 - n));
    v = v * 10 + (v >> 8);
    uint64_t gathered = ((v & 0x000000ff000000ffu) * 0x000f424000000064u) +
                        (((v >> 16) & 0x000000ff000000ffu) * 0x0000271000000001u);
    return static_cast<uint32_t>(gathered >> 32);
}

// Powers of ten up to 1e6, exact doubles.
const double exact_pow10[7] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};

// The way scan_words takes: 0 none (it takes no word, scan_number reads
// them all), 1 AVX2. Set at start to the best the processor has; the tests
// lower it to check the others too.
extern int vector_level;

}  // namespace scan_detail

inline const char *scan_number(const char *p, const char *end, double *out)
{
    // With at most 7 digits the digits and the power of ten are exact
    // doubles, so the one division rounds correctly, as strtod does. The
    // doubles must be evaluated as doubles (no x87 excess precision).
#if defined(__GNUC__) && FLT_EVAL_METHOD == 0
    using namespace scan_detail;
    if (end - p >= 9) {  // a sign and eight bytes
        const char *s = p;
        bool neg = false;
        // A sign by a branch, rarely taken: predicted, it keeps the load of
        // the first byte off the chain from one value's start to the next.
        if (__builtin_expect(*s == '-' || *s == '+', 0)) {
            neg = *s == '-';
            s++;
        }
        uint64_t w = load8(s);
        uint64_t stop = non_digits(w);
        int n = stop ? __builtin_ctzll(stop) >> 3 : 8;  // leading digits
        int t = n, fraction = 0;                        // where the number ends; digits after the point
        if (n < 8 && static_cast<char>(w >> (8 * n)) == '.') {
            // "1234.56": the fraction's bytes move one place down over the
            // point, and all the digits convert at once.
            uint64_t after = stop & (stop - 1);
            t = after ? __builtin_ctzll(after) >> 3 : 8;
            fraction = t - n - 1;
            uint64_t below = (uint64_t(1) << (8 * n)) - 1;
            w = (w & below) | ((w >> 8) & ~below);
        }
        // Exponents, hexadecimal, more digits and "." alone go the general
        // way.
        char next = t < 8 ? static_cast<char>(s[t]) : 'e';
        if (n + fraction > 0 && (next | 0x20) != 'e' && (next | 0x20) != 'x') {
            double v = static_cast<double>(digits_value(w, n + fraction)) / exact_pow10[fraction];
            *out = neg ? -v : v;
            return s + t;
        }
    }
#endif
    return scan_number_slow(p, end, out);
}

#endif
