#include "kernels.h"

#include <cmath>

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

void widen_row(const unsigned short *src, int *dst, int n)
{
    for (int c = 0; c < n; c++) dst[c] = src[c];
}

void sample_range(const unsigned short *s, int n, int *lo, int *hi) { range_of(s, n, lo, hi); }
void sample_range(const int *s, int n, int *lo, int *hi) { range_of(s, n, lo, hi); }

void to_metres(const int *s, double *d, int n, double factor, bool as_is)
{
    if (as_is)
        for (int c = 0; c < n; c++) d[c] = static_cast<double>(s[c]);
    else
        for (int c = 0; c < n; c++) d[c] = s[c] * factor;
}

// "v < mn ? v : mn" keeps mn when v is NaN.
void line_range(const double *row, int n, double *lowest, double *highest)
{
    double mn[LANES], mx[LANES];
    for (int k = 0; k < LANES; k++) {
        mn[k] = INFINITY;
        mx[k] = -INFINITY;
    }
    int c = 0;
    for (; c + LANES <= n; c += LANES)
        for (int k = 0; k < LANES; k++) {
            double v = row[c + k];
            mn[k] = v < mn[k] ? v : mn[k];
            mx[k] = v > mx[k] ? v : mx[k];
        }
    for (; c < n; c++) {
        double v = row[c];
        mn[0] = v < mn[0] ? v : mn[0];
        mx[0] = v > mx[0] ? v : mx[0];
    }
    for (int k = 1; k < LANES; k++) {
        mn[0] = mn[k] < mn[0] ? mn[k] : mn[0];
        mx[0] = mx[k] > mx[0] ? mx[k] : mx[0];
    }
    *lowest = mn[0];
    *highest = mx[0];
}

// Counted in double lanes, which the compiler adds in vectors where it
// leaves a 64-bit integer sum of comparisons scalar. Exact: a lane counts
// fewer than 2^53 cells.
long long line_count(const double *row, int n, double v)
{
    double lane[LANES] = {};
    int c = 0;
    for (; c + LANES <= n; c += LANES)
        for (int k = 0; k < LANES; k++) lane[k] += row[c + k] == v ? 1.0 : 0.0;
    long long count = 0;
    for (; c < n; c++) count += row[c] == v;
    for (int k = 0; k < LANES; k++) count += static_cast<long long>(lane[k]);
    return count;
}

void mask_row(const double *row, unsigned char *mask, int n, double v)
{
    for (int c = 0; c < n; c++) mask[c] = row[c] == v ? 1 : 255;
}
