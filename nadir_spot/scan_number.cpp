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

// scan_words: its ways on x86-64 (MinGW's Windows build keeps to the
// exact path alone), each the one algorithm over that way's operations.
#ifdef SCAN_WORDS_VECTOR

#include <immintrin.h>

#include "scan_tables.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi,bmi2,popcnt"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2,popcnt")
#endif
namespace scan_avx2 {
#include "scan_avx2.h"
#include "scan_words_generic.h"
}  // namespace scan_avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace {

// The best way this processor has, as scan_detail::vector_level counts.
int processor_level(void)
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                   __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt")
               ? 1
               : 0;
}

}  // namespace

int scan_detail::vector_level = processor_level();

int scan_words(const char **p, const char *end, double *out, int n)
{
    switch (scan_detail::vector_level) {
        case 1:
            return scan_avx2::scan_run(p, end, out, n);
        default:
            return 0;  // every word to scan_number
    }
}

#else

int scan_detail::vector_level = 0;

#endif
