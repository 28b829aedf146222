// parvane-vline: the virtual fax line.
#include "config.h"
#include "vline_app.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    try {
        vline::CommandLine cl = vline::parseCommandLine(argc, argv);
        if (cl.help) {
            std::cout << vline::helpText();
            return 0;
        }
        if (cl.version) {
            std::cout << "parvane-vline 0.1.0\n";
            return 0;
        }
        return vline::runLine(cl.config, std::cout, std::cerr);
    } catch (const vline::ConfigError& e) {
        std::cerr << "parvane-vline: " << e.what() << '\n';
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "parvane-vline: " << e.what() << '\n';
        return 3;
    }
}
