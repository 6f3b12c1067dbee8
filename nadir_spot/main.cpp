#include "console.h"
#include "nadir_spot.h"

int main()
{
    reset_state();
    opening();
    treatment();
    end_run(0);
}
