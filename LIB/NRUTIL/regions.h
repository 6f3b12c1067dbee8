// Inside NRUTIL, for its tests only.
#ifndef NRUTIL_REGIONS_H
#define NRUTIL_REGIONS_H

// Regions holding live lines; -1 where large matrices take no regions.
int regions_in_use(void);
// What small pages are taken to cost, in seconds a byte: 0 turns huge pages
// down after one step, a large value keeps them, a negative one re-measures.
void regions_small_cost(double seconds_per_byte);

#endif
