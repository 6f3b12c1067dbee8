// The grid reader called directly, as a parser: header shapes, values
// across block boundaries, and the stops for damaged grids, bad words shown
// as the bytes they are. (What the search makes of the values, no-data
// cells included, is tested in test_kernels.cpp and e2e/test_search.py.)
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "reader_fixture.h"
#include "readers.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

using ::testing::ExitedWithCode;

const char *STANDARD = "ncols 3\nnrows 2\nxllcorner 10.5\nyllcorner -20\ncellsize 25\nNODATA_value -9999\n";

// A word as a regular expression matching it alone.
std::string quoted(const std::string &word)
{
    std::string r;
    for (char ch : word) r += std::string(isalnum(static_cast<unsigned char>(ch)) ? "" : "\\") + ch;
    return r;
}

class AsciiLecture : public ReaderTest {
protected:
    std::string grid(const std::string &text, bool memory = false)
    {
        model(text, memory);
        return run(ascii_lecture, "");
    }

    void expect_cells(const std::vector<double> &want)
    {
        ASSERT_NE(dtab, nullptr);
        ASSERT_EQ(static_cast<size_t>(nb_lig) * nb_col, want.size());
        for (size_t k = 0; k < want.size(); k++)
            EXPECT_EQ(dtab[k / nb_col][k % nb_col], want[k]) << "cell " << k;
    }

#ifndef _WIN32
    // What a run of the reader on a file (or, when memory, a stream of
    // unknown size) prints, then every cell in hexadecimal, and its exit
    // status: in a child process, as a stop ends the process.
    std::string outcome(const std::string &text, bool memory)
    {
        fflush(stdout);
        int fds[2];
        if (pipe(fds) != 0) return "no pipe";
        pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            model(text, memory);
            ascii_lecture();
            for (int l = 0; l < nb_lig; l++)
                for (int c = 0; c < nb_col; c++) printf(" %a", dtab[l][c]);
            fflush(stdout);
            _exit(0);
        }
        close(fds[1]);
        std::string out;
        char chunk[4096];
        for (ssize_t got; (got = read(fds[0], chunk, sizeof chunk)) > 0;)
            out.append(chunk, static_cast<size_t>(got));
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        return out + "\nstatus " + std::to_string(status);
    }
#endif
};

TEST_F(AsciiLecture, StandardHeaderAndValues)
{
    EXPECT_EQ(grid(std::string(STANDARD) + "1 2.5 -3\n4e2 0.1 -0\n"), "\n");
    EXPECT_EQ(nb_col, 3);
    EXPECT_EQ(nb_lig, 2);
    EXPECT_EQ(X_min, 10.5);
    EXPECT_EQ(Y_min, -20.0);
    EXPECT_EQ(dpix_size, 25.0);
    EXPECT_EQ(nodata, -9999.0);
    expect_cells({1, 2.5, -3, 400, 0.1, -0.0});
    EXPECT_TRUE(std::signbit(dtab[1][2]));
}

#ifndef _WIN32
TEST_F(AsciiLecture, StreamThatCannotSeekBackLosesNothing)
{
    // A named pipe opened as the model: the byte order mark test must not
    // take bytes it cannot give back.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string text = std::string(STANDARD) + "1 2 3\n4 5 6\n";
    ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fds[1]);
    f1 = fdopen(fds[0], "r");
    ASSERT_NE(f1, nullptr);
    EXPECT_EQ(run(ascii_lecture, ""), "\n");
    expect_cells({1, 2, 3, 4, 5, 6});
}
#endif

TEST_F(AsciiLecture, AnyWordsInTheStandardOrderKeepTheirPlaces)
{
    grid("a 2\tb 1 c 1 d 2 e 3 f 4\r\n7 8\r\n");
    EXPECT_EQ(nb_col, 2);
    EXPECT_EQ(nb_lig, 1);
    EXPECT_EQ(X_min, 1.0);
    EXPECT_EQ(Y_min, 2.0);
    EXPECT_EQ(dpix_size, 3.0);
    EXPECT_EQ(nodata, 4.0);
    expect_cells({7, 8});
}

