// hvnCupsAgent: the CUPS backend "halvane", which prints each job through the queue's real
// backend and reports it to hvnRetriever.

#include <iostream>
#include <string>
#include <vector>

#include "CupsAgent.h"

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv, argv + argc);
    return hvn::cupsagent::run(args, std::cout, std::cerr);
}
