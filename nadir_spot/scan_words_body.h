// The body of scan_words, included three times by scan_number.cpp: once
// for any x86-64 (SCAN_WIDE 0: SSE2 and 64-bit integers), once for
// processors with AVX2 and BMI2 (SCAN_WIDE 1) and once for those with
// AVX-512 as well (SCAN_WIDE 2), in a namespace of its own each time.
// The text is taken in stretches of STRETCH bytes, in two steps. First the
// blanks of 32 bytes at a time (64 in the AVX-512 way) give a bit a byte,
// and the places where words start, and where they stop, are listed: no
// branch depends on the words. Then the words listed are checked and
// converted, in a loop whose only branch is the rare word of another shape,
// so that the processor works on several words at once: one at a time in
// the SSE2 way, four at a time in the wider ways (the group that repeats
// the last group's shape needs no check but that, and the AVX-512 way takes
// eight such at once), with the word-by-word loop for the rest. A word
// whose blank after it is not in the stretch waits for the next one.

#if SCAN_WIDE == 2
typedef uint64_t Bits;  // a bit a byte of a chunk
#else
typedef uint32_t Bits;
#endif
const int CHUNK = 8 * sizeof(Bits);  // the bytes taken at once: a block, or two in the AVX-512 way

// The blanks (' ' and '\t' to '\r') among the CHUNK bytes at q, a bit a
// byte. Only the bytes of valid (all, or the first 32) are read; the others
// count as no blank.
inline Bits blanks(const char *q, Bits valid)
{
#if SCAN_WIDE == 2
    // '\t' to '\r' by one unsigned compare of c - '\t' (what is below '\t' wraps high).
    const __m512i c = _mm512_maskz_loadu_epi8(valid, q);
    return _mm512_cmple_epu8_mask(_mm512_sub_epi8(c, _mm512_set1_epi8('\t')), _mm512_set1_epi8('\r' - '\t')) |
           _mm512_cmpeq_epi8_mask(c, _mm512_set1_epi8(' '));
#elif SCAN_WIDE
    (void)valid;  // all 32
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q));
    const __m256i control = _mm256_and_si256(_mm256_cmpgt_epi8(c, _mm256_set1_epi8('\t' - 1)),
                                             _mm256_cmpgt_epi8(_mm256_set1_epi8('\r' + 1), c));
    return static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_or_si256(control, _mm256_cmpeq_epi8(c, _mm256_set1_epi8(' ')))));
#else
    (void)valid;
    uint32_t m = 0;
    for (int half = 0; half < 2; half++) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + 16 * half));
        const __m128i control = _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8('\t' - 1)),
                                              _mm_cmpgt_epi8(_mm_set1_epi8('\r' + 1), c));
        m |= static_cast<uint32_t>(
                 _mm_movemask_epi8(_mm_or_si128(control, _mm_cmpeq_epi8(c, _mm_set1_epi8(' ')))))
             << (16 * half);
    }
    return m;
#endif
}

#if SCAN_WIDE == 2
alignas(64) const unsigned char byte_places[64] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
    22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
    44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};
#endif

// Appends the places of the set bits of bits, plus at, to list[n...];
// returns the new count. Some are written whatever the count (the ones past
// it are written over later, and list has room for them), so that no
// branch depends on the count: six in the narrower ways (up to six words in
// 32 bytes), 32 in the AVX-512 way.
inline int list_bits(Bits bits, int at, unsigned short *list, int n)
{
#if SCAN_WIDE == 2
    // No loop: the places 0 to 63 of the set bits packed together by one
    // compress, widened to 16 bits with at added. The 32 written are all
    // there can be: a word starts (stops) only after a byte where none
    // does, so no two set bits of a start (stop) mask are neighbours.
    const __m512i packed =
        _mm512_maskz_compress_epi8(bits, _mm512_load_si512(reinterpret_cast<const void *>(byte_places)));
    _mm512_storeu_si512(reinterpret_cast<void *>(list + n),
                        _mm512_add_epi16(_mm512_cvtepu8_epi16(_mm512_castsi512_si256(packed)),
                                         _mm512_set1_epi16(static_cast<short>(at))));
    return n + static_cast<int>(__builtin_popcountll(bits));
#else
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
#endif
}

