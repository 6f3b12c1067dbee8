// Inside NRUTIL, for its tests only.
#ifndef NRUTIL_REGIONS_H
#define NRUTIL_REGIONS_H

// Regions holding live lines; -1 where large matrices take no regions.
int regions_in_use(void);
// The kind of pages regions take from now on: 0 small, 1 huge, -1 as chosen.
void regions_pin_pages(int kind);

// The choice of pages for a region's steps (a huge page's worth each): the
// timings seen so far, and the kind of the next step. All zero at first.
const int PAGE_TIMINGS = 4;
struct PageChoice {
    double seen[2][PAGE_TIMINGS];  // of small [0] and huge [1] pages, latest first, seconds; 0: none
    double spent;                  // seconds on the kind now taken since the other was last timed
    int stint, huge;               // steps of that kind in a row; the next step's kind: 1 huge, 0 small
};
// The choice after a step of kind c.huge took seconds; nothing else is read.
PageChoice next_pages(PageChoice c, double seconds);

#endif
