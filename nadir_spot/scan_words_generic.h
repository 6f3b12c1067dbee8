// scan_words, written once over the operations of a vector way (Words2,
// blank_bits, load_two, digit_values... of scan_avx2.h) and the tables of
// scan_tables.h. scan_number.cpp includes it inside the way's namespace,
// after that way's operations.
//
// The text is taken in stretches of STRETCH bytes, in two steps. First
// the blanks of a block of 32 bytes at a time give a bit a byte, and the
// places where words start, and where they stop, are listed: no branch
// depends on the words. Then the words listed are checked and converted,
// in a loop whose only branch is the rare word of another shape, so that
// the processor works on several words at once: four at a time (a group
// that repeats the last group's shape needs no check but that), then word
// by word for the rest. A word whose blank after it is not in the
// stretch waits for the next one.

using scan_tables::NO_POINT;
using scan_tables::tables;

const int BLOCK = 32;     // the bytes of a blank_bits
const int STRETCH = 512;  // bytes listed at a time: 16 blocks

// Appends the places of the set bits of bits, plus at, to list[n...];
// returns the new count. Six are written whatever the count (a block of
// 32 bytes of grid values seldom holds more; the ones past the count are
// written over later, and list has room for them), so that no branch
// depends on the count.
inline int list_bits(uint32_t bits, int at, unsigned short *list, int n)
{
    const int count = __builtin_popcount(bits);
    for (int i = 0; i < 6; i++) {
        list[n + i] = static_cast<unsigned short>(at + __builtin_ctz(bits | 0x80000000u));
        bits &= bits - 1;
    }
    for (int i = 6; i < count; i++) {
        list[n + i] = static_cast<unsigned short>(at + __builtin_ctz(bits));
        bits &= bits - 1;
    }
    return n + count;
}

// The shape of the words last converted four at a time: grids print their
// values with one format, so neighbours mostly share their length, the
// place of their point and their sign, and a group of four that does needs
// no more than a comparison with it.
struct Shape {
    uint64_t lengths;  // the word's bytes, its sign counted, in each 16-bit part; 0 until known
    Words2 in;         // 0xff on those bytes, in both halves, as in the 16 bytes that end with it
    Words2 outline;    // its bytes there, '0' for a digit, 0 outside the word
    Words2 shuffle;    // its digits in place (tables.in_place)
    Doubles4 divisor;  // its signed 10^f
};

// Four listed words of the shape into out[0..3]; false, with nothing
// stored, unless each has its length and, digit for digit, its outline.
// Then each has the shape's sign, point and digit count, which four_words
// checked, and its f: the shape's shuffle and divisor are its own.
inline bool four_of_shape(const char *base, const unsigned short *starts, const unsigned short *stops,
                          const Shape &shape, double *out)
{
    // Four lengths at once: each stop is past its start, so no part of
    // the difference borrows from the next.
    uint64_t first, last;
    memcpy(&first, starts, sizeof first);
    memcpy(&last, stops, sizeof last);
    if (last - first != shape.lengths) return false;
    Words2 d[2];
    uint32_t same = ~0u;
    for (int h = 0; h < 2; h++) {
        const Words2 raw = load_two(base, stops + 2 * h);
        d[h] = digit_values(raw);
        same &= equal_bits(outline(raw, d[h], shape.in), shape.outline);
    }
    if (same != ~0u) return false;
    store_quotients(shuffle(d[0], shape.shuffle), shuffle(d[1], shape.shuffle), shape.divisor, out);
    return true;
}

// Four listed words at once into out[0..3]; false, with nothing stored, if
// one of them is not of the common shape (the word-by-word loop then finds
// which). On success the shape of the last becomes the one to compare with.
inline bool four_words(const char *base, const unsigned short *starts, const unsigned short *stops,
                       Shape *shape, double *out)
{
    unsigned len[4], minus[4], f[4];
    uint32_t bad = 0;
    Words2 raw[2], digits[2];
    for (int j = 0; j < 4; j++) {
        const char c = base[starts[j]];
        minus[j] = c == '-';
        len[j] = stops[j] - starts[j] - (minus[j] | (c == '+'));  // without the sign
    }
    for (int h = 0; h < 2; h++) {
        raw[h] = load_two(base, stops + 2 * h);
        digits[h] = digit_values(raw[h]);
        const uint32_t pt = point_bits(raw[h]);
        // The bytes after the sign, a bit a byte; a length out of range is
        // caught below by its digit count.
        const uint32_t in = (0xffff0000u >> (len[2 * h] & 31) & 0xffffu) |
                            (0xffff0000u >> (len[2 * h + 1] & 31) & 0xffffu) << 16;
        bad |= in & ~(digit_bits(raw[h]) | pt);
        const uint32_t points[2] = {(pt & in) << 16, pt & in & 0xffff0000u};  // each word's at the top
        for (int w = 0; w < 2; w++) {
            const uint32_t q = points[w];
            f[2 * h + w] = static_cast<unsigned>(__builtin_clz(q | 0x8000u));  // NO_POINT without one
            const unsigned nd = len[2 * h + w] - (q != 0);
            bad |= (q & (q - 1)) | (nd - 1 > 14);  // one point at most, 1 to 15 digits
        }
    }
    if (bad) return false;
    Words2 d[2];
    for (int h = 0; h < 2; h++)
        d[h] = shuffle(digits[h], rows(tables.in_place[f[2 * h]][len[2 * h]],
                                       tables.in_place[f[2 * h + 1]][len[2 * h + 1]]));
    store_quotients(d[0], d[1],
                    doubles(tables.signed_divisor[minus[0]][f[0]], tables.signed_divisor[minus[1]][f[1]],
                            tables.signed_divisor[minus[2]][f[2]], tables.signed_divisor[minus[3]][f[3]]),
                    out);
    // The last word's shape, if it fits in the 16 bytes that end with it.
    const unsigned whole = stops[3] - starts[3];
    if (whole <= 16) {
        const double divisor = tables.signed_divisor[minus[3]][f[3]];
        shape->lengths = whole * 0x0001000100010001u;
        shape->in = rows(tables.last_bytes[whole], tables.last_bytes[whole]);
        shape->outline = outline(high_twice(raw[1]), high_twice(digits[1]), shape->in);
        shape->shuffle = rows(tables.in_place[f[3]][len[3]], tables.in_place[f[3]][len[3]]);
        shape->divisor = doubles(divisor, divisor, divisor, divisor);
    }
    return true;
}

