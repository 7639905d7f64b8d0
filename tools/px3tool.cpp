// px3tool: recordings from the command line, for operators and scripts.
#include "support/process_facts.h"
#include "veltro_version.h"

#include <cstring>
#include <iostream>
#include <string>

namespace {

void usage(std::ostream& out) {
    out << "usage: px3tool COMMAND [ARGS]\n"
           "\n"
           "Commands:\n"
           "  --help       this text\n"
           "  --version    the program version\n";
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        usage(std::cerr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        usage(std::cout);
        return 0;
    }
    if (command == "--version") {
        std::cout << "px3tool " << veltro::kVersionText << '\n';
        return 0;
    }
    std::cerr << "px3tool: unknown command '" << command << "'\n";
    usage(std::cerr);
    return 2;
}
