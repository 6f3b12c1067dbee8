// The row kernels against plain cell-by-cell loops, on rows of every length
// around the vector blocks, with NaN, infinities and both zeros.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kernels.h"

namespace {

std::vector<double> random_row(std::mt19937_64 &rng, int n)
{
    const double odd[] = {NAN, INFINITY, -INFINITY, 0.0, -0.0, 1e308, -5e-324};
    std::vector<double> row(static_cast<size_t>(n));
    for (double &v : row) v = rng() % 4 == 0 ? odd[rng() % 7] : static_cast<double>(rng() % 9) - 4.0;
    return row;
}

// A grid's row leaves out the cells equal to its no-data value and those
// not a number; a NaN no-data value (a header without one) leaves out only
// those. Without no-data value, line_stats must give the same.
TEST(Kernels, LineStatsAndMaskMatchPlainLoops)
{
    std::mt19937_64 rng(6);
    const double nodata[] = {NAN, -4.0, 0.0, INFINITY, 1e308, 3.0, -9999.0};
    for (int n = 0; n < 100; n++) {
        for (int trial = 0; trial < 20; trial++) {
            std::vector<double> row = random_row(rng, n);
            const double nd = nodata[trial % 7];
            double lo = INFINITY, hi = -INFINITY;
            int left_out = 0;
            for (double v : row) {
                if (v != v || v == nd) {
                    left_out++;
                    continue;
                }
                if (v < lo) lo = v;
                if (v > hi) hi = v;
            }
            int count = 0;
            std::vector<unsigned char> mask(static_cast<size_t>(n) + 1, 7), want(mask);
            for (int c = 0; c < n; c++) {
                count += row[c] == lo && row[c] != nd;
                want[c] = row[c] == lo ? 1 : 255;
            }
            double got_lo, got_hi;
            int got_count = -1, got_left_out = -1;
            grid_line_stats(row.data(), n, nd, &got_lo, &got_hi, &got_count, &got_left_out);
            ASSERT_EQ(got_lo, lo) << "n " << n << " no-data " << nd;  // -0 and +0 alike
            ASSERT_EQ(got_hi, hi) << "n " << n << " no-data " << nd;
            ASSERT_EQ(got_count, count) << "n " << n << " no-data " << nd;
            ASSERT_EQ(got_left_out, left_out) << "n " << n << " no-data " << nd;
            if (nd != nd) {
                got_count = -1;
                line_stats(row.data(), n, &got_lo, &got_hi, &got_count);
                ASSERT_EQ(got_lo, lo) << "n " << n;
                ASSERT_EQ(got_hi, hi) << "n " << n;
                ASSERT_EQ(got_count, count) << "n " << n;
            }
            std::vector<unsigned char> bits(static_cast<size_t>(n + 7) / 8);
            low_bits(row.data(), n, lo, bits.data());
            mask_from_bits(bits.data(), mask.data(), n);
            ASSERT_EQ(mask, want) << "n " << n << ": the byte after the row must stay";
        }
    }
}

TEST(Kernels, SamplesWidenRangeAndConvert)
{
    std::mt19937_64 rng(7);
    const double factor[] = {1.0, 0.1, 0.01, 0.001};
    for (int n = 1; n < 70; n++) {
        std::vector<unsigned short> s16(static_cast<size_t>(n));
        std::vector<int> s32(static_cast<size_t>(n)), wide(static_cast<size_t>(n) + 1, -7);
        for (int c = 0; c < n; c++) {
            s16[c] = static_cast<unsigned short>(rng());
            s32[c] = static_cast<int>(rng());
        }
        widen_row(s16.data(), wide.data(), n);
        for (int c = 0; c < n; c++) ASSERT_EQ(wide[c], s16[c]);
        ASSERT_EQ(wide[n], -7);

        int lo16 = 65535, hi16 = 0, lo32 = INT_MAX, hi32 = INT_MIN;
        sample_range(s16.data(), n, &lo16, &hi16);
        sample_range(s32.data(), n, &lo32, &hi32);
        int want_lo16 = 65535, want_hi16 = 0, want_lo32 = INT_MAX, want_hi32 = INT_MIN;
        for (int c = 0; c < n; c++) {
            want_lo16 = std::min<int>(want_lo16, s16[c]);
            want_hi16 = std::max<int>(want_hi16, s16[c]);
            want_lo32 = std::min(want_lo32, s32[c]);
            want_hi32 = std::max(want_hi32, s32[c]);
        }
        ASSERT_EQ(lo16, want_lo16);
        ASSERT_EQ(hi16, want_hi16);
        ASSERT_EQ(lo32, want_lo32);
        ASSERT_EQ(hi32, want_hi32);

        for (int unit = 0; unit < 4; unit++) {
            std::vector<double> d(static_cast<size_t>(n));
            to_metres(s32.data(), d.data(), n, factor[unit], unit == 0);
            for (int c = 0; c < n; c++) {
                double want = unit == 0 ? static_cast<double>(s32[c]) : s32[c] * factor[unit];
                ASSERT_EQ(memcmp(&d[c], &want, sizeof want), 0) << s32[c] << " unit " << unit;
            }
        }
    }
}

}  // namespace
