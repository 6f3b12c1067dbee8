#include "regions.h"

#include <cstdint>
#include <cstdlib>

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

// How a region gets its pages. Huge pages (MADV_HUGEPAGE) make the first
// touch of the model matrices up to 4 times cheaper than small pages when
// the memory was freed moments before, but on a virtual machine that hands
// free memory back to its host (free page reporting: free 2 MB blocks are
// reported about 2 s after they are freed) every huge page taken after an
// idle pause is a block the host must fault in again, and a whole run then
// costs 3 to 4 times more. Small pages come first from free blocks under
// 2 MB, which are never handed back. Measured on such a machine, 768 MB:
// huge pages 0.10 to 0.16 s right after a run that used huge pages, 0.8 to
// 1.8 s after one that used small pages, 1.8 to 4.5 s after 6 idle seconds;
// small pages faulted in one go (MAP_POPULATE) 0.38 to 0.70 s in every case,
// first touches 0.47 to 1.04 s. The whole 16-bit run of 64 M cells after a
// 6 s pause at the questions: 1.26 s with small pages, 4.8 s with huge ones.
// A person types for seconds before the matrices are taken: small pages,
// taken in one go, are the steady choice.
const bool HUGE_PAGES = false;
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

// Fresh zero pages for a region of size bytes (whole pages).
char *map_region(size_t size)
{
    if (HUGE_PAGES) {
        // One huge page more, so that the region can start on a huge-page
        // boundary; the ends beyond it are unmapped at once.
        void *m = mmap(nullptr, size + HUGE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED) return nullptr;
        char *raw = static_cast<char *>(m);
        char *base = reinterpret_cast<char *>((reinterpret_cast<uintptr_t>(raw) + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1));
        if (base > raw) munmap(raw, static_cast<size_t>(base - raw));
        size_t tail = static_cast<size_t>(raw + HUGE_PAGE - base);
        if (tail) munmap(base + size, tail);
#ifdef MADV_HUGEPAGE
        madvise(base, size, MADV_HUGEPAGE);  // advice: where refused, small pages serve
#endif
        return base;
    }
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE;  // every line is filled at once: fault the pages in one go
#endif
    void *m = mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
    return m == MAP_FAILED ? nullptr : static_cast<char *>(m);
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
    const size_t grain = HUGE_PAGES ? HUGE_PAGE : size_t(1) << 16;  // whole pages
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
            unpoison(r.base, r.size);
            munmap(r.base, r.size);
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
