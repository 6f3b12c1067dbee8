#include "console.h"
#include "messages.h"
#include "nadir_spot.h"

void stop_no_memory(int lines, int columns) { stop_run(1, MSG_NO_MEMORY, lines, columns); }
