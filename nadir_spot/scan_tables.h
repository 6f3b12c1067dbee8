// The constant tables of scan_words' vector ways, indexed by f, the
// digits after a word's point (0 to 15, or NO_POINT), and by the word's
// bytes after its sign (1 to 16, the point counted). Plain data: the ways
// load their rows as vectors.
#ifndef SCAN_TABLES_H
#define SCAN_TABLES_H

#include <cstdint>

namespace scan_tables {

const int NO_POINT = 16;  // f of a word without a point

struct Tables {
    // The byte shuffle that puts a word's digits in place: they end at
    // the last of 16 bytes, the point taken out by moving the bytes
    // before it one place up, and the bytes before the digits are zero
    // (-128 selects a zero).
    alignas(16) signed char in_place[17][17][16];
    // The last n bytes of 16 kept.
    alignas(16) unsigned char last_bytes[17][16];
    double divisor[17];            // 10^f, exact; 1 without a point
    double signed_divisor[2][17];  // 10^f, then -10^f: the sign comes with the division
};

constexpr Tables make_tables()
{
    Tables t{};
    for (int f = 0; f <= 16; f++) {
        const int point = 15 - f;  // the point's place for that f
        double p = 1.0;
        for (int e = 0; e < f && f != NO_POINT; e++) p *= 10.0;
        t.divisor[f] = p;
        t.signed_divisor[0][f] = p;
        t.signed_divisor[1][f] = -p;
        for (int i = 0; i < 16; i++) t.last_bytes[f][i] = i >= 16 - f ? 0xff : 0;
        for (int len = 0; len <= 16; len++) {
            const int first = 16 - len + (f == NO_POINT ? 0 : 1);  // the first digit's place once in place
            for (int i = 0; i < 16; i++) {
                const int from = f == NO_POINT || i > point ? i : i - 1;
                t.in_place[f][len][i] = static_cast<signed char>(i < first || from < 0 ? -128 : from);
            }
        }
    }
    return t;
}

constexpr Tables tables = make_tables();

}  // namespace scan_tables

#endif
