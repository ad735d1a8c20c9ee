#include <iostream>
#include <string>
#include <vector>

#include "MondrelDbCommand.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return RunMondrelDb(args, std::cout, std::cerr);
}
