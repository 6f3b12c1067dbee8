// The number scanner of the grid reader: decimal text to double, fast for
// the shape grid values take (sign, digits, point, a few digits) and equal
// to strtod on every input.
#ifndef SCAN_NUMBER_H
#define SCAN_NUMBER_H

#include <cfloat>
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

// The fast path reads eight bytes at a time and converts up to 7 digits
// before the point and 7 after it without a loop.
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

// Count of leading digits in the eight bytes of w; 8 when all are digits.
inline int digit_run(uint64_t w)
{
    uint64_t stop = non_digits(w);
    return stop ? __builtin_ctzll(stop) >> 3 : 8;
}

// The value of the first n digits of w, 1 <= n <= 7. Shifted up to end at
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
    v = (((v & 0x000000ff000000ffu) * 0x000f424000000064u) +
         (((v >> 16) & 0x000000ff000000ffu) * 0x0000271000000001u)) >> 32;
    return static_cast<uint32_t>(v);
}

// Powers of ten up to 1e7, as exact doubles and as integers.
const double exact_pow10[8] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};
const uint64_t pow10[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

}  // namespace scan_detail

inline const char *scan_number(const char *p, const char *end, double *out)
{
    // With at most 7 + 7 digits the digits (below 2^53) and the power of ten
    // are exact doubles, so the one division rounds correctly, as strtod.
    // The doubles must be evaluated as doubles (no x87 excess precision).
#if defined(__GNUC__) && FLT_EVAL_METHOD == 0
    using namespace scan_detail;
    // Room for a sign, 7 digits, the point and 8 bytes of fraction.
    if (end - p >= 17) {
        const char *s = p;
        bool neg = false;
        // A sign by a branch, rarely taken: predicted, it keeps the load of
        // the first byte off the chain from one value's start to the next.
        if (__builtin_expect(*s == '-' || *s == '+', 0)) {
            neg = *s == '-';
            s++;
        }
        uint64_t w = load8(s);
        int n = digit_run(w);
        if (n < 8) {
            uint64_t m = n ? digits_value(w, n) : 0;
            s += n;
            int f = 0;
            if (*s == '.') {
                uint64_t w2 = load8(++s);
                f = digit_run(w2);
                if (f > 0 && f < 8) m = m * pow10[f] + digits_value(w2, f);
                s += f;
            }
            // Exponents, hexadecimal, long fractions and "." alone go the
            // general way.
            if (n + f > 0 && f < 8 && (*s | 0x20) != 'e' && (*s | 0x20) != 'x') {
                double v = static_cast<double>(m) / exact_pow10[f];
                *out = neg ? -v : v;
                return s;
            }
        }
    }
#endif
    return scan_number_slow(p, end, out);
}

#endif
