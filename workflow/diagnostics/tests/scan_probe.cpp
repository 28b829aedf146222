// Tests one device the way the port scan does and prints "state|detail": the scan tests
// run it as another user to see what a user without access to a device is told.
#include "workflow/diagnostics/port_scan.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const diagnostics::PortResult r = diagnostics::testPort({argv[1], argv[1], 0}, "", {});
    std::printf("%s|%s\n", std::string(diagnostics::to_string(r.state)).c_str(), r.detail.c_str());
    return 0;
}
