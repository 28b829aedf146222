// The virtual fax line: simulated telephone network with fax modems on pseudo-terminals.
#include <cstdio>

int main() {
    std::puts("parvane-vline: not built yet");
    return 0;
}
