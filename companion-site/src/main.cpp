#include <iostream>

#include "commands.h"

int main(int argc, char** argv) {
    return site::runCommand(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout, std::cerr);
}
