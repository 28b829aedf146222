// Centring windows: dialogs over the main window, the main window on its screen.
#pragma once

#include <QRect>

class QWidget;

namespace app {

// Where a window of `size` goes: over `mainRect` (left = main left + half the width
// difference, same for top), or in the middle of `screen` when it is the main window
// itself or the main window is maximised.
QRect centredRect(QSize size, const QRect& mainRect, bool overMain, const QRect& screen);

// Moves `window` as above. `mainWindow` may be null (centres on the screen). A window
// with a maximise box also gets a system menu.
void centreWindow(QWidget* window, QWidget* mainWindow);

} // namespace app
