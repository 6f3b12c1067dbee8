#include "console.h"
#include "nadir_spot.h"
#include "nrutil.h"

void stop_no_memory(int lines, int columns)
{
    stop_run(1, "\n\n\tNot enough memory for a model of %d lines and %d columns.\n", lines, columns);
}

void take_line_extremes(void)
{
    frdvecteur(line_min);
    frdvecteur(line_max);
    line_min = dvecteur(nb_lig);
    line_max = dvecteur(nb_lig);
    if (!line_min || !line_max) stop_no_memory(nb_lig, nb_col);
}
