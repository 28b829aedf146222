// Entry point of the fax problem solver, shared by the main window and the error dialog.
#pragma once

class QWidget;

namespace app {

// Opens the fax problem solver at its start page, modally over `parent`.
void openProblemSolver(QWidget* parent);

} // namespace app
