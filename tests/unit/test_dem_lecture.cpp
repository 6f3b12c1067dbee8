// The raw raster reader called directly, as a parser: samples, range, the
// unit factors, the descriptor's completion, and the stops that only a
// direct call reaches (a stream of unknown size, dimensions opening() would
// refuse). The dialogue's texts and the stops of a whole run are tested end
// to end.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "reader_fixture.h"

namespace {

using ::testing::ExitedWithCode;

std::string le16(const std::vector<unsigned> &v)
{
    std::string s;
    for (unsigned x : v) s += {char(x & 0xff), char(x >> 8)};
    return s;
}

std::string le32(const std::vector<int64_t> &v)
{
    std::string s;
    for (int64_t x : v)
        for (int k = 0; k < 4; k++) s += char((static_cast<uint32_t>(x) >> (8 * k)) & 0xff);
    return s;
}

const std::string MENU =
    "\n\n\tAre these values\n\t\t0 ====> in meters\n\t\t1 ====> in decimeters\n\t\t2 ====> in "
    "centimeters\n\t\t3 ====> in millimeters\n\t\t";

std::string range(int lo, int hi)
{
    return "\n\n\tHypsometric dynamic scale:\n\t\tMin = " + std::to_string(lo) +
           "\n\t\tMax = " + std::to_string(hi) + " ";
}

class DemLecture : public ReaderTest {
protected:
    std::string raster32(int lines, int cols, const std::vector<int64_t> &v, const std::string &answers)
    {
        nb_lig = lines;
        nb_col = cols;
        itype = 1;
        model_file(le32(v));
        return run(dem_lecture, answers);
    }

