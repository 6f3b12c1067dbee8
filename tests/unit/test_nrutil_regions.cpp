// Large matrices carved from one region: the same matrices to their users,
// lines given back one by one, the region returned with its last line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "nrutil.h"
#include "regions.h"

namespace {

// 600 lines of 1000 doubles: 4.8 MB, well above the smallest region.
const int COLS = 1000, LINES = 600;

// The region a large matrix takes; none where the platform has no regions
// (Windows), and its lines are then ordinary blocks with the same contract.
int one_region() { return regions_available() ? 1 : 0; }

TEST(Regions, LargeMatrixIsZeroFilledWithLinesOfTheirOwn)
{
    int before = regions_in_use();
    double **m = dmatrice(COLS, LINES);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(regions_in_use(), before + one_region());
    for (int l = 0; l < LINES; l++)
        for (int c = 0; c < COLS; c++) ASSERT_EQ(m[l][c], 0.0);
    // Whole lines written do not reach one another (under the sanitizers
    // a write past a line's end is caught in the gap after it).
    for (int l = 0; l < LINES; l++)
        for (int c = 0; c < COLS; c++) m[l][c] = l + c * 1e-4;
    for (int l = 0; l < LINES; l++) {
        EXPECT_EQ(m[l][0], l);
        EXPECT_EQ(m[l][COLS - 1], l + (COLS - 1) * 1e-4);
    }
    frdmatrice(m, LINES);
    EXPECT_EQ(regions_in_use(), before);
}

TEST(Regions, RegionStaysUntilItsLastLineIsGivenBack)
{
    int before = regions_in_use();
    int **m = imatrice(COLS, LINES * 2);
    ASSERT_NE(m, nullptr);
    // A line released through the vector releaser is a block like any other.
    frivecteur(m[7]);
    m[1][5] = 42;  // the other lines stay usable
    EXPECT_EQ(regions_in_use(), before + one_region());
    for (int l = 0; l < LINES * 2; l++)
        if (l != 7) frivecteur(m[l]);
    EXPECT_EQ(regions_in_use(), before);
    free(m);
}

TEST(Regions, ManyMatricesAtOnceAndAgain)
{
    // More large matrices than regions: the rest take their lines one by
    // one; everything is given back, time after time.
    int before = regions_in_use();
    for (int round = 0; round < 3; round++) {
        std::vector<unsigned char **> ms;
        for (int k = 0; k < 40; k++) {
            unsigned char **m = ucmatrice(4096, 600);
            ASSERT_NE(m, nullptr);
            m[599][4095] = static_cast<unsigned char>(k);
            ms.push_back(m);
        }
        for (int k = 0; k < 40; k++) {
            EXPECT_EQ(ms[k][599][4095], k);
            EXPECT_EQ(ms[k][0][0], 0);
            frucmatrice(ms[k], 600);
        }
        EXPECT_EQ(regions_in_use(), before);
    }
}

#ifdef __SANITIZE_ADDRESS__
TEST(Regions, SanitizerCatchesRunningOffALineOrUsingAReleasedOne)
{
    double **m = dmatrice(COLS, LINES);
    ASSERT_NE(m, nullptr);
    volatile double *row = m[3];
    EXPECT_DEATH(row[COLS] = 1.0, "");
    frdvecteur(m[3]);
    EXPECT_DEATH(row[0] = 1.0, "");
    for (int l = 0; l < LINES; l++)
        if (l != 3) frdvecteur(m[l]);
    free(m);
}
#endif

TEST(Regions, SmallMatricesTakeNoRegion)
{
    int before = regions_in_use();
    double **m = dmatrice(10, 10);
    EXPECT_EQ(regions_in_use(), before);
    frdmatrice(m, 10);
}

}  // namespace
