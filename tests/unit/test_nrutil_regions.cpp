// Large matrices carved from one region: the same matrices to their users,
// whichever pages the region took, lines given back one by one, the region
// returned with its last line.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "nrutil.h"
#include "regions.h"

namespace {

// 600 lines of 1000 doubles: 4.8 MB, well above the smallest region.
const int COLS = 1000, LINES = 600;

// The region a large matrix takes; none where the platform has no regions,
// and its lines are then blocks of their own with the same contract.
int one_region() { return regions_in_use() >= 0 ? 1 : 0; }

// Kilobytes of huge pages in the mapping that holds p; -1 where unknown.
long huge_kb_at(const void *p)
{
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    long kb = -1;
    const uintptr_t a = reinterpret_cast<uintptr_t>(p);
    while (std::getline(smaps, line)) {
        unsigned long lo, hi;
        if (sscanf(line.c_str(), "%lx-%lx ", &lo, &hi) == 2 && line.find(':') > line.find(' ')) {
            inside = lo <= a && a < hi;
        } else if (inside && sscanf(line.c_str(), "AnonHugePages: %ld kB", &kb) == 1) {
            return kb;
        }
    }
    return -1;
}

bool kernel_gives_advised_huge_pages()
{
    std::ifstream f("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string s;
    std::getline(f, s);
    return s.find("[madvise]") != std::string::npos || s.find("[always]") != std::string::npos;
}

// Every way a region may take its pages: huge pages turned down after one
// step, huge pages throughout, and the choice measured. 2500 lines of 1001
// doubles: several steps, and a last part short of a huge page.
TEST(Regions, EveryWayOfTakingPagesGivesZeroFilledLinesOfTheirOwn)
{
    const int cols = 1001, lines = 2500;
    for (double small_cost : {0.0, 1e9, -1.0}) {
        regions_small_cost(small_cost);
        int before = regions_in_use();
        double **m = dmatrice(cols, lines);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(regions_in_use(), before + one_region());
        for (int l = 0; l < lines; l++)
            for (int c = 0; c < cols; c++) ASSERT_EQ(m[l][c], 0.0) << l << " " << c;
        for (int l = 0; l < lines; l++)
            for (int c = 0; c < cols; c++) m[l][c] = l * 4096.0 + c;
        for (int l = 0; l < lines; l++) {
            ASSERT_EQ(m[l][0], l * 4096.0);
            ASSERT_EQ(m[l][cols - 1], l * 4096.0 + cols - 1);
        }
        if (one_region() && kernel_gives_advised_huge_pages()) {
            long kb = huge_kb_at(m[lines / 2]);
            if (small_cost == 0) {
                EXPECT_LE(kb, 2048) << "huge pages kept after a dear step";
            }
            if (small_cost > 1) {
                EXPECT_GE(kb, 16 * 1024) << "huge pages not taken";
            }
        }
        frdmatrice(m, lines);
        EXPECT_EQ(regions_in_use(), before);
    }
    regions_small_cost(-1);
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

TEST(Regions, MoreMatricesThanRegionsAndAgain)
{
    // Beyond the regions' table the rest take their lines one by one;
    // everything is given back, time after time.
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
    double **small = dmatrice(10, 10);  // a small matrix takes no region
    EXPECT_EQ(regions_in_use(), before);
    frdmatrice(small, 10);
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
    // The region gone with its last line, its lines stay out of bounds.
    volatile double *last = row + 8 * COLS;
    EXPECT_DEATH(last[0] = 1.0, "");
}
#endif

}  // namespace