// The value of one listed word, from s (its first byte) to stop, into
// *out; false, with nothing stored, unless it is of the common shape.
inline bool one_word(const char *s, const char *stop, double *out)
{
    const bool minus = *s == '-';
    s += minus || *s == '+';
    const ptrdiff_t len = stop - s;  // without the sign
    if (len > 16 || len < 1) return false;
    const Words2 raw = word_twice(stop);
    const uint32_t in = 0xffff0000u >> len & 0xffffu;  // the bytes after the sign
    const uint32_t digit = digit_bits(raw) & in, point = point_bits(raw) & in;
    const int nd = static_cast<int>(len) - (point ? 1 : 0);
    // Digits and one point at most, 1 to 15 digits, nothing else.
    if ((digit | point) != in || (point & (point - 1)) || nd < 1 || nd > 15) return false;
    const int f = point ? 15 - __builtin_ctz(point) : NO_POINT;
    const Words2 d = shuffle(digit_values(raw), rows(tables.in_place[f][len], tables.in_place[f][len]));
    // At most 15 digits: the mantissa is below 10^15 < 2^53, and the
    // power of ten 10^f (f <= 15 < 23) is a double too, both exact; the
    // one division rounds their quotient correctly, as strtod rounds the
    // decimal value, and the divisor's sign flips it exactly.
    *out = static_cast<double>(digits_number(d)) / tables.signed_divisor[minus][f];
    return true;
}

inline int scan_run(const char **pp, const char *end, double *out, int n)
{
    const char *base = *pp;  // at a blank, or at a word with a blank before it
    int k = 0;
    // A word starts (stops) at most every other byte; list_bits writes up
    // to six places past the count.
    unsigned short starts[STRETCH / 2 + 8], stops[STRETCH / 2 + 8];
    Shape shape{};  // no word has length 0
    while (k < n) {
        // The blocks of the stretch, all before end.
        const ptrdiff_t room = (end - base) / BLOCK;
        const int blocks = room < STRETCH / BLOCK ? static_cast<int>(room) : STRETCH / BLOCK;
        // Where words start; and whether two blanks follow each other
        // anywhere: if not, each word stops one byte before the next starts.
        uint32_t blank[STRETCH / BLOCK];
        int listed = 0;
        uint32_t before = 1, doubled = 0;  // the byte before base is no word's
        for (int j = 0; j < blocks; j++) {
            blank[j] = blank_bits(base + BLOCK * j);
            listed = list_bits(~blank[j] & (blank[j] << 1 | before), BLOCK * j, starts, listed);
            doubled |= blank[j] & (blank[j] << 1 | (j ? before : 0));
            before = blank[j] >> (BLOCK - 1);
        }
        int stopped = listed - 1;
        if (doubled) {
            before = 1;
            stopped = 0;
            for (int j = 0; j < blocks; j++) {
                stopped = list_bits(blank[j] & ~(blank[j] << 1 | before), BLOCK * j, stops, stopped);
                before = blank[j] >> (BLOCK - 1);
            }
        } else {
            for (int i = 0; i < stopped; i++) stops[i] = static_cast<unsigned short>(starts[i + 1] - 1);
        }
        // The words whose blank after them is in the stretch, in order.
        const int words = stopped < n - k ? stopped : n - k;
        int i = 0;
        for (; i + 4 <= words; i += 4, k += 4)
            if (!four_of_shape(base, starts + i, stops + i, shape, out + k) &&
                !four_words(base, starts + i, stops + i, &shape, out + k))
                break;
        for (; i < words; i++, k++)
            if (!one_word(base + starts[i], base + stops[i], out + k)) {
                *pp = base + starts[i];
                return k;
            }
        if (words > 0)
            base += stops[words - 1];  // the blank after the last word read
        else if (listed == 0 && blocks > 0)
            base += BLOCK * blocks;  // blanks only
        else
            break;  // a word longer than the stretch, or the end near
    }
    *pp = base;
    return k;
}
