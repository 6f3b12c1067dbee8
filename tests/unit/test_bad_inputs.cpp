// What the fuzzers and the bad-input catalogue found in the readers: a byte
// order mark, a grid file that ends inside its header, and bad words shown
// as the bytes they are.
#include <cstdlib>
#include <string>

#include "reader_fixture.h"
#include "readers.h"

namespace {

using ::testing::ExitedWithCode;

class BadInputs : public ReaderTest {
protected:
    std::string grid(const std::string &text, bool memory)
    {
        if (memory) model_memory(text);
        else model_file(text);
        return run(ascii_lecture, "");
    }
};

TEST_F(BadInputs, ByteOrderMarkIsSkipped)
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
            model_file("ncols 1 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 nodata_value 0 \xEF\xBB\xBF" "5");
            die(ascii_lecture, "");
        },
        ExitedWithCode(1), "Grid line 1, column 1: \"\\\\xEF\\\\xBB\\\\xBF5\" is not a number\\.");
}

TEST_F(BadInputs, FileEndingInsideTheHeaderIsNoGrid)
{
    // An empty file, or one cut before the five first entries, is not an
    // empty model: it stops, naming the first entry missing.
    const std::pair<const char *, const char *> cases[] = {
        {"", "ncols"},
        {"\xEF\xBB\xBF  \r\n", "ncols"},
        {"ncols 2 nrows 2\n", "xllcorner"},
        {"nrows 2 xllcorner 0 yllcorner 0 cellsize 1", "ncols"},
        {"ncols 0 nrows 0 xllcorner 0 yllcorner 0", "cellsize"},
    };
    for (const auto &c : cases)
        for (bool memory : {false, true}) {
            if (memory && !*c.first) continue;  // no empty memory stream
            EXPECT_EXIT(
                {
                    if (memory) model_memory(c.first);
                    else model_file(c.first);
                    die(ascii_lecture, "");
                },
                ExitedWithCode(1),
                std::string("Grid header: the file ends before the value of ") + c.second + "\\.")
                << c.first;
        }
    // Five entries and no values: an empty model, as before.
    grid("ncols 0 nrows 4 xllcorner 0 yllcorner 0 cellsize 1\n", false);
    EXPECT_EQ(nb_lig, 4);
    EXPECT_EQ(dtab, nullptr);
}

TEST_F(BadInputs, WordsAreShownAsTheirBytes)
{
    char out[SHOWN_TEXT];
    EXPECT_STREQ(shown_text("abc", 3, out), "abc");
    EXPECT_STREQ(shown_text("1\0" "2", 3, out), "1\\x002");
    EXPECT_STREQ(shown_text("\x1b[2J\xff", 5, out), "\\x1B[2J\\xFF");
    std::string long_word(100, '\x01');
    EXPECT_EQ(std::string(shown_text(long_word.data(), long_word.size(), out)).size(),
              4u * SHOWN_WORD);
    // A terminal escape in a grid does not reach the console as one.
    EXPECT_EXIT(
        {
            model_file("ncols 1 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 nodata_value 0 \x1b[2J");
            die(ascii_lecture, "");
        },
        ExitedWithCode(1), "Grid line 1, column 1: \"\\\\x1B\\[2J\" is not a number\\.");
}

}  // namespace
