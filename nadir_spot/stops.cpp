#include "console.h"
#include "nadir_spot.h"

void stop_no_memory(int lines, int columns)
{
    stop_run(1, "\n\n\tNot enough memory for a model of %d lines and %d columns.\n", lines, columns);
}
