#include "OrvexApp.h"

int main(int argc, char** argv)
{
    return OmbrelMain(argc, argv);
}
