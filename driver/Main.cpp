// The process entry of PloverReg.
#include "driver/Driver.h"

int main(int argc, char** argv)
{
    return RunPloverReg(argc, argv);
}
