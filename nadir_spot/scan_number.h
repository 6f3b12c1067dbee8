// The number scanner of the grid reader: decimal text to double, fast for
// the shape grid values take (sign, digits, point, a few digits) and equal
// to strtod on every input.
#ifndef SCAN_NUMBER_H
#define SCAN_NUMBER_H

#include <cfloat>

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

// The same for every shape; scan_number only adds a faster path before it.
const char *scan_number_any(const char *p, const char *end, double *out);

#include <cstdint>
#include <cstring>

// Eight bytes at a time: the digits of the integer part and of the
// fraction are found and converted without a loop. Up to 7 + 7 digits, the
// mantissa (below 2^53) and the power of ten (up to 1e7) are exact
// doubles, so the one division rounds correctly, as strtod does.
namespace scan_detail {

inline uint64_t load8(const char *p)
{
    uint64_t w;
    memcpy(&w, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    w = __builtin_bswap64(w);
#endif
    return w;
}

// Bit 7 of each byte of w (first byte lowest) that is not a digit.
inline uint64_t non_digits(uint64_t w)
{
    uint64_t x = w ^ 0x3030303030303030u;  // a digit byte becomes 0 to 9
    uint64_t big = ((x & 0x7f7f7f7f7f7f7f7fu) + 0x7676767676767676u) | x;
    return big & 0x8080808080808080u;
}

// Count of leading digits in the eight bytes of w; 8 when all are digits.
inline int digit_run(uint64_t w)
{
    uint64_t stop = non_digits(w);
    return stop ? __builtin_ctzll(stop) >> 3 : 8;
}

// The value of the first n digits of w, 1 <= n <= 7.
inline uint64_t digits_value(uint64_t w, int n)
{
    uint64_t v = (w ^ 0x3030303030303030u) << (8 * (8 - n));  // as leading zeros
    v = v * 10 + (v >> 8);
    v = (((v & 0x000000ff000000ffu) * 0x000f424000000064u) +
         (((v >> 16) & 0x000000ff000000ffu) * 0x0000271000000001u)) >> 32;
    return static_cast<uint32_t>(v);
}

const double exact_pow10_7[8] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};
const uint64_t pow10_7[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

}  // namespace scan_detail

inline const char *scan_number(const char *p, const char *end, double *out)
{
#if defined(__GNUC__) && FLT_EVAL_METHOD == 0
    using namespace scan_detail;
    // Room for a sign, 7 digits, a point and 8 bytes of fraction: the byte
    // after a fraction is read only when it has fewer than 8 digits.
    if (end - p >= 17) {
        // The sign by a branch, rarely taken: predicted, it keeps the load of
        // the first byte off the chain from one value's start to the next.
        const char *s = p;
        bool neg = false;
        if (__builtin_expect(*s == '-' || *s == '+', 0)) {
            neg = *s == '-';
            s++;
        }
        uint64_t w = load8(s);
        uint64_t stop = non_digits(w);
        int n = stop ? __builtin_ctzll(stop) >> 3 : 8;  // leading digits
        // The usual grid value, "1234.56": the point, then the byte after the
        // fraction, both in these 8 bytes (the next non-digit after the
        // point). The fraction's bytes move one place down over the point,
        // and all the digits convert at once.
        uint64_t after_point = stop & (stop - 1);
        if (after_point && static_cast<char>(w >> (8 * n)) == '.') {
            int t = __builtin_ctzll(after_point) >> 3;
            char after = static_cast<char>(w >> (8 * t));
            if (t > 1 && (after | 0x20) != 'e' && (after | 0x20) != 'x') {
                uint64_t below = (uint64_t(1) << (8 * n)) - 1;  // the integer digits
                uint64_t joined = (w & below) | ((w >> 8) & ~below);
                double v = static_cast<double>(digits_value(joined, t - 1)) / exact_pow10_7[t - 1 - n];
                *out = neg ? -v : v;
                return s + t;
            }
        }
        if (n < 8) {
            uint64_t m = n ? digits_value(w, n) : 0;
            s += n;
            int f = 0;
            if (*s == '.') {
                uint64_t w2 = load8(++s);
                f = digit_run(w2);
                if (f > 0 && f < 8) m = m * pow10_7[f] + digits_value(w2, f);
                s += f;
            }
            // Exponents, hexadecimal, long fractions and "." alone go the
            // general way.
            if (n + f > 0 && f < 8 && (*s | 0x20) != 'e' && (*s | 0x20) != 'x') {
                double v = static_cast<double>(m) / exact_pow10_7[f];
                *out = neg ? -v : v;
                return s;
            }
        }
    }
#endif
    return scan_number_any(p, end, out);
}

#endif
