#include "kernels.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "nadir_spot.h"

namespace {

// Running extremes of floating-point cells go through LANES accumulators,
// one for each cell of a block: an element-wise loop that the compiler
// turns into vector min, max and add. A single running extreme (a
// reduction) stays scalar: reordering "v < mn ? v : mn" could change which
// NaN test decides.
const int LANES = 32;

template <typename T>
void range_of(const T *s, int n, int *lo, int *hi)
{
    T mn = static_cast<T>(*lo), mx = static_cast<T>(*hi);
    for (int c = 0; c < n; c++) {
        T v = s[c];
        mn = v < mn ? v : mn;
        mx = v > mx ? v : mx;
    }
    *lo = mn;
    *hi = mx;
}

}  // namespace

CLONES void widen_row(const unsigned short *src, int *dst, int n)
{
    for (int c = 0; c < n; c++) dst[c] = src[c];
}

void sample_range(const unsigned short *s, int n, int *lo, int *hi) { range_of(s, n, lo, hi); }
void sample_range(const int *s, int n, int *lo, int *hi) { range_of(s, n, lo, hi); }

CLONES void to_metres(const int *s, double *d, int n, double factor, bool as_is)
{
    if (as_is)
        for (int c = 0; c < n; c++) d[c] = static_cast<double>(s[c]);
    else
        for (int c = 0; c < n; c++) d[c] = s[c] * factor;
}

namespace {

// Inlined into each clone of its callers, so that it is built for each
// instruction set (a plain call would run the default build of it).
#if defined(__GNUC__)
#define ALWAYS_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define ALWAYS_INLINE __forceinline
#else
#define ALWAYS_INLINE inline
#endif

// "v < mn ? v : mn" keeps mn when v is NaN. Each lane counts the cells at
// its own lowest, starting again at 1 when a lower one comes; the row's
// count is that of the lanes whose lowest is the row's. A lane starts at
// +inf with no cell: a +inf cell then counts, which is right, since +inf is
// the row's lowest only when no number is lower. Counted in doubles, exact
// below 2^53. What else a pass takes, in *extra:
enum Extra {
    NOTHING,
    SUM,    // the sum of the cells: NaN when a cell is NaN
    VOIDS,  // a cell equal to nodata becomes NaN, so that it takes no part,
            // and then the NaN cells are counted (a test of both kinds at
            // once leaves the loop scalar)
};

template <Extra EXTRA>
ALWAYS_INLINE void stats_of(const double *row, int n, double nodata, double *lowest, double *highest,
                            int *at_lowest, double *extra)
{
    double mn[LANES], mx[LANES], cnt[LANES], out[LANES];
    for (int k = 0; k < LANES; k++) {
        mn[k] = INFINITY;
        mx[k] = -INFINITY;
        cnt[k] = 0.0;
        out[k] = 0.0;
    }
    int c = 0;
    for (; c + LANES <= n; c += LANES)
        for (int k = 0; k < LANES; k++) {
            double v = row[c + k];
            if (EXTRA == SUM) out[k] += v;
            if (EXTRA == VOIDS) {
                v = v == nodata ? NAN : v;
                out[k] += v != v ? 1.0 : 0.0;
            }
            // 1 on a lower cell, one more on an equal one, written as
            // arithmetic on 0 and 1: the compiler makes vector code of it,
            // where it leaves the nested choice as branches.
            double lt = v < mn[k] ? 1.0 : 0.0;
            double eq = v == mn[k] ? 1.0 : 0.0;
            cnt[k] = (cnt[k] + eq) * (1.0 - lt) + lt;
            mn[k] = v < mn[k] ? v : mn[k];
            mx[k] = v > mx[k] ? v : mx[k];
        }
    for (; c < n; c++) {
        double v = row[c];
        if (EXTRA == SUM) out[0] += v;
        if (EXTRA == VOIDS) {
            v = v == nodata ? NAN : v;
            out[0] += v != v ? 1.0 : 0.0;
        }
        cnt[0] = v < mn[0] ? 1.0 : cnt[0] + (v == mn[0] ? 1.0 : 0.0);
        mn[0] = v < mn[0] ? v : mn[0];
        mx[0] = v > mx[0] ? v : mx[0];
    }
    double lo = mn[0], hi = mx[0];
    for (int k = 1; k < LANES; k++) {
        lo = mn[k] < lo ? mn[k] : lo;
        hi = mx[k] > hi ? mx[k] : hi;
    }
    double count = 0.0, more = 0.0;
    for (int k = 0; k < LANES; k++) {
        count += mn[k] == lo ? cnt[k] : 0.0;
        more += out[k];
    }
    *lowest = lo;
    *highest = hi;
    *at_lowest = static_cast<int>(count);
    if (EXTRA != NOTHING) *extra = more;
}

}  // namespace

