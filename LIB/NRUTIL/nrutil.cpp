#include "nrutil.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../PLATFORM/console.h"
#include "regions.h"

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#define REGIONS 1
#else
#define REGIONS 0
#endif

#ifndef __has_feature
#define __has_feature(x) 0  // GCC's: it tells by __SANITIZE_ADDRESS__
#endif
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
#define NRUTIL_ASAN 1
#include <sanitizer/asan_interface.h>
const size_t LINE_GAP = 32;  // poisoned after each line, as after a block
#else
#define ASAN_POISON_MEMORY_REGION(p, n) ((void)(p), (void)(n))
const size_t LINE_GAP = 0;
#endif

namespace {

// Faulting the pages of a model matrix in one by one, as the readers first
// write them, costs more than reading the model: the lines of a large matrix
// are carved from one mapping (a region) whose pages are faulted in at once.
struct Region {
    char *base;
    size_t size, stride, live;  // bytes mapped, between line starts; lines not given back
};
Region regions[32];  // a few matrices live at once; beyond, lines of their own
int region_count;
[[maybe_unused]] Region spare;  // the region given back last, its pages still in; size 0: none
#ifndef NRUTIL_PAGES
#define NRUTIL_PAGES -1  // a bench build's fixed kind of pages: 0 small, 1 huge
#endif
int pinned_pages = NRUTIL_PAGES;  // -1: as chosen

#if REGIONS
const size_t HUGE_PAGE = size_t(2) << 20, SMALL_PAGE = 4096;
PageChoice pages;  // the process's choice, carried from region to region

// Faults n bytes in, a huge page's worth (a step) at a time, writing each
// page once (some hosts defer a small page's cost to its first write), each
// step of the kind the timings before chose, or of the pinned kind.
bool fill(char *p, size_t n)  // p on a huge page boundary
{
    int advised = -1;
    for (size_t done = 0; done < n; done += HUGE_PAGE) {
        const size_t step = std::min(n - done, HUGE_PAGE);
        if (pinned_pages >= 0) pages.huge = pinned_pages;
#ifdef MADV_HUGEPAGE
        if (pages.huge != advised) madvise(p + done, n - done, pages.huge ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
        advised = pages.huge;
#endif
        const auto t0 = std::chrono::steady_clock::now();
#ifdef MADV_POPULATE_WRITE  // EINVAL: a kernel without it
        if (madvise(p + done, step, MADV_POPULATE_WRITE) != 0 && errno != EINVAL) return false;
#endif
        for (size_t o = done; o < done + step; o += SMALL_PAGE) static_cast<volatile char *>(p)[o] = 0;
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - t0;
        if (step == HUGE_PAGE) pages = next_pages(pages, seconds.count());
    }
    return true;
}
#endif

// The lines of a large matrix, stride bytes apart, zero-filled: null and
// *stride 0 for lines of their own (small, or no room in the table), null
// and *stride set without memory. The region given back last, if no larger,
// starts it (unless a kind is pinned): clearing pages costs less than fresh.
char *region_take([[maybe_unused]] size_t line_bytes, [[maybe_unused]] int nlines, size_t *stride)
{
    *stride = 0;
#if REGIONS
    size_t n = size_t(nlines), s = (line_bytes + 15) / 16 * 16 + LINE_GAP;
    bool impossible = s > SIZE_MAX / 4 / n;  // more than any memory
    if (!impossible && (region_count == int(sizeof regions / sizeof regions[0]) || s * n < HUGE_PAGE))
        return nullptr;
    *stride = s;
    if (impossible) return nullptr;
    size_t used = s * n, size = (used + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE, kept = 0;
    void *m = mmap(nullptr, size + HUGE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) return nullptr;
    char *raw = static_cast<char *>(m), *base = raw + (-reinterpret_cast<uintptr_t>(m) & (HUGE_PAGE - 1));
    if (base > raw) munmap(raw, size_t(base - raw));  // base on a huge page boundary, the ends given back
    munmap(base + size, size_t(raw + HUGE_PAGE - base));
#ifdef MREMAP_FIXED
    if (spare.size && spare.size <= size && pinned_pages < 0 &&
        mremap(spare.base, spare.size, spare.size, MREMAP_MAYMOVE | MREMAP_FIXED, base) == base)
        memset(base, 0, kept = std::min(spare.size, used)), spare.size = 0;
#endif
    if (spare.size) munmap(spare.base, spare.size), spare.size = 0;
    if (!fill(base + kept, used - kept)) return munmap(base, size), nullptr;
    for (size_t i = 0; LINE_GAP && i < n; i++) ASAN_POISON_MEMORY_REGION(base + i * s + line_bytes, LINE_GAP);
    ASAN_POISON_MEMORY_REGION(base + used, size - used);
    regions[region_count++] = Region{base, size, s, n};
    return base;
#else
    return nullptr;
#endif
}

// Every block handed out comes back here: a region's line, or its own.
void give_back(void *p)
{
    char *c = static_cast<char *>(p);
    int k = 0;
    while (k < region_count && (c < regions[k].base || c >= regions[k].base + regions[k].size)) k++;
    if (k == region_count) return free(p);
    Region &r = regions[k];
    if (size_t(c - r.base) % r.stride) abort();  // no line's start, as free() does
    ASAN_POISON_MEMORY_REGION(c, r.stride);      // out of bounds, as after free()
    if (--r.live > 0) return;
#if REGIONS && defined(NRUTIL_ASAN)
    // Kept poisoned and unusable: a line used after its region went is caught.
    mmap(r.base, r.size, PROT_NONE, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
#elif REGIONS
    if (spare.size) munmap(spare.base, spare.size);
    spare = r;
#endif
    regions[k] = regions[--region_count];
}

template <typename T>
T **new_matrix(int NbCol, int NbLig)
{
    if (NbCol < 1 || NbLig < 1) return nullptr;
    T **buff = static_cast<T **>(calloc(size_t(NbLig), sizeof(T *)));
    if (!buff) return nullptr;
    size_t stride;
    if (char *region = region_take(sizeof(T) * size_t(NbCol), NbLig, &stride)) {
        for (int i = 0; i < NbLig; i++) buff[i] = reinterpret_cast<T *>(region + size_t(i) * stride);
        return buff;
    }
    if (!stride) {  // lines of their own
        int i = 0;
        while (i < NbLig && (buff[i] = static_cast<T *>(calloc(size_t(NbCol), sizeof(T))))) i++;
        if (i == NbLig) return buff;
        while (i > 0) free(buff[--i]);  // kept, they would make a smaller retry fail too
    }
    free(buff);
    return nullptr;
}

template <typename T>
void free_matrix(T **Mat, int NbLig)
{
    for (int i = 0; Mat && i < NbLig; i++) give_back(Mat[i]);
    free(Mat);
}

template <typename T>
T *new_vector(int NbCol)
{
    return NbCol < 1 ? nullptr : static_cast<T *>(calloc(size_t(NbCol), sizeof(T)));
}

}  // namespace

int regions_in_use(void) { return REGIONS ? region_count : -1; }

void regions_pin_pages(int kind) { pinned_pages = kind; }

// Which pages are cheaper differs from host to host and minute to minute (a
// virtual machine's host takes back the free memory huge pages come from;
// pages freed moments before are cheap to take again), so both kinds are
// timed a step at a time, each judged on the lowest of its latest
// PAGE_TIMINGS timings: one thrown high (the core lent to another process)
// counts for nothing, a lasting rise shows within that many steps. A kind's
// first PAGE_TIMINGS steps after the other can only show it cheaper (they
// may pay for what the other left). The kinds take turns until each has two
// timings; then the cheaper goes on, the other timed again once the steps
// since cost PROBE_SHARE times its judged cost (adding about 1/PROBE_SHARE).
PageChoice next_pages(PageChoice c, double seconds)
{
    const double PROBE_SHARE = 16;
    auto lowest = [](const double *t) {  // the timings held come first; 0: none
        return t[0] ? *std::min_element(t, std::find(t, t + PAGE_TIMINGS, 0.0)) : 0;
    };
    int k = c.huge, o = 1 - k;
    if (c.stint++ >= PAGE_TIMINGS || !c.seen[k][1] || seconds < lowest(c.seen[k])) {
        std::copy_backward(c.seen[k], c.seen[k] + PAGE_TIMINGS - 1, c.seen[k] + PAGE_TIMINGS);
        c.seen[k][0] = seconds;
    }
    double mine = lowest(c.seen[k]), other = lowest(c.seen[o]);
    c.spent += mine;
    bool turns = !c.seen[o][1] || !c.seen[k][1];
    c.huge = turns ? (c.seen[o][1] ? k : o) : other < mine || c.spent >= PROBE_SHARE * other ? o : k;
    if (c.huge != k) c.spent = 0, c.stint = 0;
    return c;
}

float **fmatrice(int NbCol, int NbLig) { return new_matrix<float>(NbCol, NbLig); }
unsigned char **ucmatrice(int NbCol, int NbLig) { return new_matrix<unsigned char>(NbCol, NbLig); }
unsigned short **usmatrice(int NbCol, int NbLig) { return new_matrix<unsigned short>(NbCol, NbLig); }
short **smatrice(int NbCol, int NbLig) { return new_matrix<short>(NbCol, NbLig); }
int **imatrice(int NbCol, int NbLig) { return new_matrix<int>(NbCol, NbLig); }
double **dmatrice(int NbCol, int NbLig) { return new_matrix<double>(NbCol, NbLig); }
long double **ldmatrice(int NbCol, int NbLig) { return new_matrix<long double>(NbCol, NbLig); }

void frfmatrice(float **Mat, int NbLig) { free_matrix(Mat, NbLig); }
void frucmatrice(unsigned char **Mat, int NbLig) { free_matrix(Mat, NbLig); }
void frusmatrice(unsigned short **Mat, int NbLig)
{
    printf("\n NbLig en frusmatrice %d ", NbLig);
    wait_key();
    free_matrix(Mat, NbLig);
}
void frsmatrice(short **Mat, int NbLig) { free_matrix(Mat, NbLig); }
void frimatrice(int **Mat, int NbLig) { free_matrix(Mat, NbLig); }
void frdmatrice(double **Mat, int NbLig) { free_matrix(Mat, NbLig); }
void frldmatrice(long double **Mat, int NbLig) { free_matrix(Mat, NbLig); }

unsigned char *ucvecteur(int NbCol) { return new_vector<unsigned char>(NbCol); }
void frucvecteur(unsigned char *Mat) { give_back(Mat); }
unsigned short *usvecteur(int NbCol) { return new_vector<unsigned short>(NbCol); }
void frusvecteur(unsigned short *Mat) { give_back(Mat); }
short *svecteur(int NbCol) { return new_vector<short>(NbCol); }
void frsvecteur(short *Mat) { give_back(Mat); }
int *ivecteur(int NbCol) { return new_vector<int>(NbCol); }
void frivecteur(int *Mat) { give_back(Mat); }
double *dvecteur(int NbCol) { return new_vector<double>(NbCol); }
void frdvecteur(double *Mat) { give_back(Mat); }
float *fvecteur(int NbCol) { return new_vector<float>(NbCol); }
void frfvecteur(float *Mat) { give_back(Mat); }
