#include "nadir_spot.h"

int nb_lig, nb_col, format, itype, mind, maxd;
double dpix_size, dpix_dy, X_min, Y_min, nodata;

unsigned short **jtab;
int **itab;
double **dtab;
unsigned char **tab_bin;
double *line_min, *line_max;
int *line_lows, *line_voids;

bool descr_OK;

char nomim1[128], nomfic1[128], nomim2[128], nomfic[128], descr_new[128];

FILE *f1, *f1d;