TEST_F(AsciiLecture, KeywordsInAnyCaseAndOrder)
{
    grid("NROWS 1\nnodata_value -1\nYllCenter 5\nCELLSIZE 2\nNCols 3\nxllcenter 4\n9 8 7\n");
    EXPECT_EQ(nb_col, 3);
    EXPECT_EQ(nb_lig, 1);
    EXPECT_EQ(X_min, 3.0);  // the corner, half a cell from the centre given
    EXPECT_EQ(Y_min, 4.0);
    EXPECT_EQ(dpix_size, 2.0);
    EXPECT_EQ(dpix_dy, 2.0);
    EXPECT_EQ(nodata, -1.0);
    expect_cells({9, 8, 7});
    // dx sets the cell width, dy its height, even as a seventh entry; each
    // axis's corner or centre on its own.
    TearDown();
    SetUp();
    grid("ncols 2 nrows 1 xllcorner 0 yllcenter 0 dx 30 dy 40 nodata_value -5 1 2");
    EXPECT_EQ(dpix_size, 30.0);
    EXPECT_EQ(dpix_dy, 40.0);
    EXPECT_EQ(X_min, 0.0);
    EXPECT_EQ(Y_min, -20.0);
    EXPECT_EQ(nodata, -5.0);
    expect_cells({1, 2});
}

TEST_F(AsciiLecture, FiveEntryHeaderStartsTheValuesAtTheFirstNumber)
{
    nodata = 123;
    grid("ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n5 6\n7 8\n");
    EXPECT_TRUE(std::isnan(nodata));  // none: only NaN cells are left out
    expect_cells({5, 6, 7, 8});
    TearDown();
    SetUp();
    // Even when the first value is a special word that reads as a number.
    grid("ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nnan 6\n");
    EXPECT_TRUE(std::isnan(dtab[0][0]));
    EXPECT_EQ(dtab[0][1], 6.0);
}

// The reader keeps a no-data cell's value as it is: the search leaves it out.
TEST_F(AsciiLecture, NodataCellsAreReadAsTheyAre)
{
    grid("ncols 3 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999\n12 -9999 15\n");
    expect_cells({12, -9999, 15});
}

TEST_F(AsciiLecture, NanAndInfinityAreReadAsStrtodReadsThem)
{
    grid("ncols 4 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999\nnan -inf Infinity +1.5\n");
    EXPECT_TRUE(std::isnan(dtab[0][0]));
    EXPECT_EQ(dtab[0][1], -HUGE_VAL);
    EXPECT_EQ(dtab[0][2], HUGE_VAL);
    EXPECT_EQ(dtab[0][3], 1.5);
}

TEST_F(AsciiLecture, ValuesAcrossBlockBoundariesAndLongBlankRuns)
{
    // Several MiB of values, with runs of blanks and words that straddle
    // the reader's block boundaries at every offset.
    const int L = 300, C = 1000;
    std::string text = "ncols 1000 nrows 300 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999\n";
    std::vector<double> want;
    srand(3);
    for (int l = 0; l < L; l++) {
        for (int c = 0; c < C; c++) {
            int v = rand() % 2000000 - 1000000;
            char word[32];
            // Mostly the common shape, read several at a time; now and then
            // one the exact way takes (an exponent, a '+', 17 digits).
            const char *shape = c % 13 == 5   ? "%d.%02de-1"
                                : c % 29 == 3 ? "+%d.%02d"
                                : c % 31 == 7 ? "%d.%02d00000000001"
                                              : "%d.%02d";
            snprintf(word, sizeof word, shape, c % 29 == 3 ? std::abs(v / 100) : v / 100, std::abs(v % 100));
            want.push_back(strtod(word, nullptr));
            text += word;
            text += (c % 97 == 0) ? std::string(static_cast<size_t>(1 + rand() % 5000), ' ') : " ";
        }
        text += l % 2 ? "\r\n" : "\n";
    }
    for (bool memory : {false, true}) {
        TearDown();
        SetUp();
        grid(text, memory);
        expect_cells(want);
    }
}

