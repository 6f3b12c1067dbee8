#include "nadir_spot.h"

void ascii_lecture(void) {}
