// The allocation library: shapes, zero fill, element widths, refusals, and
// frusmatrice's key.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "console.h"
#include "nrutil.h"

namespace {

template <typename T, typename A, typename F>
void expect_zeroed_matrix(A alloc, F release, int nc, int nl)
{
    T **m = alloc(nc, nl);
    ASSERT_NE(m, nullptr);
    for (int l = 0; l < nl; l++) {
        ASSERT_NE(m[l], nullptr);
        for (int c = 0; c < nc; c++) EXPECT_EQ(m[l][c], T(0)) << "cell " << l << "," << c;
    }
    // Every line is a block of its own: writing a whole line must not reach
    // another (the sanitizers catch an overrun).
    for (int l = 0; l < nl; l++)
        for (int c = 0; c < nc; c++) m[l][c] = T(l + 1);
    for (int l = 0; l < nl; l++) EXPECT_EQ(m[l][nc - 1], T(l + 1));
    for (int l = 1; l < nl; l++) EXPECT_NE(m[l], m[l - 1]);
    release(m, nl);
}

TEST(Matrices, EveryTypeIsZeroFilledWithOwnLines)
{
    expect_zeroed_matrix<float>(fmatrice, frfmatrice, 3, 2);
    expect_zeroed_matrix<unsigned char>(ucmatrice, frucmatrice, 7, 5);
    expect_zeroed_matrix<short>(smatrice, frsmatrice, 1, 9);
    expect_zeroed_matrix<int>(imatrice, frimatrice, 1000, 3);
    expect_zeroed_matrix<double>(dmatrice, frdmatrice, 3, 2);
    expect_zeroed_matrix<long double>(ldmatrice, frldmatrice, 4, 4);
}

TEST(Matrices, RefusedCountsGiveNull)
{
    EXPECT_EQ(dmatrice(3, 0), nullptr);
    EXPECT_EQ(dmatrice(0, 5), nullptr);
    EXPECT_EQ(ucmatrice(-1, 5), nullptr);
    EXPECT_EQ(imatrice(5, -1), nullptr);
    EXPECT_EQ(usmatrice(0, 0), nullptr);
    EXPECT_EQ(ldmatrice(1, 0), nullptr);
    // Releasing the null matrix of 0 lines does nothing.
    frdmatrice(nullptr, 0);
    frimatrice(nullptr, 0);
}

TEST(Matrices, ImpossibleRequestFailsCleanly)
{
    // More lines than memory can hold: null, and the lines obtained before
    // the failure are given back (LeakSanitizer would report them).
    EXPECT_EQ(ldmatrice(2147483647, 4), nullptr);
}

TEST(Vectors, ZeroFilledAndRefusals)
{
    unsigned char *uc = ucvecteur(10);
    unsigned short *us = usvecteur(10);
    short *s = svecteur(10);
    int *i = ivecteur(10);
    double *d = dvecteur(10);
    float *f = fvecteur(10);
    ASSERT_TRUE(uc && us && s && i && d && f);
    for (int k = 0; k < 10; k++) {
        EXPECT_EQ(uc[k], 0);
        EXPECT_EQ(us[k], 0);
        EXPECT_EQ(s[k], 0);
        EXPECT_EQ(i[k], 0);
        EXPECT_EQ(d[k], 0.0);
        EXPECT_EQ(f[k], 0.0f);
    }
    frucvecteur(uc);
    frusvecteur(us);
    frsvecteur(s);
    frivecteur(i);
    frdvecteur(d);
    frfvecteur(f);
    EXPECT_EQ(dvecteur(0), nullptr);
    EXPECT_EQ(ivecteur(-3), nullptr);
    frdvecteur(nullptr);
}

// Its text is the dialogue's: the end-to-end tests hold it.
TEST(Frusmatrice, WaitsForExactlyOneKeyThenReleases)
{
    static const char keys[] = "kx";
    console_input_memory(keys, 2);
    unsigned short **m = usmatrice(4, 1200);
    ASSERT_NE(m, nullptr);
    testing::internal::CaptureStdout();
    frusmatrice(m, 1200);
    testing::internal::GetCapturedStdout();
    // Exactly one key was taken: the next word starts at 'x'.
    char w[8];
    EXPECT_EQ(ask_word(w, sizeof w), 1u);
    EXPECT_STREQ(w, "x");
}

}  // namespace
