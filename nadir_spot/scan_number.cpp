#include "scan_number.h"

#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Bytes strtod may use in the C locale: digits, letters (exponents, hex
// digits, inf, nan and its n-char sequence), signs, point, parentheses.
inline bool strtod_byte(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return is_digit(c) || ((u | 0x20) >= 'a' && (u | 0x20) <= 'z') || u == '+' || u == '-' || u == '.' ||
           u == '_' || u == '(' || u == ')';
}

// strtod itself on a NUL-terminated copy of the bytes it could use.
const char *scan_with_strtod(const char *p, const char *end, double *out)
{
    const char *q = p;
    while (q < end && strtod_byte(*q)) q++;
    size_t n = static_cast<size_t>(q - p);
    char local[128];
    char *copy = n < sizeof local ? local : static_cast<char *>(malloc(n + 1));
    *out = 0.0;
    if (!copy) return p;
    memcpy(copy, p, n);
    copy[n] = '\0';
    char *stop;
    *out = strtod(copy, &stop);
    const char *r = p + (stop - copy);
    if (copy != local) free(copy);
    return r;
}

}  // namespace

const char *scan_number_slow(const char *p, const char *end, double *out)
{
    // Decimal text, with at most a '-' before it, is from_chars' (correctly
    // rounded, as strtod). strtod takes what from_chars does not: a leading
    // '+', hexadecimal, the inf and nan spellings (nan's payload is
    // strtod's), and a value out of range, whose infinity or underflow
    // strtod gives.
    const char *body = p < end && *p == '-' ? p + 1 : p;
    if (body < end && (is_digit(*body) || *body == '.') &&
        !(body + 1 < end && body[0] == '0' && (body[1] | 0x20) == 'x')) {
        std::from_chars_result r = std::from_chars(p, end, *out, std::chars_format::general);
        if (r.ec == std::errc()) return r.ptr;
        if (r.ec == std::errc::invalid_argument) {
            *out = 0.0;
            return p;
        }
    }
    return scan_with_strtod(p, end, out);
}

// scan_words: the vector way on x86-64 (MinGW's Windows build keeps to the
// exact path alone).
#ifdef SCAN_WORDS_VECTOR

// GCC 12 takes the undefined upper parts in its AVX-512 intrinsics for
// values used uninitialized, and warns in their own code where inlined.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

using scan_detail::digits_value;
using scan_detail::load8;

const int NO_POINT = 16;  // f, the digits after the point, of a word without one
const int STRETCH = 512;  // bytes listed at a time: 16 blocks of 32

// The tables of both ways, indexed by f (0 to 15, or NO_POINT) or by a
// count of digits (1 to 15).
struct Tables {
    // The shuffle that takes out the point f bytes before the end of 16.
    alignas(16) signed char close_point[17][16];
    // The last n bytes of 16 kept: as bytes, and as two words, the last
    // eight bytes first.
    alignas(16) unsigned char last_bytes[17][16];
    uint64_t last_words[17][2];
    double divisor[17];  // 10^f, exact; 1 without a point
    // The wide way's shuffle by f and by the word's bytes after its sign
    // (1 to 16, the point counted): the digits end at the last byte with
    // the point taken out, and the bytes before them are zero.
    alignas(16) signed char in_place[17][17][16];
    double signed_divisor[2][17];     // 10^f, then -10^f: the sign comes with the division
    double signed_reciprocal[2][17];  // 1/10^f rounded to nearest, then its negative
};

constexpr Tables make_tables()
{
    Tables t{};
    for (int n = 0; n <= 16; n++) {
        const int point = 15 - n;  // the point's place for f == n
        for (int i = 0; i < 16; i++) {
            t.close_point[n][i] = static_cast<signed char>(n == NO_POINT || i > point ? i
                                                           : i > 0                    ? i - 1
                                                                                      : -128);
            t.last_bytes[n][i] = i >= 16 - n ? 0xff : 0;
            if (i >= 16 - n) t.last_words[n][i < 8 ? 1 : 0] |= uint64_t(0xff) << (8 * (i % 8));
        }
        double p = 1.0;
        for (int e = 0; e < n && n != NO_POINT; e++) p *= 10.0;
        t.divisor[n] = p;
        t.signed_divisor[0][n] = p;
        t.signed_divisor[1][n] = -p;
        t.signed_reciprocal[0][n] = 1.0 / p;
        t.signed_reciprocal[1][n] = -1.0 / p;
        for (int len = 0; len <= 16; len++) {
            const int first = 16 - len + (n == NO_POINT ? 0 : 1);  // the first digit's place once in place
            for (int i = 0; i < 16; i++)
                t.in_place[n][len][i] = static_cast<signed char>(i < first ? -128 : t.close_point[n][i]);
        }
    }
    return t;
}

constexpr Tables tables = make_tables();

bool processor_has_avx2(void)
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}

// The AVX-512 way is the AVX2 way with its words listed 64 bytes at a time
// (BW for byte masks, VBMI2 for the byte compress, VL for the narrower
// vectors it keeps) and fused multiply-adds for its divisions.
int processor_level(void)
{
    if (!processor_has_avx2()) return 0;
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi2") &&
                   __builtin_cpu_supports("fma")
               ? 2
               : 1;
}

}  // namespace

namespace scan_sse2 {
#define SCAN_WIDE 0
#include "scan_words_body.h"
#undef SCAN_WIDE
}  // namespace scan_sse2

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi,bmi2,popcnt"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2,popcnt")
#endif
namespace scan_avx2 {
#define SCAN_WIDE 1
#include "scan_words_body.h"
#undef SCAN_WIDE
}  // namespace scan_avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#if defined(__clang__)
#pragma clang attribute push(                                                                  \
    __attribute__((target("avx2,bmi,bmi2,popcnt,fma,avx512f,avx512bw,avx512vl,avx512vbmi2"))), \
    apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2,popcnt,fma,avx512f,avx512bw,avx512vl,avx512vbmi2")
#endif
namespace scan_avx512 {
#define SCAN_WIDE 2
#include "scan_words_body.h"
#undef SCAN_WIDE
}  // namespace scan_avx512
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

int scan_detail::vector_level = processor_level();

int scan_words(const char **p, const char *end, double *out, int n)
{
    switch (scan_detail::vector_level) {
        case 0:
            return scan_sse2::scan_run(p, end, out, n);
        case 1:
            return scan_avx2::scan_run(p, end, out, n);
        default:
            return scan_avx512::scan_run(p, end, out, n);
    }
}

#else

int scan_detail::vector_level = 0;

#endif