// Each of count words stops one byte before the next one starts.
inline void stops_before_starts(const unsigned short *starts, unsigned short *stops, int count)
{
#if SCAN_WIDE == 2
    for (int i = 0; i < count; i += 32)  // the lists have room for the places past count
        _mm512_storeu_si512(
            reinterpret_cast<void *>(stops + i),
            _mm512_sub_epi16(_mm512_loadu_si512(reinterpret_cast<const void *>(starts + i + 1)),
                             _mm512_set1_epi16(1)));
#else
    for (int i = 0; i < count; i++) stops[i] = static_cast<unsigned short>(starts[i + 1] - 1);
#endif
}

// The digits of a word, at most 15, as one whole number, from the 16
// bytes that end with it: the point, if any, f digits before the end, taken
// out by moving the bytes before it one place up, then the last nd bytes
// kept.
inline uint64_t mantissa(__m128i raw, int f, int nd)
{
#if SCAN_WIDE
    __m128i x = _mm_sub_epi8(raw, _mm_set1_epi8('0'));
    x = _mm_shuffle_epi8(x, _mm_load_si128(reinterpret_cast<const __m128i *>(tables.close_point[f])));
    x = _mm_and_si128(x, _mm_load_si128(reinterpret_cast<const __m128i *>(tables.last_bytes[nd])));
    // Digit pairs, then groups of four, then two groups of eight (sums of
    // at most 99999999: no overflow), joined as integers.
    x = _mm_maddubs_epi16(x, _mm_setr_epi8(10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1));
    x = _mm_madd_epi16(x, _mm_setr_epi16(100, 1, 100, 1, 100, 1, 100, 1));
    x = _mm_packs_epi32(x, x);
    x = _mm_madd_epi16(x, _mm_setr_epi16(10000, 1, 10000, 1, 10000, 1, 10000, 1));
    const uint64_t eights = static_cast<uint64_t>(_mm_cvtsi128_si64(x));
    return (eights & 0xffffffffu) * 100000000u + (eights >> 32);
#else
    // The first 8 bytes in hi, the last 8 in lo, the first byte lowest.
    uint64_t hi = static_cast<uint64_t>(_mm_cvtsi128_si64(raw));
    uint64_t lo = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(raw, raw)));
    const uint64_t *after = tables.last_words[f], *keep = tables.last_words[nd];
    const uint64_t up_lo = lo << 8 | hi >> 56, up_hi = hi << 8;  // a place up: toward the end
    lo = (lo & after[0]) | (up_lo & ~after[0]);
    hi = (hi & after[1]) | (up_hi & ~after[1]);
    // Bytes not kept become the character '0'.
    const uint64_t zeros = 0x3030303030303030u;
    lo = (lo & keep[0]) | (zeros & ~keep[0]);
    hi = (hi & keep[1]) | (zeros & ~keep[1]);
    return uint64_t(digits_value(hi, 8)) * 100000000u + digits_value(lo, 8);
#endif
}

#if SCAN_WIDE
// The shape of the words last converted four at a time: grids print their
// values with one format, so neighbours mostly share their length, the
// place of their point and their sign, and a group of four that does needs
// no more than a comparison with it. len is 0 (no word's) until known.
struct Shape {
    __m128i len;         // the bytes of the word, its sign counted, in every 16-bit lane
    __m256i in;          // those bytes in both lanes, as in the 16 bytes that end with it
    __m256i outline;     // its bytes there, '0' for a digit, 0 outside the word
    __m256i shuffle;     // tables.in_place for it
    __m256d divisor;     // its signed 10^f
    __m256d reciprocal;  // its signed 10^-f, rounded (for the AVX-512 way)
#if SCAN_WIDE == 2
    // For eight words at once, in each 16-byte lane: where its digits are,
    // where its other bytes (sign, point), its bytes, its shuffle; and its
    // divisor and reciprocal eight times.
    uint64_t digit_bytes, other_bytes;
    __m512i bytes, shuffle8;
    __m512d divisor8, reciprocal8;
#endif
};

