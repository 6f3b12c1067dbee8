// The analysis: lowest and highest altitude, the pixels at the lowest, and
// on request the mask of those pixels saved as an 8-bit greyscale BMP.
#include <cmath>
#include <cstring>

#include "console.h"
#include "image.h"
#include "kernels.h"
#include "messages.h"
#include "nadir_spot.h"
#include "nrutil.h"

namespace {

// What an empty model (or one of not-a-number cells only) reports.
const double EMPTY_MIN = 10000000.0;
const double EMPTY_MAX = 0.0;

// The extremes as the first cell holding them has them: -0 and +0 compare
// equal, but the one printed is the first met, line by line.
double first_equal(const double *line_ext, int n, double v)
{
    for (int l = 0; l < nb_lig; l++) {
        if (line_ext[l] != v) continue;
        const double *row = dtab[l];
        for (int c = 0; c < n; c++)
            if (row[c] == v) return row[c];
    }
    return v;
}

// The extremes and the count at the lowest from those of the lines: no
// cell is read again. A NaN cell fails every comparison: never an extreme
// nor counted.
void scan_range(double *lowest, double *highest, long long *count)
{
    const int n = nb_col;
    if (dtab && !line_min) {  // no reader took them: one pass over the model
        take_line_extremes();
        for (int l = 0; l < nb_lig; l++) line_stats(dtab[l], n, &line_min[l], &line_max[l], &line_lows[l]);
    }
    double mn = INFINITY, mx = -INFINITY;
    for (int l = 0; l < nb_lig && dtab; l++) {
        mn = line_min[l] < mn ? line_min[l] : mn;
        mx = line_max[l] > mx ? line_max[l] : mx;
    }
    if (mn > mx) {  // no cell holds a number
        *lowest = EMPTY_MIN;
        *highest = EMPTY_MAX;
        *count = 0;
        return;
    }
    long long found = 0;
    for (int l = 0; l < nb_lig; l++)
        if (line_min[l] == mn) found += line_lows[l];
    *lowest = mn == 0 ? first_equal(line_min, n, mn) : mn;
    *highest = mx == 0 ? first_equal(line_max, n, mx) : mx;
    *count = found;
}

// 1 on the cells equal to the altitude searched, 255 elsewhere: exactly the
// cells counted. Only a line whose lowest is that altitude can hold it.
void build_mask(double decim_val_pit)
{
    if (nb_lig < 1 || nb_col < 1) return;  // no cells: the image is header and palette
    tab_bin = ucmatrice(nb_col, nb_lig);
    if (!tab_bin) stop_no_memory(nb_lig, nb_col);
    const int n = nb_col;
    for (int l = 0; l < nb_lig; l++) {
        unsigned char *mask = tab_bin[l];
        if (line_min[l] != decim_val_pit) {
            memset(mask, 255, static_cast<size_t>(n));
            continue;
        }
        mask_row(dtab[l], mask, n, decim_val_pit);
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

    if (val_search == 1) stop_run(0, MSG_NOT_ANY_TREATMENT);

    double decim_val_pit = dtab_min_in;
    build_mask(decim_val_pit);
    free_line_extremes();

    printf("\n\n\tResulting File created");
    printf("\n\n\tNote : the program saves the result as a bitmap image ");
    ask_name("\n\n\tName of this image (without .bmp extension) ? ", nomfic, strlen(nomim2), 4);
    strcat(nomim2, nomfic);
    strcat(nomim2, ".bmp");

    char native[128];
    if (SauveBMP(native_path(nomim2, native), tab_bin, nb_col, nb_lig, 0, nullptr) != 0)
        stop_run(1, MSG_IMAGE_UNWRITTEN, nomim2);
}
