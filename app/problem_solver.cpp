#include "problem_solver.h"

namespace app {

// The problem solver window comes with the modem diagnostics; until then the button is
// there and does nothing.
void openProblemSolver(QWidget* /*parent*/) {}

} // namespace app