// Words 0 and 1 (2 and 3) of a group, each from the 16 bytes that end
// with it, in the low and the high half.
inline __m256i two_words(const char *base, const unsigned short *stops)
{
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(base + stops[0] - 16))),
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(base + stops[1] - 16)), 1);
}

// Bytes less '0', and those that are digits.
inline __m256i less_zero(__m256i raw) { return _mm256_sub_epi8(raw, _mm256_set1_epi8('0')); }
inline __m256i digits(__m256i x) { return _mm256_cmpeq_epi8(_mm256_min_epu8(x, _mm256_set1_epi8(9)), x); }

// The values of four words into out[0..3] from their digits put in place
// (d01: words 0 and 1, d23: 2 and 3, one in each half) and their divisors
// (and those rounded reciprocals). Joined as in mantissa: pairs, fours,
// then two eights per word.
inline void store_four(__m256i d01, __m256i d23, __m256d divisor, __m256d reciprocal, double *out)
{
    __m256i y[2] = {d01, d23};
    for (int h = 0; h < 2; h++) {
        y[h] = _mm256_maddubs_epi16(y[h], _mm256_set1_epi16(0x010a));   // bytes 10, 1
        y[h] = _mm256_madd_epi16(y[h], _mm256_set1_epi32(0x00010064));  // 100, 1
    }
    __m256i z = _mm256_madd_epi16(_mm256_packs_epi32(y[0], y[1]), _mm256_set1_epi32(0x00012710));  // 10000, 1
    // The upper eight digits of words 0 to 3, then their lower eight.
    z = _mm256_permutevar8x32_epi32(z, _mm256_setr_epi32(0, 4, 2, 6, 1, 5, 3, 7));
    // Exact: the upper part is below 10^7, so upper * 10^8 + lower is an
    // integer below 10^15 < 2^53, as are both terms; 10^f (f <= 15) is
    // exact too, and each lane's division rounds correctly as the scalar
    // one does: strtod's value, its sign from the divisor's.
    const __m256d upper = _mm256_cvtepi32_pd(_mm256_castsi256_si128(z));
    const __m256d lower = _mm256_cvtepi32_pd(_mm256_extracti128_si256(z, 1));
    const __m256d m = _mm256_add_pd(_mm256_mul_pd(upper, _mm256_set1_pd(1e8)), lower);
#if SCAN_WIDE == 2
    // The same quotient without a division, whose throughput would bound
    // this loop. With y = 1/10^f rounded, q = m * y rounded is within 2
    // units of its last place (ulp) of m / 10^f; the remainder m - q * 10^f
    // is then a double (fewer than 4 * 10^f < 2^52 of q's ulp), exact from
    // one fused multiply-add; and q + r * y, rounded once by another, is
    // off m / 10^f by less than 2^-52 ulp before that rounding. That cannot
    // cross a midpoint between doubles: m / 10^f is none (it would have 54
    // significant bits, from an integer below 2^53) and is at least
    // ulp / (4 * 10^f) > 2^-52 ulp from each (10^15 < 2^50). So both round
    // to the same double, the correctly rounded quotient.
    const __m256d q = _mm256_mul_pd(m, reciprocal);
    const __m256d r = _mm256_fnmadd_pd(q, divisor, m);
    _mm256_storeu_pd(out, _mm256_fmadd_pd(r, reciprocal, q));
#else
    (void)reciprocal;
    _mm256_storeu_pd(out, _mm256_div_pd(m, divisor));
#endif
}