TEST_F(AsciiLecture, WordsUpToTheWindowAreReadAndLongerOnesRefusedWherever)
{
    // A header value and a grid value of 4096 characters are read, of 4097
    // refused, whether they lie early or across the end of the first read
    // (1 MiB + 4096 bytes): a word must not read differently by where it falls.
    const long end = (1L << 20) + 4096;
    const std::string head = "ncols 2 nrows 1 xllcorner 0 yllcorner 0 cellsize ";
    for (bool in_header : {true, false}) {
        for (size_t length : {4096, 4097}) {
            const std::string word = std::string(length - 1, '0') + "5";
            for (long start :
                 {100L, end - long(length) - 1, end - long(length), end - 4097, end - 4096, end - 4095}) {
                std::string text = head + (in_header ? "" : "1 nodata_value -9999 1 ");
                text += std::string(static_cast<size_t>(start) - text.size(), ' ') + word;
                text += in_header ? " 7 8\n" : "\n";
                if (length <= 4096) {
                    TearDown();
                    SetUp();
                    grid(text);
                    EXPECT_EQ(dpix_size, in_header ? 5.0 : 1.0) << start;
                    expect_cells(in_header ? std::vector<double>{7, 8} : std::vector<double>{1, 5});
                } else {
                    EXPECT_EXIT(
                        {
                            model_file(text);
                            die(ascii_lecture, "");
                        },
                        ExitedWithCode(1),
                        std::string(in_header ? "Grid header" : "Grid line 1, column 2") + ": the word \"" +
                            std::string(40, '0') +
                            "\\.\\.\\.\" is too long: a word may have at most 4096 characters\\.")
                        << start;
                }
            }
        }
    }
}

TEST_F(AsciiLecture, ValuesAfterTheLastAreIgnored)
{
    grid("ncols 1 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999 5 6 junk");
    expect_cells({5});
}

TEST_F(AsciiLecture, EmptyModelReadsNoValues)
{
    EXPECT_EQ(grid("ncols 0 nrows 3 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999\n"), "\n");
    EXPECT_EQ(dtab, nullptr);
    EXPECT_EQ(nb_lig, 3);
    TearDown();
    SetUp();
    grid("ncols 3 nrows 0 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999 not a grid");
    EXPECT_EQ(dtab, nullptr);
    TearDown();
    SetUp();
    grid("ncols 0 nrows 4 xllcorner 0 yllcorner 0 cellsize 1\n");  // five entries
    EXPECT_EQ(nb_lig, 4);
    EXPECT_EQ(dtab, nullptr);
}

// The stops: the message names where the grid went wrong.
struct BadGrid {
    const char *text;
    const char *message;
    bool sized = false;  // told by the file's size: a regular file only
};

TEST_F(AsciiLecture, DamagedGridsStopWithWhereAndWhat)
{
    const std::string h = "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n";
    const BadGrid cases[] = {
        {"1 2\n3 x4\n", "Grid line 2, column 2: \"x4\" is not a number\\."},
        {"1 2\n3 4,5\n", "Grid line 2, column 2: \"4,5\" is not a number\\."},
        {"1 2\n3 \n\n  ", "Grid line 2, column 2: the file ends before this value\\."},
        {"abc 1 2 3", "Grid line 1, column 1: \"abc\" is not a number\\."},
    };
    for (const BadGrid &bad : cases)
        for (bool memory : {false, true}) {
            std::string text = h + bad.text;
            EXPECT_EXIT(
                {
                    model(text, memory);
                    die(ascii_lecture, "");
                },
                ExitedWithCode(1), bad.message)
                << bad.text;
        }
    // A bad word among many good ones, where the values are read several
    // at a time, stops at its own line and column.
    std::string row;
    for (int c = 0; c < 40; c++) row += "1234.56 ";
    for (const char *word : {"1.2.3", "12-", "--5", "+-1", ".", "-", "1234.56x", "12345678901234567890x"}) {
        std::string text = "ncols 40\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n" +
                           row + "\n" + row.substr(0, 8 * 36) + word + " " + row.substr(0, 8 * 3) + "\n";
        EXPECT_EXIT(
            {
                model_memory(text);
                die(ascii_lecture, "");
            },
            ExitedWithCode(1), "Grid line 2, column 37: \"" + quoted(word) + "\" is not a number")
            << word;
    }
    // A NUL byte is no separator.
    EXPECT_EXIT(
        {
            model_memory(h + std::string("1 2 3 4\0 ", 9));
            die(ascii_lecture, "");
        },
        ExitedWithCode(1), "Grid line 2, column 2: \"4\\\\x00\" is not a number\\.");
    // A grid too short for its header: a file is refused from its size, a
    // stream of unknown size where it ends.
    EXPECT_EXIT(
        {
            model_memory(h + "1 2\n3");
            die(ascii_lecture, "");
        },
        ExitedWithCode(1), "Grid line 2, column 2: the file ends before this value\\.");
    EXPECT_EXIT(
        {
            model_file(h + "1 2\n3");
            die(ascii_lecture, "");
        },
        ExitedWithCode(1), "2 lines and 2 columns: more values than the 5 bytes left");
}

