#include "nadir_spot.h"

void treatment(void) {}