// Four listed words of the shape into out[0..3]; false, with nothing
// stored, unless each has its length and, digit for digit, its outline.
// Then each has the shape's sign, point and digit count, which four_words
// checked, and its f: the shape's shuffle and divisor are its own.
inline bool four_of_shape(const char *base, const unsigned short *starts, const unsigned short *stops,
                          const Shape &shape, double *out)
{
    const __m128i len = _mm_sub_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(stops)),
                                      _mm_loadl_epi64(reinterpret_cast<const __m128i *>(starts)));
    uint32_t same = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi16(len, shape.len))) |
                    0xffffff00u;  // four lengths
    __m256i d[2];
    for (int h = 0; h < 2; h++) {
        const __m256i raw = two_words(base, stops + 2 * h);
        const __m256i x = less_zero(raw);
        d[h] = _mm256_and_si256(x, digits(x));  // digits as 0 to 9, all else 0
        const __m256i outline = _mm256_and_si256(_mm256_sub_epi8(raw, d[h]), shape.in);
        same &= static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(outline, shape.outline)));
    }
    if (same != 0xffffffffu) return false;
    store_four(_mm256_shuffle_epi8(d[0], shape.shuffle), _mm256_shuffle_epi8(d[1], shape.shuffle),
               shape.divisor, shape.reciprocal, out);
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
    __m256i raw[2], x[2], digit[2];
    for (int j = 0; j < 4; j++) {
        const char c = base[starts[j]];
        minus[j] = c == '-';
        len[j] = stops[j] - starts[j] - (minus[j] | (c == '+'));  // without the sign
    }
    for (int h = 0; h < 2; h++) {
        raw[h] = two_words(base, stops + 2 * h);
        x[h] = less_zero(raw[h]);
        digit[h] = digits(x[h]);
        const uint32_t d = static_cast<uint32_t>(_mm256_movemask_epi8(digit[h]));
        const uint32_t pt =
            static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(raw[h], _mm256_set1_epi8('.'))));
        // The bytes after the sign, a bit a byte; a length out of range is
        // caught below by its digit count.
        const uint32_t in = (0xffff0000u >> (len[2 * h] & 31) & 0xffffu) |
                            (0xffff0000u >> (len[2 * h + 1] & 31) & 0xffffu) << 16;
        bad |= in & ~(d | pt);
        const uint32_t points[2] = {(pt & in) << 16, pt & in & 0xffff0000u};  // each word's at the top
        for (int w = 0; w < 2; w++) {
            const uint32_t q = points[w];
            f[2 * h + w] = static_cast<unsigned>(__builtin_clz(q | 0x8000u));  // NO_POINT without one
            const unsigned nd = len[2 * h + w] - (q != 0);
            bad |= (q & (q - 1)) | (nd - 1 > 14);  // one point at most, 1 to 15 digits
        }
    }
    if (bad) return false;
    __m256i d[2];
    for (int h = 0; h < 2; h++) {
        const __m256i shuffle = _mm256_inserti128_si256(
            _mm256_castsi128_si256(
                _mm_load_si128(reinterpret_cast<const __m128i *>(tables.in_place[f[2 * h]][len[2 * h]]))),
            _mm_load_si128(reinterpret_cast<const __m128i *>(tables.in_place[f[2 * h + 1]][len[2 * h + 1]])),
            1);
        d[h] = _mm256_shuffle_epi8(_mm256_and_si256(x[h], digit[h]), shuffle);
    }
    store_four(
        d[0], d[1],
        _mm256_setr_pd(tables.signed_divisor[minus[0]][f[0]], tables.signed_divisor[minus[1]][f[1]],
                       tables.signed_divisor[minus[2]][f[2]], tables.signed_divisor[minus[3]][f[3]]),
        _mm256_setr_pd(tables.signed_reciprocal[minus[0]][f[0]], tables.signed_reciprocal[minus[1]][f[1]],
                       tables.signed_reciprocal[minus[2]][f[2]], tables.signed_reciprocal[minus[3]][f[3]]),
        out);
    // The last word's shape, if it fits in the 16 bytes that end with it.
    const unsigned whole = stops[3] - starts[3];
    if (whole <= 16) {
        const __m128i in = _mm_load_si128(reinterpret_cast<const __m128i *>(tables.last_bytes[whole]));
        const __m128i mine = _mm256_extracti128_si256(raw[1], 1);
        const __m128i zeros =
            _mm_and_si128(_mm256_extracti128_si256(x[1], 1), _mm256_extracti128_si256(digit[1], 1));
        shape->len = _mm_set1_epi16(static_cast<short>(whole));
        shape->in = _mm256_broadcastsi128_si256(in);
        shape->outline = _mm256_broadcastsi128_si256(_mm_and_si128(_mm_sub_epi8(mine, zeros), in));
        shape->shuffle = _mm256_broadcastsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i *>(tables.in_place[f[3]][len[3]])));
        shape->divisor = _mm256_set1_pd(tables.signed_divisor[minus[3]][f[3]]);
        shape->reciprocal = _mm256_set1_pd(tables.signed_reciprocal[minus[3]][f[3]]);