TEST_F(AsciiLecture, DamagedHeadersStop)
{
    const BadGrid cases[] = {
        {"ncols 2.5 nrows 1", "the value of ncols is not a whole number: \"2\\.5\""},
        {"ncols 2 nrows 99999999999", "the value of nrows is not a whole number"},
        {"ncols 2 nrows 1 xllcorner 1,5", "the value of xllcorner is not a number: \"1,5\""},
        // A file cut before the five first entries is no empty model: it
        // stops, naming the first entry missing (an empty file, one cut
        // inside an entry: e2e/test_bad_inputs.py).
        {"nrows 2 xllcorner 0 yllcorner 0 cellsize 1", "the file ends before the value of ncols\\."},
        {"ncols 0 nrows 0 xllcorner 0 yllcorner 0", "the file ends before the value of cellsize\\."},
        // Values after a header without a dimension are no empty model.
        {"nrows 2\n1 2 3 4", "the header ends without the value of ncols\\."},
        // 3 x 3 values need at least 17 bytes.
        {"ncols 3 nrows 3 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999\n1 2 3 4 5 6 7 89",
         "announces 3 lines and 3 columns: more values than the 16 bytes", true},
    };
    for (const BadGrid &bad : cases)
        for (bool memory : {false, true}) {
            if (memory && bad.sized) continue;
            EXPECT_EXIT(
                {
                    model(bad.text, memory);
                    die(ascii_lecture, "");
                },
                ExitedWithCode(1), bad.message)
                << bad.text;
        }
}

TEST_F(AsciiLecture, SmallestFittingGridIsAccepted)
{
    // 3 x 3 values in exactly 17 bytes: the size test is not too strict.
    grid("ncols 3 nrows 3 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999\n1 2 3 4 5 6 7 8 9");
    expect_cells({1, 2, 3, 4, 5, 6, 7, 8, 9});
}

TEST_F(AsciiLecture, ByteOrderMarkIsSkipped)
{
    // Out of the standard order, the mark would turn "nrows" into an
    // unknown word taking the place of ncols: an empty model, silently.
    for (bool memory : {false, true}) {
        grid("\xEF\xBB\xBFnrows 1\nncols 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n7 8\n", memory);
        EXPECT_EQ(nb_lig, 1);
        EXPECT_EQ(nb_col, 2);
        ASSERT_NE(dtab, nullptr);
        EXPECT_EQ(dtab[0][1], 8.0);
        TearDown();
        SetUp();
    }
    // Only at the very start: elsewhere it is a bad word.
    EXPECT_EXIT(
        {
            model_file(
                "ncols 1 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999 \xEF\xBB\xBF"
                "5");
            die(ascii_lecture, "");
        },
        ExitedWithCode(1), "Grid line 1, column 1: \"\\\\xEF\\\\xBB\\\\xBF5\" is not a number\\.");
}

