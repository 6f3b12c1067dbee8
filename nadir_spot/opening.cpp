#include "nadir_spot.h"

void opening(void) {}