    // A descriptor for the reader to write, as opening() leaves it when the
    // name was free: its path text in descr_new.
    std::string new_descriptor(const std::string &name)
    {
        std::string path = temp_path(name);
        remove(path.c_str());
        EXPECT_LT(path.size(), sizeof descr_new);
        snprintf(descr_new, sizeof descr_new, "%s", path.c_str());
        descr_OK = false;
        return path;
    }
};

TEST_F(DemLecture, SixteenBitSamplesAreUnsignedAndTheKeyComesBeforeTheRange)
{
    nb_lig = 2;
    nb_col = 3;
    itype = 0;
    model_file(le16({0xFFFF, 0, 1, 2, 32768, 65534}));
    std::string out = run(dem_lecture, "k0");
    EXPECT_EQ(out, "\n NbLig en frusmatrice 2 " + range(0, 65535) + MENU);
    ASSERT_NE(dtab, nullptr);
    EXPECT_EQ(itab[0][0], 65535);
    EXPECT_EQ(dtab[0][0], 65535.0);
    EXPECT_EQ(dtab[1][1], 32768.0);
    EXPECT_EQ(dtab[1][2], 65534.0);
    EXPECT_EQ(jtab, nullptr);
}

TEST_F(DemLecture, RowsLandInOrderFromFilesAndStreams)
{
    // Enough rows and columns that a row read into the wrong line, or a
    // row length off by a sample, shows.
    const int L = 7, C = 1001;
    std::vector<int64_t> v32;
    std::vector<unsigned> v16;
    for (int i = 0; i < L * C; i++) {
        v32.push_back(i * 37 - 100000);
        v16.push_back(static_cast<unsigned>(i * 7) & 0xFFFF);
    }
    for (int depth : {0, 1})
        for (bool memory : {false, true}) {
            TearDown();
            SetUp();
            nb_lig = L;
            nb_col = C;
            itype = depth;
            std::string bytes = depth ? le32(v32) : le16(v16);
            model(bytes, memory);
            run(dem_lecture, depth ? "0" : "k0");
            ASSERT_NE(dtab, nullptr);
            for (int l = 0; l < L; l++)
                for (int c = 0; c < C; c++) {
                    double want = depth ? double(v32[l * C + c]) : double(v16[l * C + c]);
                    ASSERT_EQ(dtab[l][c], want) << "depth " << depth << " memory " << memory;
                }
        }
}

TEST_F(DemLecture, UnitsUseTheNearestDoublesOfTheirFactors)
{
    // 3 x 0.1 is not 0.3: a division by 10 would give 0.3.
    ASSERT_NE(3 * 0.1, 0.3);
    const std::vector<int64_t> s = {3, -7, 123456789, 2147483647, -2147483647 - 1, 1};
    const double factor[4] = {1.0, 0.1, 0.01, 0.001};
    for (int unit = 0; unit < 4; unit++) {
        TearDown();
        SetUp();
        raster32(2, 3, s, std::to_string(unit));
        for (int k = 0; k < 6; k++)
            EXPECT_EQ(dtab[k / 3][k % 3], static_cast<double>(s[k]) * factor[unit])
                << "unit " << unit << " sample " << s[k];
    }
}

TEST_F(DemLecture, RangeIsInRawUnitsAndTheTrueRange)
{
    // All negative: the maximum is the largest sample, not 0.
    EXPECT_EQ(raster32(1, 3, {-5, -3, -9}, "3"), range(-9, -3) + MENU);
    EXPECT_EQ(dtab[0][1], -3 * 0.001);
    TearDown();
    SetUp();
    // Millimetres above 1000 m: the minimum is the smallest sample.
    EXPECT_EQ(raster32(2, 1, {2000001, 1500000}, "3"), range(1500000, 2000001) + MENU);
}

TEST_F(DemLecture, ExistingDescriptorIsLeftUntouched)
{
    std::string path = temp_path("kept.txt");
    f1d = fopen(path.c_str(), "w");
    descr_OK = true;
    raster32(1, 1, {5}, "0");
    fclose(f1d);
    f1d = nullptr;
    EXPECT_EQ(slurp(path), "");
    remove(path.c_str());
}

// The descriptor opening() could not find, written once the raster is read:
// its range is that of the samples read, or the starting one when none is.
TEST_F(DemLecture, CreatedDescriptorIsWrittenWhole)
{
    struct Case {
        int lines, cols;
        std::vector<unsigned> samples;
        double pixel;
        const char *want;
    };
    const Case cases[] = {
        {2, 3, {0xFFFF, 7, 1, 2, 3, 4}, 0.5, "2\n3\n2\n1\n65535\n0.500000\n"},
        {0, 5, {}, 2, "0\n5\n2\n1000000\n0\n2.000000\n"},
    };
    for (const Case &k : cases) {
        TearDown();
        SetUp();
        nb_lig = k.lines;
        nb_col = k.cols;
        itype = 0;
        dpix_size = k.pixel;
        std::string path = new_descriptor("made.txt");
        model_file(le16(k.samples));
        run(dem_lecture, "k2");
        EXPECT_EQ(slurp_text(path), k.want);
        EXPECT_STREQ(descr_new, "");
        remove(path.c_str());
    }
}

// An empty model has no matrix: nothing is read, and the range printed is
// the starting one.
TEST_F(DemLecture, EmptyRasterReadsNothingAndReportsTheStartingRange)
{
    nb_lig = 0;
    nb_col = 5;
    itype = 0;
    model_file("");
    EXPECT_EQ(run(dem_lecture, "k0"), "\n NbLig en frusmatrice 0 " + range(1000000, 0) + MENU);
    EXPECT_EQ(dtab, nullptr);
    TearDown();
    SetUp();
    EXPECT_EQ(raster32(4, 0, {}, "1"), range(1000000, 0) + MENU);
    EXPECT_EQ(dtab, nullptr);
    EXPECT_EQ(itab, nullptr);
}

// A stream of unknown size (a pipe) is found short only where its rows run
// out; a short file is refused from its size first (e2e/test_bad_inputs.py).
TEST_F(DemLecture, ShortStreamStopsAndLeavesNoDescriptor)
{
    nb_lig = 2;
    nb_col = 3;
    for (int depth : {0, 1}) {
        itype = depth;
        std::string path = new_descriptor("short.txt");
        model_memory(depth ? le32({1, 2, 3, 4, 5}) : le16({1, 2, 3, 4, 5}));
        std::string need = depth ? "24" : "12", held = depth ? "20" : "10";
        std::string bytes_of = depth ? "4" : "2";
        EXPECT_EXIT(die(dem_lecture, "k0"), ExitedWithCode(1),
                    "too short: 2 lines of 3 samples of " + bytes_of + " bytes need " + need +
                        " bytes, the file holds " + held + "\\.");
        EXPECT_FALSE(exists(path)) << "depth " << depth;
        fclose(f1);
        f1 = nullptr;
    }
}

TEST_F(DemLecture, BytesAfterTheLastRowAreIgnored)
{
    nb_lig = 1;
    nb_col = 2;
    itype = 0;
    model_file(le16({10, 20, 30, 40}));
    EXPECT_EQ(run(dem_lecture, "k0"), "\n NbLig en frusmatrice 1 " + range(10, 20) + MENU);
}

TEST_F(DemLecture, DescriptorThatCannotBeWrittenIsAWarningAndTheRunGoesOn)
{
    // Its folder went away meanwhile; a full disk fails the same way.
    std::string path = new_descriptor("gone") + "/M_m4.txt";
    strcat(descr_new, "/M_m4.txt");
    EXPECT_EQ(raster32(1, 1, {5}, "0"), range(5, 5) + MENU + "\n\tWarning: the descriptor " + path +
                                            " cannot be created; the model is read without it.\n");
    EXPECT_EQ(dtab[0][0], 5.0);
}

TEST_F(DemLecture, NameTakenMeanwhileIsLeftAsItIs)
{
    // Something took the name while the model was read: it is not written
    // over, through or beside, and the run goes on.
    std::string path = new_descriptor("taken.txt");
    std::ofstream(path) << "theirs";
    EXPECT_EQ(raster32(1, 1, {5}, "0"), range(5, 5) + MENU + "\n\tWarning: " + path +
                                            " appeared while the model was read; the descriptor is "
                                            "not written over it.\n");
    EXPECT_EQ(slurp(path), "theirs");
    remove(path.c_str());
#ifndef _WIN32
    TearDown();
    SetUp();
    std::string elsewhere = temp_path("elsewhere.txt");
    remove(elsewhere.c_str());
    path = new_descriptor("link.txt");
    ASSERT_EQ(symlink(elsewhere.c_str(), path.c_str()), 0);
    raster32(1, 1, {5}, "0");
    EXPECT_FALSE(exists(elsewhere)) << "written through a dangling link";
    remove(path.c_str());
#endif
}

TEST_F(DemLecture, UncreatableDescriptorIsSkipped)
{
    descr_OK = false;  // opening could not create it: no stream
    EXPECT_EQ(raster32(1, 1, {5}, "0"), range(5, 5) + MENU);
    EXPECT_EQ(dtab[0][0], 5.0);
}

TEST_F(DemLecture, NegativeDimensionsStop)
{
    nb_lig = 3;
    nb_col = -2;
    model_file("");
    EXPECT_EXIT({ die(dem_lecture, ""); }, ExitedWithCode(1), "cannot have 3 lines and -2 columns");
}

}  // namespace
