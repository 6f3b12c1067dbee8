// The per-line pass: the loops over the cells of one row, and the vectors
// of each line's results (line_min and the others, in nadir_spot.h).
// Both readers call line_stats or grid_line_stats on each line they have
// just written, while it is in cache: that decides the lowest and highest
// altitude, the count at the lowest and the cells left out. treatment()
// only combines the lines' results, and the mask marks the cells that
// low_bits kept.
// The raw reader also widens and converts with these loops; the benchmarks
// time them alone. Each is a plain loop the compiler turns into vector
// code; the callers take them row by row, so no call is made per cell.
#ifndef KERNELS_H
#define KERNELS_H

#include <cstddef>

// The loops over cells (these kernels, the grid's value loop) are built
// three times on x86-64 Linux: for any x86-64, for the x86-64-v3 level
// (AVX2: twice the cells a vector instruction) and for x86-64-v4 (AVX-512:
// four times); the loader picks one once at start, and the program still
// runs on every x86-64. No result changes: the
// loops multiply, divide, compare and count small whole numbers, none of
// which a wider vector or a fused multiply-add rounds.
#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(__clang__)
#define CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define CLONES
#endif

// 16-bit samples widened to int.
void widen_row(const unsigned short *src, int *dst, int n);

// The range of a row of samples folded into *lo and *hi (which hold the
// range so far).
void sample_range(const unsigned short *s, int n, int *lo, int *hi);
void sample_range(const int *s, int n, int *lo, int *hi);

// Samples to metres: s times factor, or the samples as they are when
// as_is (the unit is the metre: times 1.0 would give the same doubles).
void to_metres(const int *s, double *d, int n, double factor, bool as_is);

// Lowest and highest number of a row, and how many cells hold the lowest
// (-0 and +0 alike), in one pass. A NaN cell is never an extreme nor
// counted; a row without numbers gives +inf, -inf and 0.
void line_stats(const double *row, int n, double *lowest, double *highest, int *at_lowest);

// The same for a row of a grid, whose no-data cells take no part: those
// equal to nodata (-0 and +0 alike; NaN when the grid has no no-data
// value) and those not a number. *left_out is how many there are.
void grid_line_stats(const double *row, int n, double nodata, double *lowest, double *highest, int *at_lowest,
                     int *left_out);

// The cells of a row equal to v, a bit each: bit c % 8 of bits[c / 8].
// Taken with the row's lowest while the row is in cache, they make the
// mask of the lowest without a pass over the model.
void low_bits(const double *row, int n, double v, unsigned char *bits);

// The mask of a row from its bits: 1 on a set bit, 255 elsewhere.
void mask_from_bits(const unsigned char *bits, unsigned char *mask, int n);

// The per-line pass over line l of dtab, just written: its results into
// line_min[l] and the others (grid_line_stats for a grid, line_stats for a
// raw raster) and, when it is as low as *lowest (the lowest of the lines
// the caller passed before), its cells at its lowest into line_low_bits[l]
// and its lowest into *lowest. A higher line holds no cell of the mask.
void pass_line(int l, double *lowest);

#endif
