// Quorvellant's entry point.
#include "ui/ProgramEntry.h"

int main(int argc, char **argv)
{
    return qv::runProgram(argc, argv);
}