#ifndef _WIN32
TEST_F(AsciiLecture, RandomGridsReadAsTheirWordsEachProgressLineOnce)
{
    // Random grids, sound and damaged (a bad word, a word too long, cut
    // short, words after the last), tall ones printing progress lines, some
    // taken over several buffers by runs of blanks so that lines begin and
    // end across buffer ends: every value is strtod's of its word, every
    // progress line comes once and in order up to the line of a stop, and a
    // stop names its value's place.
    const char *words[] = {"1644.57",           "-3",  "+2.5", "1e3", "-0", "0.000001",
                           "12345678901234567", "nan", "-9999"};
    srand(11);
    for (int k = 0; k < 40; k++) {
        const int lines = k % 2 ? 150 + rand() % 300 : 1 + rand() % 20, cols = 1 + rand() % (k % 2 ? 3 : 30);
        const size_t long_blanks = k % 4 == 1 ? 400000 : 3000;  // several 1 MiB buffers
        std::string text = "ncols " + std::to_string(cols) + "\nnrows " + std::to_string(lines) +
                           "\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n";
        const int cells = lines * cols, fault = rand() % 6;
        // Half the tall grids fail on a line whose progress line is due.
        const int at = lines > 100 && k % 4 == 3 ? 100 * (1 + rand() % (lines / 100)) * cols : rand() % cells;
        std::string want;
        for (int i = 0; i < cells + (fault == 4 ? 5 : 0); i++) {
            if (fault == 3 && i == at) break;  // cut short
            std::string w = words[rand() % 9];
            if (fault == 1 && i == at) w = "12x";
            if (fault == 2 && i == at) w = std::string(4097, '7');
            if (fault == 5 && i == at) w = std::string(4000, '0') + "5";  // long, yet read
            if (fault == 4 && i >= cells) w = k % 2 ? "7" : "junk";
            text += w;
            char hex[64];
            snprintf(hex, sizeof hex, " %a", strtod(w.c_str(), nullptr));
            if (i < cells) want += hex;
            const int blank = rand() % 40;
            text += blank == 0  ? std::string(static_cast<size_t>(rand()) % long_blanks, ' ')
                    : blank < 4 ? "\r\n"
                    : blank < 8 ? "\t"
                                : " ";
        }
        const bool stops = fault >= 1 && fault <= 3;
        const std::string out = outcome(text, fault == 3);  // a stream: read up to where it ends
        const int end_line = stops ? at / cols : lines - 1;
        std::string progress, shown;
        for (int l = 100; l <= end_line; l += 100) progress += "line " + std::to_string(l) + " ";
        for (size_t p = 0; (p = out.find("\tline ", p)) != std::string::npos; p++)
            shown += "line " + std::to_string(atoi(out.c_str() + p + 6)) + " ";
        EXPECT_EQ(shown, progress) << "grid " << k;
        if (stops) {
            const std::string place = "Grid line " + std::to_string(at / cols + 1) + ", column " +
                                      std::to_string(at % cols + 1) + ":";
            EXPECT_NE(out.find(place), std::string::npos) << "grid " << k << ": " << out.substr(0, 300);
            EXPECT_EQ(out.substr(out.size() - 10), "status 256") << "grid " << k;
        } else {
            EXPECT_NE(out.find(want + "\nstatus 0"), std::string::npos) << "grid " << k;
        }
    }
}
#endif

TEST_F(AsciiLecture, WordsAreShownAsTheirBytes)
{
    char out[SHOWN_TEXT];
    EXPECT_STREQ(shown_text("abc", 3, out), "abc");
    const char nul_inside[] = {'1', '\0', '2'};
    EXPECT_STREQ(shown_text(nul_inside, 3, out), "1\\x002");
    EXPECT_STREQ(shown_text("\x1b[2J\xff", 5, out), "\\x1B[2J\\xFF");
    std::string long_word(100, '\x01');
    EXPECT_EQ(std::string(shown_text(long_word.data(), long_word.size(), out)).size(), 4u * SHOWN_WORD);
}

}  // namespace
