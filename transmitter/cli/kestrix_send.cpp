// kestrix-send: switch X10 modules from scripts and timers. See --help.
#include "command_line.h"
#include "send_program.h"

#include <iostream>

int main(int argc, char** argv) {
    using namespace kestrix;
    cli::options options;
    try {
        options = cli::parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const cli::usage_error& e) {
        std::cerr << "kestrix-send: " << e.what() << "\nTry 'kestrix-send --help'.\n";
        return 2;
    }
    if (options.help) {
        std::cout << cli::help_text;
        return 0;
    }
    return cli::send(options, std::cout, std::cerr);
}