#if SCAN_WIDE == 2
        const uint64_t word = 0xffff0000u >> whole & 0xffffu;
        const uint64_t digit_bytes =
            static_cast<uint32_t>(_mm_movemask_epi8(_mm256_extracti128_si256(digit[1], 1))) & word;
        shape->digit_bytes = digit_bytes * 0x0001000100010001u;
        shape->other_bytes = (word & ~digit_bytes) * 0x0001000100010001u;
        shape->bytes = _mm512_broadcast_i32x4(mine);
        shape->shuffle8 = _mm512_broadcast_i32x4(
            _mm_load_si128(reinterpret_cast<const __m128i *>(tables.in_place[f[3]][len[3]])));
        shape->divisor8 = _mm512_set1_pd(tables.signed_divisor[minus[3]][f[3]]);
        shape->reciprocal8 = _mm512_set1_pd(tables.signed_reciprocal[minus[3]][f[3]]);
#endif
    }
    return true;
}

#if SCAN_WIDE == 2
// Words 0 to 3 (4 to 7) of a group, each from the 16 bytes that end with
// it, a 16-byte lane each.
inline __m512i four_lanes(const char *base, const unsigned short *stops)
{
    return _mm512_inserti64x4(_mm512_castsi256_si512(two_words(base, stops)), two_words(base, stops + 2), 1);
}

// Eight words of the shape into out[0..7], as four_of_shape does four:
// false, with nothing stored, unless each has its length, digits where it
// has digits and its very bytes elsewhere. Joined as in store_four, the
// quotients as there, exact.
inline bool eight_of_shape(const char *base, const unsigned short *starts, const unsigned short *stops,
                           const Shape &shape, double *out)
{
    const __m128i len = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(stops)),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i *>(starts)));
    uint64_t bad = _mm_cmpneq_epi16_mask(len, shape.len);
    __m512i y[2];
    for (int h = 0; h < 2; h++) {
        const __m512i raw = four_lanes(base, stops + 4 * h);
        y[h] = _mm512_sub_epi8(raw, _mm512_set1_epi8('0'));
        bad |= _mm512_mask_cmpgt_epu8_mask(shape.digit_bytes, y[h], _mm512_set1_epi8(9)) |
               _mm512_mask_cmpneq_epi8_mask(shape.other_bytes, raw, shape.bytes);
    }
    if (bad) return false;
    for (int h = 0; h < 2; h++) {
        y[h] = _mm512_shuffle_epi8(y[h], shape.shuffle8);  // the digits alone, in place
        y[h] = _mm512_maddubs_epi16(y[h], _mm512_set1_epi16(0x010a));
        y[h] = _mm512_madd_epi16(y[h], _mm512_set1_epi32(0x00010064));
    }
    __m512i z = _mm512_madd_epi16(_mm512_packs_epi32(y[0], y[1]), _mm512_set1_epi32(0x00012710));
    // Lane j holds words j and j + 4, upper and lower eight digits each:
    // the upper eight of words 0 to 7, then their lower eight.
    z = _mm512_permutexvar_epi32(_mm512_setr_epi32(0, 4, 8, 12, 2, 6, 10, 14, 1, 5, 9, 13, 3, 7, 11, 15), z);
    const __m512d m = _mm512_fmadd_pd(_mm512_cvtepi32_pd(_mm512_castsi512_si256(z)), _mm512_set1_pd(1e8),
                                      _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(z, 1)));
    const __m512d q = _mm512_mul_pd(m, shape.reciprocal8);
    const __m512d r = _mm512_fnmadd_pd(q, shape.divisor8, m);
    _mm512_storeu_pd(out, _mm512_fmadd_pd(r, shape.reciprocal8, q));
    return true;
}
#endif
#else
// As in the AVX2 way, the shape of the last word read word by word; a pair
// of words of that shape is compared with it and converted together.
struct Shape {
    unsigned len;     // the bytes of the word, its sign counted; 0 until known
    __m128i in;       // those bytes, as in the 16 bytes that end with it
    __m128i outline;  // its bytes there, '0' for a digit, 0 outside the word
    __m128i after;    // the bytes after its point (all without one)
    __m128d divisor;  // its signed 10^f, twice
};

