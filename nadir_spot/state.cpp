// The program state (nadir_spot.h), and its one reset.
#include "nadir_spot.h"
#include "nrutil.h"

int nb_lig, nb_col, format, itype, mind, maxd;
double dpix_size, dpix_dy, X_min, Y_min, nodata;

unsigned short **jtab;
int **itab;
double **dtab;
unsigned char **tab_bin;
double *line_min, *line_max;
int *line_lows, *line_voids;
unsigned char **line_low_bits;

bool descr_OK;

char nomim1[PATH_TEXT], nomfic1[PATH_TEXT], nomim2[PATH_TEXT], nomfic[PATH_TEXT], descr_new[PATH_TEXT];

FILE *f1, *f1d;

namespace {
int bits_lines;  // line_low_bits's lines: nb_lig may have changed since
}  // namespace

void free_line_extremes(void)
{
    frucmatrice(line_low_bits, bits_lines);
    line_low_bits = nullptr;
    frdvecteur(line_min);
    frdvecteur(line_max);
    frivecteur(line_lows);
    frivecteur(line_voids);
    line_min = line_max = nullptr;
    line_lows = line_voids = nullptr;
}

void take_line_extremes(void)
{
    free_line_extremes();
    line_min = dvecteur(nb_lig);
    line_max = dvecteur(nb_lig);
    line_lows = ivecteur(nb_lig);
    line_voids = ivecteur(nb_lig);  // zero-filled: a raw raster leaves it so
    line_low_bits = ucmatrice((nb_col + 7) / 8, nb_lig);
    bits_lines = nb_lig;
    if (!line_min || !line_max || !line_lows || !line_voids || !line_low_bits) stop_no_memory(nb_lig, nb_col);
}

void reset_state(void)
{
    // The matrices have nb_lig lines: it is not changed once they are made.
    // jtab outlives the 16-bit read only when a stop came inside it (fuzz
    // builds come back from stops): frusmatrice prints its text and takes
    // its key as at the end of a read.
    if (jtab) frusmatrice(jtab, nb_lig);
    frimatrice(itab, nb_lig);
    frdmatrice(dtab, nb_lig);
    frucmatrice(tab_bin, nb_lig);
    jtab = nullptr;
    itab = nullptr;
    dtab = nullptr;
    tab_bin = nullptr;
    free_line_extremes();
    if (f1) fclose(f1);
    if (f1d) fclose(f1d);
    f1 = f1d = nullptr;
    nb_lig = nb_col = format = itype = mind = maxd = 0;
    dpix_size = dpix_dy = X_min = Y_min = nodata = 0.0;
    descr_OK = false;
    nomim1[0] = nomfic1[0] = nomim2[0] = nomfic[0] = descr_new[0] = '\0';
}
