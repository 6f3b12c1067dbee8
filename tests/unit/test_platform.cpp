// The platform layer's pure functions. (Answers, the key press and opening
// files are tested through its probe: e2e/test_console.py, test_platform.py
// and tests/tty/.)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "console.h"

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

}  // namespace