// Bytes less '0' that are digits, all else 0.
inline __m128i digits_only(__m128i raw)
{
    const __m128i x = _mm_sub_epi8(raw, _mm_set1_epi8('0'));
    return _mm_and_si128(x, _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(9)), x));
}

inline bool two_of_shape(const char *base, const unsigned short *starts, const unsigned short *stops,
                         const Shape &shape, double *out)
{
    if (static_cast<unsigned>(stops[0] - starts[0]) != shape.len ||
        static_cast<unsigned>(stops[1] - starts[1]) != shape.len)
        return false;
    __m128i y[2];
    for (int w = 0; w < 2; w++) {
        const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i *>(base + stops[w] - 16));
        const __m128i d = digits_only(raw);
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(_mm_sub_epi8(raw, d), shape.in), shape.outline)) !=
            0xffff)
            return false;
        // The word's digits, those before the point a place up over it.
        const __m128i mine = _mm_and_si128(d, shape.in);
        y[w] = _mm_or_si128(_mm_andnot_si128(shape.after, _mm_slli_si128(mine, 1)),
                            _mm_and_si128(mine, shape.after));
        // Digit pairs (the first of each in the low byte), then fours.
        y[w] = _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(y[w], _mm_set1_epi16(0xff)), _mm_set1_epi16(10)),
                             _mm_srli_epi16(y[w], 8));
        y[w] = _mm_madd_epi16(y[w], _mm_set1_epi32(0x00010064));  // 100, 1
    }
    // The upper and lower eight digits of both words: as in the AVX2 way,
    // upper * 10^8 + lower and 10^f are exact and the division rounds as
    // the scalar one.
    __m128i z = _mm_madd_epi16(_mm_packs_epi32(y[0], y[1]), _mm_set1_epi32(0x00012710));  // 10000, 1
    z = _mm_shuffle_epi32(z, _MM_SHUFFLE(3, 1, 2, 0));
    const __m128d m = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(z), _mm_set1_pd(1e8)),
                                 _mm_cvtepi32_pd(_mm_unpackhi_epi64(z, z)));
    _mm_storeu_pd(out, _mm_div_pd(m, shape.divisor));
    return true;
}
#endif

