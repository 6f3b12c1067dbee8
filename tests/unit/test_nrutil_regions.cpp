// Large matrices carved from one region: the same matrices to their users,
// lines given back one by one, the region returned with its last line.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
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

// Kilobytes of huge pages in the mapping that holds p, from /proc/self/smaps;
// -1 where that cannot be told.
long huge_kb_at(const void *p)
{
    std::ifstream smaps("/proc/self/smaps");
    if (!smaps) return -1;
    const uintptr_t a = reinterpret_cast<uintptr_t>(p);
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        uintptr_t lo, hi;
        char dash;
        std::istringstream head(line);
        if (line.find(':') > line.find(' ') && head >> std::hex >> lo >> dash >> hi && dash == '-') {
            inside = lo <= a && a < hi;
            continue;
        }
        long kb;
        if (inside && sscanf(line.c_str(), "AnonHugePages: %ld kB", &kb) == 1) return kb;
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

// Every way a region may get its pages: small pages; huge pages throughout;
// huge pages given up after the first step, the rest of that region and the
// next ones on small pages. 2500 lines of 1001 doubles: several steps and a
// last part short of a huge page.
TEST(Regions, EveryWayOfTakingPagesGivesZeroFilledLinesOfTheirOwn)
{
    const int cols = 1001, lines = 2500;
    struct Way {
        bool huge;
        double dear_per_mb;
        bool proves_dear;
    } ways[] = {{false, -1, false}, {true, 1e9, false}, {true, 0, true}};
    for (const Way &w : ways) {
        regions_tune(w.huge, w.dear_per_mb);
        int before = regions_in_use();
        for (int round = 0; round < 2; round++) {  // the second after huge pages may be given up
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
            if (regions_available() && w.huge && !w.proves_dear && round == 0 && kernel_gives_advised_huge_pages()) {
                EXPECT_GT(huge_kb_at(m[lines / 2]), 0);
            }
            frdmatrice(m, lines);
        }
        EXPECT_EQ(regions_in_use(), before);
        EXPECT_EQ(regions_huge_pages_dear(), regions_available() && w.proves_dear);
    }
    regions_tune(true, -1);
}

// The pages of a region given back whole serve the next region: cut down
// to a smaller one in place, or grown into a larger one. Either way the new
// matrix is zero-filled, whatever the old one held.
TEST(Regions, ARegionGivenBackServesTheNextOneZeroFilled)
{
    regions_tune(true, -1);
    const int lines = 600;
    double **a = dmatrice(1000, lines);  // 4.8 MB
    ASSERT_NE(a, nullptr);
    for (int l = 0; l < lines; l++)
        for (int c = 0; c < 1000; c++) a[l][c] = 7.0;
    char *first = reinterpret_cast<char *>(a[0]);
    frdmatrice(a, lines);
    if (regions_available()) {
        EXPECT_GE(regions_spare(), size_t(4800000));
    }

    unsigned char **b = ucmatrice(4000, lines);  // 2.4 MB: the spare cut down
    ASSERT_NE(b, nullptr);
    if (regions_available()) {
        EXPECT_EQ(reinterpret_cast<char *>(b[0]), first);
        EXPECT_EQ(regions_spare(), 0u);
    }
    for (int l = 0; l < lines; l++)
        for (int c = 0; c < 4000; c++) {
            ASSERT_EQ(b[l][c], 0) << l << " " << c;
            b[l][c] = 9;
        }
    frucmatrice(b, lines);

    double **g = dmatrice(2000, lines);  // 9.6 MB: the spare grown
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(regions_spare(), 0u);
    for (int l = 0; l < lines; l++)
        for (int c = 0; c < 2000; c++) {
            ASSERT_EQ(g[l][c], 0.0) << l << " " << c;
            g[l][c] = l * 4096.0 + c;
        }
    for (int l = 0; l < lines; l++) {
        ASSERT_EQ(g[l][0], l * 4096.0);
        ASSERT_EQ(g[l][1999], l * 4096.0 + 1999);
    }
    frdmatrice(g, lines);
    regions_tune(true, -1);
    EXPECT_EQ(regions_spare(), 0u);
}

// Matrices of random sizes taken and given back in random order, whole or
// line by line, with huge pages allowed or not: each new matrix is zero
// filled, and no matrix ever sees another's writes (a spare handed out
// while its old lines are still in use would show here).
TEST(Regions, RandomTakesAndReleasesKeepMatricesApart)
{
    struct Live {
        unsigned char **m;
        int cols, lines;
        unsigned char mark;
    };
    std::mt19937 rng(11);
    for (int way = 0; way < 2; way++) {
        regions_tune(way == 0, -1);
        int before = regions_in_use();
        std::vector<Live> live;
        for (int step = 0; step < 60; step++) {
            if (live.size() < 4 && rng() % 3 != 0) {
                int cols = 1000 + static_cast<int>(rng() % 7000), lines = 300 + static_cast<int>(rng() % 1500);
                unsigned char **m = ucmatrice(cols, lines);
                ASSERT_NE(m, nullptr);
                unsigned char mark = static_cast<unsigned char>(1 + rng() % 250);
                for (int l = 0; l < lines; l++) {
                    for (int c = 0; c < cols; c += 97) ASSERT_EQ(m[l][c], 0) << step;
                    ASSERT_EQ(m[l][cols - 1], 0) << step;
                    memset(m[l], mark, static_cast<size_t>(cols));
                }
                live.push_back({m, cols, lines, mark});
            } else if (!live.empty()) {
                size_t k = rng() % live.size();
                Live v = live[k];
                for (const Live &o : live)
                    for (int l = 0; l < o.lines; l += 37) {
                        ASSERT_EQ(o.m[l][0], o.mark) << step;
                        ASSERT_EQ(o.m[l][o.cols - 1], o.mark) << step;
                    }
                if (rng() % 2) {
                    frucmatrice(v.m, v.lines);
                } else {  // line by line, last to first
                    for (int l = v.lines - 1; l >= 0; l--) frucvecteur(v.m[l]);
                    free(v.m);
                }
                live.erase(live.begin() + static_cast<long>(k));
            }
        }
        for (const Live &v : live) frucmatrice(v.m, v.lines);
        EXPECT_EQ(regions_in_use(), before);
    }
    regions_tune(true, -1);
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
    // Kept as the spare, a region given back whole is still out of bounds.
    volatile double *last = row + 8 * COLS;
    EXPECT_DEATH(last[0] = 1.0, "");
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
