#include "regions.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#define NRUTIL_REGIONS 1
#endif

#if defined(__SANITIZE_ADDRESS__)
#define NRUTIL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NRUTIL_ASAN 1
#endif
#endif
#ifdef NRUTIL_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

#ifdef NRUTIL_REGIONS

const size_t HUGE_PAGE = size_t(2) << 20;

// How a region gets its pages. Huge pages (MADV_HUGEPAGE) cost a fifth of
// small pages to fault in, and almost nothing to give back, when the kernel
// has free 2 MB blocks at hand. On a virtual machine that hands free memory
// back to its host (free page reporting: free 2 MB blocks are reported about
// 2 s after they are freed), a reported block must be faulted in by the host
// again, and a huge page then costs 6 times what small pages cost; small
// pages come first from free blocks under 2 MB, which are never handed back.
// Measured on such a machine, 960 MB: huge pages 0.08 to 0.3 s while blocks
// freed moments before are at hand (another program's huge pages, given back
// as it ended), 2.7 to 3.7 s after a few idle seconds; small pages in one go
// 0.39 to 0.55 s in every case.
// So a region takes huge pages one at a time, timing each, and once one
// proves dearer than small pages would be, the rest of the region and every
// later one take small pages. Finding out costs one huge page, 4 to 8 ms.
const size_t HUGE_STEP = HUGE_PAGE;
// Seconds a megabyte: above this a step is dearer than small pages. Small
// pages cost 0.45 to 0.57 ms a megabyte on the machine above, huge pages at
// hand 0.1 to 0.3, reported ones about 3.
const double DEAR_PER_MB = 0.5e-3;
double dear_per_mb = DEAR_PER_MB;
bool huge_pages_dear = false;  // for the rest of the process
bool huge_pages_allowed = true;

// Below this a matrix is cheap enough line by line.
const size_t SMALLEST_REGION = size_t(2) << 20;
#ifdef NRUTIL_ASAN
// A poisoned gap after every line, so that running off a line's end is
// caught as it is for a block of its own.
const size_t LINE_GAP = 32;
#else
const size_t LINE_GAP = 0;
#endif

struct Region {
    char *base;
    size_t size;            // bytes mapped from base
    size_t stride;
    int lines;
    int live;               // lines not yet given back
    unsigned char *given;   // one bit a line: given back
};

// A handful of model matrices are alive at once; beyond this many regions
// matrices simply take their lines one by one.
Region regions[32];
int region_count = 0;

void poison(char *p, size_t n)
{
#ifdef NRUTIL_ASAN
    ASAN_POISON_MEMORY_REGION(p, n);
#else
    (void)p;
    (void)n;
#endif
}

void unpoison(char *p, size_t n)
{
#ifdef NRUTIL_ASAN
    ASAN_UNPOISON_MEMORY_REGION(p, n);
#else
    (void)p;
    (void)n;
#endif
}

double seconds_now(void)
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Faults in n bytes from p in one go. False when the system has not the
// memory (the region is then refused, as a failed allocation would be).
bool populate(char *p, size_t n)
{
#ifdef MADV_POPULATE_WRITE
    if (madvise(p, n, MADV_POPULATE_WRITE) == 0) return true;
    if (errno != EINVAL) return false;  // EINVAL: a kernel before 5.14
#endif
    volatile char *v = p;
    for (size_t o = 0; o < n; o += 4096) v[o] = 0;
    return true;
}

bool small_pages_only(void) { return huge_pages_dear || !huge_pages_allowed; }

// Faults in n bytes from p (page aligned): huge pages a step at a time
// while they prove cheap, small pages for the rest. False when the system
// has not the memory.
bool fill(char *p, size_t n)
{
    size_t done = 0;
    bool advised = false;
#ifdef MADV_HUGEPAGE
    if (!small_pages_only() && n >= HUGE_PAGE) advised = madvise(p, n, MADV_HUGEPAGE) == 0;
#endif
    while (advised && done < n) {
        size_t step = n - done < HUGE_STEP ? n - done : HUGE_STEP;
        double t0 = seconds_now();
        if (!populate(p + done, step)) return false;
        double spent = seconds_now() - t0;
        done += step;
        if (spent > dear_per_mb * static_cast<double>(step) / 1048576.0) {
            huge_pages_dear = true;
#ifdef MADV_NOHUGEPAGE
            if (done < n) madvise(p + done, n - done, MADV_NOHUGEPAGE);
#endif
            break;
        }
    }
    return done == n || populate(p + done, n - done);
}

// size bytes of address space starting on a huge-page boundary, no page
// faulted in yet: one huge page more is mapped, and the ends beyond the
// boundary unmapped at once.
char *reserve(size_t size)
{
    void *m = mmap(nullptr, size + HUGE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) return nullptr;
    char *raw = static_cast<char *>(m);
    char *base = reinterpret_cast<char *>((reinterpret_cast<uintptr_t>(raw) + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1));
    if (base > raw) munmap(raw, static_cast<size_t>(base - raw));
    size_t tail = static_cast<size_t>(raw + HUGE_PAGE - base);
    if (tail) munmap(base + size, tail);
    return base;
}

// The pages of the last region given back whole, kept for the next region
// taken: refilling pages the process holds with zeros costs a tenth of
// what fresh ones cost, and the process gives back only what it gave up
// anyway. Null when there is none.
char *spare_base = nullptr;
size_t spare_size = 0;

