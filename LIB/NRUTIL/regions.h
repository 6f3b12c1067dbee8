// Inside NRUTIL: the lines of a large matrix carved from one region of
// fresh zero pages, all faulted in at once. The model matrices run to
// hundreds of megabytes; faulting them in page by page costs more kernel
// time than reading the model. Each line still counts as a block of its
// own: it is given back on its own, and the region is released with its
// last line (its pages are kept for the next region taken).
#ifndef NRUTIL_REGIONS_H
#define NRUTIL_REGIONS_H

#include <cstddef>

// A zero-filled region for nlines lines of line_bytes each: returns its
// start and sets *stride, the distance between line starts (a multiple of
// 16). Null when the matrix is small, the platform has no such regions, too
// many regions are in use, or the system refuses: the caller then takes its
// lines one by one.
char *region_take(size_t line_bytes, int nlines, size_t *stride);

// Gives back one line start handed out by region_take: true. False when p
// is no such line (an ordinary block, which the caller frees).
bool region_give_back(void *p);

// Regions in use, and whether the platform has regions at all (for tests).
int regions_in_use(void);
bool regions_available(void);

// For tests: whether later regions may try huge pages (they may by
// default), and the seconds a megabyte above which a step of them counts as
// dearer than small pages (0: every step; negative: the default). It also
// forgets that huge pages proved dear, and gives the spare back.
void regions_tune(bool huge_pages, double dear_seconds_per_mb);
// Bytes of the spare: the pages of the last region given back whole, which
// the next region taken reuses, zero-filled again (for tests).
size_t regions_spare(void);
// Whether huge pages have proved dear in this process: later regions take
// small pages.
bool regions_huge_pages_dear(void);

#endif
