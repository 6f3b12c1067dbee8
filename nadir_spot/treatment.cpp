// The analysis: the lowest and highest altitude and the pixels at the
// lowest, combined from the lines' results that the reader's per-line pass
// decided (kernels.h), and on request the mask of those pixels saved as an
// 8-bit greyscale BMP, with the first of them located in words and, for a
// grid, the world file that lays the mask on the map.
#include <cmath>
#include <cstring>

#include "console.h"
#include "image.h"
#include "kernels.h"
#include "messages.h"
#include "nadir_spot.h"
#include "new_file.h"
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

// The extremes, the count at the lowest and the cells left out, from those
// of the lines (every reader that makes dtab takes them): no cell is read
// again, but by first_equal for an extreme of 0. A NaN cell fails every
// comparison: never an extreme nor counted.
void scan_range(double *lowest, double *highest, long long *count, long long *left_out)
{
    const int n = nb_col;
    double mn = INFINITY, mx = -INFINITY;
    long long voids = 0;
    for (int l = 0; l < nb_lig && dtab; l++) {
        mn = line_min[l] < mn ? line_min[l] : mn;
        mx = line_max[l] > mx ? line_max[l] : mx;
        voids += line_voids[l];
    }
    *left_out = voids;
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

// The first pixels at the lowest, in scan order, as the mask marks them.
const int SHOWN_SPOTS = 10;
int spot_lig[SHOWN_SPOTS], spot_col[SHOWN_SPOTS];
int spots;

// The mask: 1 on the cells equal to the altitude searched, 255 elsewhere,
// exactly the cells counted (a no-data cell never equals it). Only a line
// whose lowest is that altitude can hold it, and its bits tell which. The
// first SHOWN_SPOTS pixels marked are kept, in scan order.
void build_mask(double v)
{
    spots = 0;
    if (nb_lig < 1 || nb_col < 1) return;  // no cells: the image is header and palette
    tab_bin = ucmatrice(nb_col, nb_lig);
    if (!tab_bin) stop_no_memory(nb_lig, nb_col);
    const int n = nb_col;
    for (int l = 0; l < nb_lig; l++) {
        unsigned char *mask = tab_bin[l];
        if (line_min[l] != v) {
            memset(mask, 255, static_cast<size_t>(n));
            continue;
        }
        mask_from_bits(line_low_bits[l], mask, n);
        for (int c = 0; c < n && spots < SHOWN_SPOTS; c++)
            if (mask[c] == 1) {
                spot_lig[spots] = l;
                spot_col[spots++] = c;
            }
    }
}

// The map coordinates of the centre of cell (l, c) of a grid, computed as
// GDAL computes them from its geotransform: origin the top-left corner,
// steps of the cell width to the right and of the cell height downwards.
void cell_centre(int l, int c, double *x, double *y)
{
    double top = Y_min + nb_lig * dpix_dy;
    *x = X_min + (c + 0.5) * dpix_size;
    *y = top - (l + 0.5) * dpix_dy;
}

// The world file N.bpw of the mask N.bmp (nomim2), as a path text.
char *world_file_path(char *path)
{
    strcpy(path, nomim2);
    strcpy(path + strlen(path) - IMAGE_SUFFIX_LEN, ".bpw");
    return path;
}

// The world file beside a grid's mask: the cell width, two rotations of 0,
// minus the cell height, then the centre of the top-left cell, each in as
// many digits as read back to the same double. Made as the mask is: whole
// or not at all, replacing an older one. An older one that stays places
// the new mask, and the warning says so.
void write_world_file(void)
{
    char path[PATH_TEXT], native[PATH_TEXT];
    world_file_path(path);
    double x, y;
    cell_centre(0, 0, &x, &y);
    NewFile nf;
    bool made = new_file_open(&nf, native_path(path, native), "w", true);
    if (made) {
        fprintf(nf.f, "%.17g\n%.17g\n%.17g\n%.17g\n", dpix_size, 0.0, 0.0, -dpix_dy);
        fprintf(nf.f, "%.17g\n%.17g\n", x, y);
        made = new_file_commit(&nf) == 0;  // a failed write shows here
    }
    if (!made) printf(regular_file_at(native) ? MSG_WORLD_FILE_KEPT : MSG_WORLD_FILE_UNWRITTEN, path);
}

// A raw raster's origin is not known, so its mask gets no world file; one
// already beside it (a grid's mask's, or the user's own) is left alone,
// but it would place this mask, and the warning says so.
void warn_of_world_file(void)
{
    char path[PATH_TEXT], native[PATH_TEXT];
    if (regular_file_at(native_path(world_file_path(path), native))) printf(MSG_WORLD_FILE_FOREIGN, path);
}

// The pixels kept by build_mask, then how many more the mask holds.
void print_spots(long long num_min)
{
    if (spots == 0) return;
    printf("\n\n\tPixels at the min value (line and column from 0 at the top left) :");
    for (int k = 0; k < spots; k++) {
        if (format != 0) {
            printf("\n\t\tline %d   column %d", spot_lig[k], spot_col[k]);
            continue;
        }
        double x, y;
        cell_centre(spot_lig[k], spot_col[k], &x, &y);
        printf("\n\t\tline %d   column %d   x = %lf   y = %lf", spot_lig[k], spot_col[k], x, y);
    }
    if (num_min > spots) printf("\n\t\t... and %lld more, all in the mask", num_min - spots);
    printf("\n");
}

}  // namespace

void treatment(void)
{
    printf("\n\n\tTreatment\n\n");

    double dtab_min_in, dtab_max_in;
    long long num_min, left_out;
    scan_range(&dtab_min_in, &dtab_max_in, &num_min, &left_out);

    printf("\n\n\tAltitude value of the original DEM : ");
    printf("\n\t\tMin = %lf   Max. = %lf ", dtab_min_in, dtab_max_in);
    if (left_out > 0) printf("\n\n\tnumber of no-data pixels left out = %lld ", left_out);
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
    ask_name("\n\n\tName of this image (without .bmp extension) ? ", nomfic, strlen(nomim2),
             IMAGE_SUFFIX_LEN);
    strcat(nomim2, nomfic);
    strcat(nomim2, ".bmp");

    char native[PATH_TEXT];
    if (SauveBMP(native_path(nomim2, native), tab_bin, nb_col, nb_lig, 0, nullptr) != 0)
        stop_run(1, MSG_IMAGE_UNWRITTEN, nomim2);
    if (format == 0)
        write_world_file();
    else
        warn_of_world_file();
    print_spots(num_min);
}
