// The platform layer's pure functions, and reads at an offset. (Answers,
// the key press and opening files are tested through its probe:
// e2e/test_console.py, test_platform.py and tests/tty/.)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "console.h"
#include "workers.h"

namespace {

TEST(Console, NativePathMapsDriveAndBackslashes)
{
    char out[64];
#ifdef _WIN32
    EXPECT_STREQ(native_path("c:\\images\\F\\M.asc", out), "c:\\images\\F\\M.asc");
#else
    EXPECT_STREQ(native_path("c:\\images\\F\\M.asc", out), "c/images/F/M.asc");
    EXPECT_STREQ(native_path("C:\\images\\a b\\x_m2.raw", out), "c/images/a b/x_m2.raw");
    EXPECT_STREQ(native_path("plain/path", out), "plain/path");
#endif
}

#ifndef _WIN32
TEST(Workers, ReadAtAnOffsetLeavesTheStreamWhereItIs)
{
    FILE *f = tmpfile();
    ASSERT_NE(f, nullptr);
    fputs("0123456789", f);
    fflush(f);
    fseek(f, 3, SEEK_SET);
    char buf[16];
    struct {
        long long offset;
        size_t n;
        long long got;
        const char *bytes;
    } cases[] = {{0, 4, 4, "0123"}, {6, 10, 4, "6789"}, {10, 4, 0, ""}, {99, 4, 0, ""}};
    for (const auto &c : cases) {
        memset(buf, 0, sizeof buf);
        EXPECT_EQ(read_at(fileno(f), buf, c.n, c.offset), c.got) << c.offset;
        EXPECT_STREQ(buf, c.bytes) << c.offset;
    }
    EXPECT_EQ(ftell(f), 3);
    EXPECT_EQ(fgetc(f), '3');
    EXPECT_EQ(read_at(-1, buf, 1, 0), -1);
    fclose(f);
}
#endif

}  // namespace
