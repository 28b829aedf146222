// parvane-vline as a program: the line from a configuration, run in real time.
#pragma once

#include "config.h"

#include <filesystem>
#include <iosfwd>

namespace vline {

// The log directory when none is given: $XDG_STATE_HOME/parvane-vline or
// ~/.local/state/parvane-vline.
std::filesystem::path defaultLogDir();

// Runs the line until a signal (SIGINT, SIGTERM, SIGHUP), the end of standard input in
// child mode, or the first call's end with --once. Returns the exit status.
int runLine(const Config& cfg, std::ostream& out, std::ostream& err);

} // namespace vline
