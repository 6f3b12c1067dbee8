// The few operations of scan_words that differ by instruction set, in
// AVX2: the algorithm (scan_words_generic.h) is written over these names
// alone. scan_number.cpp includes this file inside the way's namespace,
// built for AVX2, after <immintrin.h> and scan_tables.h.

// Two slots of 16 bytes, each the 16 bytes that end where a word stops
// (its blank after it): the first word in the low half. A byte's bit in a
// mask is its place, the low half's first byte lowest.
typedef __m256i Words2;
typedef __m256d Doubles4;

// The blanks (' ', '\t' to '\r') among the 32 bytes at q, a bit a byte.
inline uint32_t blank_bits(const char *q)
{
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q));
    // Signed compares: bytes from 0x80 up are below '\t'.
    const __m256i control = _mm256_and_si256(_mm256_cmpgt_epi8(c, _mm256_set1_epi8('\t' - 1)),
                                             _mm256_cmpgt_epi8(_mm256_set1_epi8('\r' + 1), c));
    return static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_or_si256(control, _mm256_cmpeq_epi8(c, _mm256_set1_epi8(' ')))));
}

inline __m128i load16(const void *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }

// Two rows of 16 bytes (of a table) as the low and the high half.
inline Words2 rows(const void *low, const void *high)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(load16(low)), load16(high), 1);
}

// Words stops[0] and stops[1] bytes from base.
inline Words2 load_two(const char *base, const unsigned short *stops)
{
    return rows(base + stops[0] - 16, base + stops[1] - 16);
}

// The word that stops at stop, in both halves.
inline Words2 word_twice(const char *stop) { return _mm256_broadcastsi128_si256(load16(stop - 16)); }

// The high half in both halves.
inline Words2 high_twice(Words2 x) { return _mm256_permute2x128_si256(x, x, 0x11); }

inline Doubles4 doubles(double a, double b, double c, double d) { return _mm256_setr_pd(a, b, c, d); }

// A byte is a digit when, less '0', it is at most 9 (unsigned).
inline __m256i digit_bytes(Words2 raw)
{
    const __m256i x = _mm256_sub_epi8(raw, _mm256_set1_epi8('0'));
    return _mm256_cmpeq_epi8(_mm256_min_epu8(x, _mm256_set1_epi8(9)), x);
}

// The digits' values (0 to 9) where raw has digits, 0 elsewhere.
inline Words2 digit_values(Words2 raw)
{
    return _mm256_and_si256(_mm256_sub_epi8(raw, _mm256_set1_epi8('0')), digit_bytes(raw));
}

inline uint32_t digit_bits(Words2 raw)
{
    return static_cast<uint32_t>(_mm256_movemask_epi8(digit_bytes(raw)));
}

inline uint32_t point_bits(Words2 raw)
{
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(raw, _mm256_set1_epi8('.'))));
}

inline uint32_t equal_bits(Words2 a, Words2 b)
{
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, b)));
}

// The bytes of raw where in has 0xff, each digit as '0' (digits: raw's
// digit_values); 0 elsewhere.
inline Words2 outline(Words2 raw, Words2 digits, Words2 in)
{
    return _mm256_and_si256(_mm256_sub_epi8(raw, digits), in);
}

// Each half's bytes picked by its control's bytes (0 to 15 of the same
// half, or a zero where the control has its top bit).
inline Words2 shuffle(Words2 x, Words2 control) { return _mm256_shuffle_epi8(x, control); }

// Digits in place (as the shuffle of scan_tables leaves them: at most 15,
// ending at the last byte, zeros before) joined in pairs, fours, then two
// eights a half (each at most 99999999: no overflow) as 32-bit integers.
inline __m256i eights(Words2 d01, Words2 d23)
{
    __m256i y[2] = {d01, d23};
    for (int h = 0; h < 2; h++) {
        y[h] = _mm256_maddubs_epi16(y[h], _mm256_set1_epi16(0x010a));   // bytes 10, 1
        y[h] = _mm256_madd_epi16(y[h], _mm256_set1_epi32(0x00010064));  // 100, 1
    }
    return _mm256_madd_epi16(_mm256_packs_epi32(y[0], y[1]), _mm256_set1_epi32(0x00012710));  // 10000, 1
}

// The whole number of the digits in place in the low half.
inline uint64_t digits_number(Words2 d)
{
    const uint64_t e = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm256_castsi256_si128(eights(d, d))));
    return (e & 0xffffffffu) * 100000000u + (e >> 32);
}

// The four numbers of the digits in place (words 0 and 1 in d01, 2 and 3
// in d23), each divided by its divisor, into out[0..3]. Exact: the upper
// eight digits are below 10^7, so upper * 10^8 + lower is an integer
// below 10^15 < 2^53, as are both terms; the divisors (signed 10^f, f <=
// 15) are exact too, and each lane's division rounds correctly as a scalar
// one does.
inline void store_quotients(Words2 d01, Words2 d23, Doubles4 divisor, double *out)
{
    // The upper eight digits of words 0 to 3, then their lower eight.
    const __m256i z =
        _mm256_permutevar8x32_epi32(eights(d01, d23), _mm256_setr_epi32(0, 4, 2, 6, 1, 5, 3, 7));
    const __m256d upper = _mm256_cvtepi32_pd(_mm256_castsi256_si128(z));
    const __m256d lower = _mm256_cvtepi32_pd(_mm256_extracti128_si256(z, 1));
    const __m256d m = _mm256_add_pd(_mm256_mul_pd(upper, _mm256_set1_pd(1e8)), lower);
    _mm256_storeu_pd(out, _mm256_div_pd(m, divisor));
}
