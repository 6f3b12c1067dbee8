#include "kernels.h"

#include <cmath>

#include "nadir_spot.h"
#include "nrutil.h"

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

CLONES void mask_row(const double *row, unsigned char *mask, int n, double v)
{
    for (int c = 0; c < n; c++) mask[c] = row[c] == v ? 1 : 255;
}

namespace {
ALWAYS_INLINE unsigned blank(unsigned char c)
{
    return (c == ' ') | (static_cast<unsigned char>(c - '\t') < 5);
}
}  // namespace

CLONES long long word_starts(const char *p, size_t n, bool blank_before)
{
    if (n == 0) return 0;
    const unsigned char *u = reinterpret_cast<const unsigned char *>(p);
    long long count = blank_before & !blank(u[0]);
    // A narrow count for each piece of 4096 bytes: the loop then takes many
    // bytes a vector instruction.
    for (size_t i = 1; i < n;) {
        const size_t end = n - i > 4096 ? i + 4096 : n;
        unsigned piece = 0;
        for (; i < end; i++) piece += blank(u[i - 1]) & !blank(u[i]);
        count += piece;
    }
    return count;
}

void free_line_extremes(void)
{
    frdvecteur(line_min);
    frdvecteur(line_max);
    frivecteur(line_lows);
    frivecteur(line_voids);
    line_min = line_max = nullptr;
    line_lows = line_voids = nullptr;
}

void take_line_extremes(void)
{
    free_line_extremes();
    line_min = dvecteur(nb_lig);
    line_max = dvecteur(nb_lig);
    line_lows = ivecteur(nb_lig);
    line_voids = ivecteur(nb_lig);  // zero-filled: a raw raster leaves it so
    if (!line_min || !line_max || !line_lows || !line_voids) stop_no_memory(nb_lig, nb_col);
}