CLONES void line_stats(const double *row, int n, double *lowest, double *highest, int *at_lowest)
{
    stats_of<NOTHING>(row, n, 0.0, lowest, highest, at_lowest, nullptr);
}

CLONES void grid_line_stats(const double *row, int n, double nodata, double *lowest, double *highest,
                            int *at_lowest, int *left_out)
{
    // Most rows hold no void. One pass that also sums the row tells so
    // unless the sum is NaN or nodata lies within the row's range: only
    // then is the row, still in cache, taken again with the voids left out.
    // A test of nodata on every cell would cost a grid without voids more.
    double sum, voids;
    stats_of<SUM>(row, n, nodata, lowest, highest, at_lowest, &sum);
    if (sum == sum && !(*lowest <= nodata && nodata <= *highest)) {
        *left_out = 0;
        return;
    }
    stats_of<VOIDS>(row, n, nodata, lowest, highest, at_lowest, &voids);
    *left_out = static_cast<int>(voids);
}

CLONES void low_bits(const double *row, int n, double v, unsigned char *bits)
{
    // The cells of a block compared first, a byte each (a loop of vector
    // compares); then each 8 bytes of 0 and 1 gathered into the top byte
    // of a product, bit k from byte k: the partial products of different
    // bytes fall on different bits below it and carry nothing into it.
    for (int c = 0; c < n; c += 32) {
        unsigned char is[32] = {};
        const int m = n - c < 32 ? n - c : 32;
        for (int k = 0; k < m; k++) is[k] = row[c + k] == v;
        for (int j = 0; j < (m + 7) / 8; j++) {
            uint64_t x;
            memcpy(&x, is + 8 * j, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
            x = __builtin_bswap64(x);  // byte k at bits 8k
#endif
            bits[c / 8 + j] = static_cast<unsigned char>((x * 0x0102040810204080u) >> 56);
        }
    }
}

CLONES void mask_from_bits(const unsigned char *bits, unsigned char *mask, int n)
{
    // Each byte of bits spread over 8 bytes, byte k keeping bit k; then 1
    // where a byte is not 0 and 255 where it is: arithmetic on the 8 bytes
    // at once, none carrying into the next (each is at most 0x80 + 0x7f).
    int c = 0;
    for (; c + 8 <= n; c += 8) {
        const uint64_t x = bits[c / 8] * 0x0101010101010101u & 0x8040201008040201u;
        const uint64_t set = ((x + 0x7f7f7f7f7f7f7f7fu) & 0x8080808080808080u) >> 7;
        uint64_t m = ~uint64_t(0) - set * 0xfe;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        m = __builtin_bswap64(m);  // byte k at the k-th address
#endif
        memcpy(mask + c, &m, 8);
    }
    for (; c < n; c++) mask[c] = bits[c / 8] >> c % 8 & 1 ? 1 : 255;
}

void pass_line(int l, double *lowest)
{
    if (format == 0)
        grid_line_stats(dtab[l], nb_col, nodata, &line_min[l], &line_max[l], &line_lows[l], &line_voids[l]);
    else
        line_stats(dtab[l], nb_col, &line_min[l], &line_max[l], &line_lows[l]);
    if (!(line_min[l] <= *lowest)) return;
    *lowest = line_min[l];
    low_bits(dtab[l], nb_col, line_min[l], line_low_bits[l]);
}
