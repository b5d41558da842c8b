#include "app/ConsoleApp.h"

int main(int argc, char **argv)
{
    return hvn::console::runConsole(argc, argv);
}
