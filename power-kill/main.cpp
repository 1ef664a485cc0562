#include "PowerKill.h"

int main(int argc, char** argv)
{
    return powerKill(argc, argv, stdout);
}