void drop_spare(void)
{
    if (!spare_base) return;
    unpoison(spare_base, spare_size);
    munmap(spare_base, spare_size);
    spare_base = nullptr;
    spare_size = 0;
}

// A region of size bytes from the spare: cut down to size, or moved (page
// tables only, by mremap) to the start of a larger mapping whose rest is
// faulted in fresh. Null when that fails; the spare is then given back.
char *from_spare(size_t size)
{
    char *old = spare_base;
    size_t have = spare_size;
    spare_base = nullptr;
    spare_size = 0;
    unpoison(old, have);
    if (have >= size) {
        if (have > size) munmap(old + size, have - size);
        memset(old, 0, size);
        return old;
    }
#ifdef MREMAP_FIXED
    char *base = reserve(size);
    if (base) {
        void *moved = mremap(old, have, have, MREMAP_MAYMOVE | MREMAP_FIXED, base);
        if (moved == base) {
            memset(base, 0, have);
            if (fill(base + have, size - have)) return base;
            munmap(base, size);
            return nullptr;
        }
        munmap(base, size);
    }
#endif
    munmap(old, have);
    return nullptr;
}

// Zero pages for a region of size bytes (whole pages), all faulted in.
char *map_region(size_t size)
{
    if (spare_base) {
        if (char *base = from_spare(size)) return base;
    }
    if (small_pages_only() || size < HUGE_PAGE) {
        int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_POPULATE
        flags |= MAP_POPULATE;  // the cheapest way to fault small pages in
#endif
        void *m = mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
        if (m == MAP_FAILED) return nullptr;
#ifndef MAP_POPULATE
        populate(static_cast<char *>(m), size);
#endif
        return static_cast<char *>(m);
    }
    char *base = reserve(size);
    if (base && !fill(base, size)) {
        munmap(base, size);
        return nullptr;
    }
    return base;
}

#endif

}  // namespace

char *region_take(size_t line_bytes, int nlines, size_t *stride)
{
#ifdef NRUTIL_REGIONS
    if (nlines < 1 || line_bytes < 1 || region_count == int(sizeof regions / sizeof regions[0])) return nullptr;
    size_t n = static_cast<size_t>(nlines);
    if (line_bytes > SIZE_MAX / 2) return nullptr;
    size_t s = (line_bytes + 15) / 16 * 16 + LINE_GAP;
    if (s > (SIZE_MAX - 2 * HUGE_PAGE) / n) return nullptr;
    size_t used = s * n;
    if (used < SMALLEST_REGION) return nullptr;
    const size_t grain = size_t(1) << 16;  // whole pages
    size_t size = (used + grain - 1) / grain * grain;

    unsigned char *given = static_cast<unsigned char *>(calloc(n / 8 + 1, 1));
    if (!given) return nullptr;
    char *base = map_region(size);
    if (!base) {
        free(given);
        return nullptr;
    }
    if (LINE_GAP)
        for (size_t i = 0; i < n; i++) poison(base + i * s + line_bytes, s - line_bytes);
    poison(base + used, size - used);
    regions[region_count++] = Region{base, size, s, nlines, nlines, given};
    *stride = s;
    return base;
#else
    (void)line_bytes;
    (void)nlines;
    (void)stride;
    return nullptr;
#endif
}

bool region_give_back(void *p)
{
#ifdef NRUTIL_REGIONS
    char *c = static_cast<char *>(p);
    for (int k = 0; k < region_count; k++) {
        Region &r = regions[k];
        if (c < r.base || c >= r.base + r.size) continue;
        size_t off = static_cast<size_t>(c - r.base);
        size_t i = off / r.stride;
        // Like free() given a pointer it never handed out, or one twice.
        if (off % r.stride != 0 || i >= static_cast<size_t>(r.lines) || (r.given[i / 8] >> (i % 8) & 1)) abort();
        r.given[i / 8] = static_cast<unsigned char>(r.given[i / 8] | 1u << (i % 8));
        poison(c, r.stride);  // a released line is out of bounds, as after free()
        if (--r.live == 0) {
            // Kept as the spare (still poisoned: its lines stay released),
            // the smaller of it and an older spare returned to the system.
            if (spare_size > r.size) {
                unpoison(r.base, r.size);
                munmap(r.base, r.size);
            } else {
                drop_spare();
                spare_base = r.base;
                spare_size = r.size;
            }
            free(r.given);
            regions[k] = regions[--region_count];
        }
        return true;
    }
#else
    (void)p;
#endif
    return false;
}

int regions_in_use(void)
{
#ifdef NRUTIL_REGIONS
    return region_count;
#else
    return 0;
#endif
}

bool regions_available(void)
{
#ifdef NRUTIL_REGIONS
    return true;
#else
    return false;
#endif
}

void regions_tune(bool huge_pages, double dear_seconds_per_mb)
{
#ifdef NRUTIL_REGIONS
    huge_pages_allowed = huge_pages;
    dear_per_mb = dear_seconds_per_mb < 0 ? DEAR_PER_MB : dear_seconds_per_mb;
    huge_pages_dear = false;
    drop_spare();
#else
    (void)huge_pages;
    (void)dear_seconds_per_mb;
#endif
}

size_t regions_spare(void)
{
#ifdef NRUTIL_REGIONS
    return spare_size;
#else
    return 0;
#endif
}

bool regions_huge_pages_dear(void)
{
#ifdef NRUTIL_REGIONS
    return huge_pages_dear;
#else
    return false;
#endif
}
