#include "cli/Cli.h"
#include "export/OutputFile.h"

#include <iostream>

int main(int argc, char** argv) {
    corvane::InstallOutputSignalHandling();
    return corvane::RunCli(argc, argv, std::cout, std::cerr);
}
