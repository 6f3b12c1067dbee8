// dem_lecture: a raw raster of 16-bit unsigned or 32-bit signed
// little-endian samples, nb_lig rows of nb_col, into itab and then dtab in
// metres, each line's extremes taken as it is converted (the per-line pass,
// kernels.h); writes the descriptor that opening() could not find.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>

#include "console.h"
#include "kernels.h"
#include "messages.h"
#include "nadir_spot.h"
#include "new_file.h"
#include "nrutil.h"
#include "readers.h"

// Rows are read straight into the lines of jtab and itab.
static_assert(sizeof(unsigned short) == 2 && sizeof(int) == 4, "raster samples are 2 and 4 bytes wide");

namespace {

// Metres per sample unit: the doubles nearest 0.1, 0.01 and 0.001.
const double unit_factor[4] = {1.0, 0.1, 0.01, 0.001};

int range_min, range_max;  // of the samples, in raw units

// Reads one row with one read. A short read means the file ends early: the
// bytes it holds are those read so far.
void read_row(void *row, int sample_bytes, unsigned long long done)
{
    size_t want = static_cast<size_t>(nb_col) * static_cast<size_t>(sample_bytes);
    size_t got = fread(row, 1, want, f1);
    if (got == want) return;
    if (ferror(f1)) stop_run(1, MSG_RASTER_UNREADABLE);
    unsigned long long need = static_cast<unsigned long long>(nb_lig) * static_cast<unsigned long long>(want);
    stop_run(1, MSG_RASTER_SHORT, nb_lig, nb_col, sample_bytes, need, static_cast<long long>(done + got));
}

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
void from_little_endian(unsigned short *s, int n)
{
    for (int i = 0; i < n; i++) s[i] = static_cast<unsigned short>((s[i] >> 8) | (s[i] << 8));
}
void from_little_endian(int *s, int n)
{
    for (int i = 0; i < n; i++) s[i] = static_cast<int>(__builtin_bswap32(static_cast<unsigned>(s[i])));
}
#else
void from_little_endian(unsigned short *, int) {}
void from_little_endian(int *, int) {}
#endif

// 16-bit: each row is read into jtab and at once widened into itab while
// it is still in cache, its range taken on the 16-bit samples.
void read_16bit(void)
{
    const int n = nb_col;
    int lo = USHRT_MAX, hi = 0;
    for (int l = 0; l < nb_lig; l++) {
        unsigned short *src = jtab[l];
        read_row(src, 2, static_cast<unsigned long long>(l) * n * 2);
        from_little_endian(src, n);
        widen_row(src, itab[l], n);
        sample_range(src, n, &lo, &hi);
    }
    range_min = lo;
    range_max = hi;
}

// 32-bit: straight into itab, the range taken on each row just read.
void read_32bit(void)
{
    const int n = nb_col;
    int lo = INT_MAX, hi = INT_MIN;
    for (int l = 0; l < nb_lig; l++) {
        int *row = itab[l];
        read_row(row, 4, static_cast<unsigned long long>(l) * n * 4);
        from_little_endian(row, n);
        sample_range(row, n, &lo, &hi);
    }
    range_min = lo;
    range_max = hi;
}

int ask_unit(void)
{
    // Anything but 0 to 3 is asked again, the whole menu reprinted.
    for (;;) {
        printf("\n\n\tAre these values\n\t\t0 ====> in meters");
        printf("\n\t\t1 ====> in decimeters\n\t\t2 ====> in centimeters");
        printf("\n\t\t3 ====> in millimeters");
        printf("\n\t\t");
        int answer;
        if (ask_int(&answer) && answer >= 0 && answer <= 3) return answer;
    }
}

// Each line in metres, and its extremes taken while it is in cache.
void convert(int dyn_scale)
{
    take_line_extremes();
    double lowest = INFINITY;
    for (int l = 0; l < nb_lig; l++) {
        to_metres(itab[l], dtab[l], nb_col, unit_factor[dyn_scale], dyn_scale == 0);
        pass_line(l, &lowest);
    }
}

// The descriptor, its six lines made whole before it takes its name. It is
// a convenience for the next run: a file that took the name meanwhile is
// left as it is, and one that cannot be written (a full disk) is a warning;
// the analysis goes on either way.
void complete_descriptor(int sample_bytes)
{
    char native[PATH_TEXT];
    NewFile nf;
    bool made = new_file_open(&nf, native_path(descr_new, native), "w", false);
    if (made) {
        fprintf(nf.f, "%d\n%d\n%d\n", nb_lig, nb_col, sample_bytes);
        fprintf(nf.f, "%d\n%d\n%lf\n", range_min, range_max, dpix_size);
        made = new_file_commit(&nf) == 0;  // a failed write shows here
    }
    if (!made) printf(errno == EEXIST ? MSG_DESCRIPTOR_TAKEN : MSG_DESCRIPTOR_UNCREATABLE, descr_new);
    descr_new[0] = '\0';
}

}  // namespace

void dem_lecture(void)
{
    if (nb_lig < 0 || nb_col < 0) stop_run(1, MSG_BAD_DIMENSIONS, nb_lig, nb_col);
    const int sample_bytes = itype == 0 ? 2 : 4;
    const bool empty = nb_lig == 0 || nb_col == 0;

    // A file too short for its rows is refused before memory is taken.
    unsigned long long need = static_cast<unsigned long long>(nb_lig) *
                              static_cast<unsigned long long>(nb_col) *
                              static_cast<unsigned long long>(sample_bytes);
    long long left = stream_bytes_left(f1);
    if (left >= 0 && static_cast<unsigned long long>(left) < need)
        stop_run(1, MSG_RASTER_SHORT, nb_lig, nb_col, sample_bytes, need, left);

    // An empty model has no matrix (the allocators refuse one): no values
    // are read and the range keeps its starting values.
    range_min = 1000000;
    range_max = 0;
    if (itype == 0) {
        if (!empty) {
            jtab = usmatrice(nb_col, nb_lig);
            itab = imatrice(nb_col, nb_lig);
            if (!jtab || !itab) stop_no_memory(nb_lig, nb_col);
            read_16bit();
        }
        frusmatrice(jtab, nb_lig);
        jtab = nullptr;
    }
    // On the 16-bit path dtab comes once the samples are given back, and
    // takes their pages: fewer fresh pages, and a lower peak.
    if (!empty) {
        dtab = dmatrice(nb_col, nb_lig);
        if (!dtab) stop_no_memory(nb_lig, nb_col);
    }
    if (itype != 0 && !empty) {
        itab = imatrice(nb_col, nb_lig);
        if (!itab) stop_no_memory(nb_lig, nb_col);
        read_32bit();
    }

    printf("\n\n\tHypsometric dynamic scale:\n\t\tMin = %d\n\t\tMax = %d ", range_min, range_max);
    int dyn_scale = ask_unit();
    if (!empty) convert(dyn_scale);

    if (!descr_OK && descr_new[0]) complete_descriptor(sample_bytes);
}
