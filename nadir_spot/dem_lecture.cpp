#include "nadir_spot.h"

void dem_lecture(void) {}
