// The analysis: lowest and highest altitude, the pixels at the lowest, and
// on request the mask of those pixels saved as an 8-bit greyscale BMP.
#include <cmath>
#include <cstring>

#include "console.h"
#include "image.h"
#include "nadir_spot.h"
#include "nrutil.h"

namespace {

// What an empty model (or one of not-a-number cells only) reports.
const double EMPTY_MIN = 10000000.0;
const double EMPTY_MAX = 0.0;

// One pass: the extremes and the count at the minimum together. A NaN cell
// fails every comparison, so it is never an extreme nor counted.
void scan_range(double *lowest, double *highest, long long *count)
{
    double mn = INFINITY, mx = -INFINITY;
    long long n = 0;
    for (int l = 0; l < nb_lig && dtab; l++) {
        const double *row = dtab[l];
        for (int c = 0; c < nb_col; c++) {
            double v = row[c];
            if (v < mn) {
                mn = v;
                n = 0;
            }
            n += v == mn;
            if (v > mx) mx = v;
        }
    }
    if (mn > mx) {  // no cell holds a number
        mn = EMPTY_MIN;
        mx = EMPTY_MAX;
        n = 0;
    }
    *lowest = mn;
    *highest = mx;
    *count = n;
}

// 1 on the cells equal to the altitude searched, 255 elsewhere: exactly the
// cells counted.
void build_mask(double decim_val_pit)
{
    if (nb_lig < 1 || nb_col < 1) return;  // no cells: the image is header and palette
    tab_bin = ucmatrice(nb_col, nb_lig);
    if (!tab_bin) stop_no_memory(nb_lig, nb_col);
    for (int l = 0; l < nb_lig; l++) {
        const double *row = dtab[l];
        unsigned char *mask = tab_bin[l];
        for (int c = 0; c < nb_col; c++) mask[c] = row[c] == decim_val_pit ? 1 : 255;
    }
}

}  // namespace

void treatment(void)
{
    printf("\n\n\tTreatment\n\n");

    double dtab_min_in, dtab_max_in;
    long long num_min;
    scan_range(&dtab_min_in, &dtab_max_in, &num_min);

    printf("\n\n\tAltitude value of the original DEM : ");
    printf("\n\t\tMin = %lf   Max. = %lf ", dtab_min_in, dtab_max_in);
    printf("\n\n\tnumber of pixels with min value = %lld ", num_min);

    printf("\n\n\tDo you want to locate these pixels ? ");
    int val_search;
    do printf("\n\n\t\t0 ====> yes\n\t\t1 ====> no\n\t\t");
    while (!ask_int(&val_search) || val_search > 1 || val_search < 0);

    if (val_search == 1) stop_run(0, "\n\n\tNot any treatment ");

    double decim_val_pit = dtab_min_in;
    build_mask(decim_val_pit);

    printf("\n\n\tResulting File created");
    printf("\n\n\tNote : the program saves the result as a bitmap image ");
    ask_name("\n\n\tName of this image (without .bmp extension) ? ", nomfic, strlen(nomim2), 4);
    strcat(nomim2, nomfic);
    strcat(nomim2, ".bmp");

    char native[128];
    if (SauveBMP(native_path(nomim2, native), tab_bin, nb_col, nb_lig, 0, nullptr) != 0)
        stop_run(1, "\n\n\tThe image %s cannot be written.\n", nomim2);
}