inline int scan_run(const char **pp, const char *end, double *out, int n)
{
    const char *base = *pp;  // at a blank, or at a word with a blank before it
    int k = 0;
    // Room for list_bits' places past the count.
    unsigned short starts[STRETCH / 2 + 32], stops[STRETCH / 2 + 32];
    Shape shape{};  // no word has length 0
    while (k < n) {
        // The blocks of the stretch, all before end.
        const ptrdiff_t room = (end - base) / 32;
        const int blocks = room < STRETCH / 32 ? static_cast<int>(room) : STRETCH / 32;
        // Where words start; and whether two blanks follow each other
        // anywhere: if not, each word stops one byte before the next starts.
        // A last block alone is read alone.
        const int chunks = (32 * blocks + CHUNK - 1) / CHUNK;
        Bits blank[STRETCH / CHUNK];
        int listed = 0;
        Bits before = 1, doubled = 0;  // the byte before base is no word's
        for (int j = 0; j < chunks; j++) {
            const Bits valid = CHUNK * (j + 1) <= 32 * blocks ? ~Bits(0) : Bits(0xffffffffu);
            blank[j] = blanks(base + CHUNK * j, valid);
            listed = list_bits(~blank[j] & (blank[j] << 1 | before) & valid, CHUNK * j, starts, listed);
            doubled |= blank[j] & (blank[j] << 1 | (j ? before : 0));
            before = blank[j] >> (CHUNK - 1);
        }
        int stopped = listed - 1;
        if (doubled) {
            before = 1;
            stopped = 0;
            for (int j = 0; j < chunks; j++) {
                stopped = list_bits(blank[j] & ~(blank[j] << 1 | before), CHUNK * j, stops, stopped);
                before = blank[j] >> (CHUNK - 1);
            }
        } else {
            stops_before_starts(starts, stops, stopped);
        }
        // The words whose blank after them is in the stretch, in order.
        const int words = stopped < n - k ? stopped : n - k;
        int i = 0;
#if SCAN_WIDE
        for (; i + 4 <= words; i += 4, k += 4) {
#if SCAN_WIDE == 2
            if (i + 8 <= words && eight_of_shape(base, starts + i, stops + i, shape, out + k)) {
                i += 4;
                k += 4;
                continue;
            }
#endif
            if (!four_of_shape(base, starts + i, stops + i, shape, out + k) &&
                !four_words(base, starts + i, stops + i, &shape, out + k))
                break;
        }
#endif
        for (; i < words; i++) {
#if !SCAN_WIDE
            if (i + 2 <= words && two_of_shape(base, starts + i, stops + i, shape, out + k)) {
                i++;
                k += 2;
                continue;
            }
#endif
            const char *s = base + starts[i];
            const char *we = base + stops[i];
            const bool minus = *s == '-';
            s += minus || *s == '+';
            const ptrdiff_t len = we - s;  // without the sign
            if (len > 16 || len < 1) {
                *pp = base + starts[i];
                return k;
            }
            const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i *>(we - 16));
            const __m128i x = _mm_sub_epi8(raw, _mm_set1_epi8('0'));
            const uint32_t in = 0xffff0000u >> len & 0xffffu;  // the bytes after the sign
            const uint32_t digit = static_cast<uint32_t>(_mm_movemask_epi8(
                                       _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(9)), x))) &
                                   in;
            const uint32_t point = in & ~digit;
            // Digits and one point at most, 1 to 15 digits, nothing else.
            const int nd = static_cast<int>(len) - (point ? 1 : 0);
            if ((point & (point - 1)) || !digit || nd > 15 ||
                (point && (static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(raw, _mm_set1_epi8('.')))) &
                           in) != point)) {
                *pp = base + starts[i];
                return k;
            }
            const int f = point ? 15 - __builtin_ctz(point) : NO_POINT;
            // At most 15 digits: the mantissa is below 10^15 < 2^53, and
            // the power of ten 10^f (f <= 15 < 23) is a double too, both
            // exact; the one division rounds their quotient correctly, as
            // strtod rounds the decimal value, and a sign flips exactly.
            const double v = static_cast<double>(mantissa(raw, f, nd)) / tables.divisor[f];
            out[k++] = minus ? -v : v;
#if !SCAN_WIDE
            const unsigned whole = static_cast<unsigned>(stops[i] - starts[i]);
            shape.len = whole <= 16 ? whole : 0;
            shape.in = _mm_load_si128(reinterpret_cast<const __m128i *>(tables.last_bytes[shape.len]));
            shape.outline = _mm_and_si128(_mm_sub_epi8(raw, digits_only(raw)), shape.in);
            shape.after = _mm_load_si128(reinterpret_cast<const __m128i *>(tables.last_bytes[f]));
            shape.divisor = _mm_set1_pd(minus ? -tables.divisor[f] : tables.divisor[f]);
#endif
        }
        if (words > 0)
            base += stops[words - 1];  // the blank after the last word read
        else if (listed == 0 && blocks > 0)
            base += 32 * blocks;  // blanks only
        else
            break;  // a word longer than the stretch, or the end near
    }
    *pp = base;
    return k;
}
