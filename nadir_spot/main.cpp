#include "console.h"
#include "nadir_spot.h"

int main()
{
    opening();
    treatment();
    end_run(0);
}
