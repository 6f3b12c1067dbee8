// The number scanner of the grid reader: decimal text to double, fast for
// the shape grid values take (sign, digits, point, a few digits) and equal
// to strtod on every input.
#ifndef SCAN_NUMBER_H
#define SCAN_NUMBER_H

// Reads the number that starts at p, never looking at end or beyond, and
// returns the first byte it did not use. The value stored in *out and the
// returned position are those strtod gives for a NUL-terminated copy of
// [p, end) in the C locale, bit for bit (signs, exponents, hexadecimal,
// "inf", "infinity", "nan" and "nan(...)" included); unlike strtod, no
// leading whitespace is skipped. No number at p: returns p, *out is 0.
// The one case that can fail beyond strtod: a word that only strtod reads
// (hexadecimal, nan(...), or out of range) longer than 127 bytes, when its
// copy cannot be allocated; it is then taken as no number.
const char *scan_number(const char *p, const char *end, double *out);

#endif
