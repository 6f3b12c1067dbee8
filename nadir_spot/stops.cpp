#include "console.h"
#include "messages.h"
#include "nadir_spot.h"
#include "nrutil.h"

void stop_no_memory(int lines, int columns) { stop_run(1, MSG_NO_MEMORY, lines, columns); }

void free_line_extremes(void)
{
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
    if (!line_min || !line_max || !line_lows || !line_voids) stop_no_memory(nb_lig, nb_col);
}
