#include "scan_number.h"

#include <cfloat>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Every power of ten up to 1e22 is an exact double.
const double exact_pow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
const uint64_t exact_mantissa = uint64_t(1) << 53;

inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Bytes strtod may use in the C locale: digits, letters (exponents, hex
// digits, inf, nan and its n-char sequence), signs, point, parentheses.
inline bool strtod_byte(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || ((u | 0x20) >= 'a' && (u | 0x20) <= 'z') || u == '+' ||
           u == '-' || u == '.' || u == '_' || u == '(' || u == ')';
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

const char *scan_number_any(const char *p, const char *end, double *out)
{
    const char *s = p;
    bool neg = false;
    if (s < end && (*s == '-' || *s == '+')) {
        neg = *s == '-';
        s++;
    }
    const char *body = s;

#if FLT_EVAL_METHOD == 0
    {
        // Fast path: up to 19 digits fit the 64-bit mantissa without
        // overflow. While the mantissa and the power of ten are both exact
        // doubles, one multiplication or division rounds once: the correctly
        // rounded result, as strtod gives.
        uint64_t m = 0;
        const char *d = s;
        while (s < end && is_digit(*s)) m = m * 10 + static_cast<unsigned>(*s++ - '0');
        int digits = static_cast<int>(s - d);
        int e10 = 0;
        if (s < end && *s == '.') {
            const char *f = ++s;
            while (s < end && is_digit(*s)) m = m * 10 + static_cast<unsigned>(*s++ - '0');
            e10 = -static_cast<int>(s - f);
            digits -= e10;
        }
        if (digits > 0 && digits <= 19 && m <= exact_mantissa) {
            if (s < end && (*s | 0x20) == 'e') {
                const char *e = s + 1;
                bool eneg = false;
                if (e < end && (*e == '-' || *e == '+')) {
                    eneg = *e == '-';
                    e++;
                }
                if (e < end && is_digit(*e)) {
                    int x = 0;
                    while (e < end && is_digit(*e)) {
                        if (x < 1000) x = x * 10 + (*e - '0');
                        e++;
                    }
                    e10 += eneg ? -x : x;
                    s = e;
                }
            } else if (s < end && (*s | 0x20) == 'x') {
                e10 = 1000;  // "0x...": hexadecimal, strtod's own
            }
            if (e10 >= -22 && e10 <= 22) {
                double v = static_cast<double>(m);
                v = e10 < 0 ? v / exact_pow10[-e10] : v * exact_pow10[e10];
                *out = neg ? -v : v;
                return s;
            }
        }
    }
#endif

    // Decimal numbers of any other shape: from_chars, which takes neither a
    // sign nor hexadecimal here. Correct rounding is symmetric, so the sign
    // is applied after.
    if (body < end && (is_digit(*body) || *body == '.') &&
        !(body + 1 < end && body[0] == '0' && (body[1] | 0x20) == 'x')) {
        double v;
        std::from_chars_result r = std::from_chars(body, end, v, std::chars_format::general);
        if (r.ec == std::errc()) {
            *out = neg ? -v : v;
            return r.ptr;
        }
        if (r.ec == std::errc::invalid_argument) {
            *out = 0.0;
            return p;
        }
        // Out of range: strtod gives the infinity or the underflowed value.
    }
    return scan_with_strtod(p, end, out);
}
