// Entry point of the fax problem solver, shared by the main window and the error dialog.
#pragma once

class QWidget;

namespace app {

// Opens the fax problem solver modally over `parent`, at `topic` (-1: its first page).
void openProblemSolver(QWidget* parent, int topic = -1);

} // namespace app
