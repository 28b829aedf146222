// Window placement memory: a window's normal rectangle and maximised state kept in
// PVN.INI, in a section named after the window's class.
#pragma once

#include <QRect>
#include <QString>
#include <filesystem>

class QWidget;

namespace app {

// "<class>_Placement", with the logical dots per inch appended above 96.
QString placementSection(const QString& className, int logicalDpi);

// The class name a window's placement is filed under (namespace stripped).
QString placementClassName(const QWidget* window);

// Keeps a saved rectangle on `screen`: a right or bottom edge past the screen moves the
// rectangle back; a left or top edge that is then before the screen moves it forward to
// one pixel inside. A rectangle larger than the screen is cut to it, so that the whole
// window stays reachable.
QRect keepOnScreen(const QRect& rect, const QRect& screen);

// Writes Left, Top, Right, Bottom (right and bottom exclusive) and Maximized.
void savePlacement(const QWidget* window, const std::filesystem::path& iniFile);
// Reads them back and applies them (see keepOnScreen); a section never saved centres the
// window over `mainWindow` (or on the screen) instead.
void restorePlacement(QWidget* window, const std::filesystem::path& iniFile,
                      QWidget* mainWindow = nullptr);

} // namespace app
