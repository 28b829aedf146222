#include "problem_solver.h"

#include "workflow/diagnostics/diagnostics.h"

namespace app {

void openProblemSolver(QWidget* parent, int topic) { diagnostics::openProblemSolver(parent, topic); }

} // namespace app
