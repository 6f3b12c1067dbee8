#include "nadir_spot.h"

int main()
{
    opening();
    treatment();
    return 0;
}
