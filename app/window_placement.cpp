#include "window_placement.h"

#include "centring.h"
#include "settings/ini_file.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace app {

namespace {

constexpr int kBaseDpi = 96;

int logicalDpiOf(const QWidget* window) {
    QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? static_cast<int>(std::lround(screen->logicalDotsPerInch())) : kBaseDpi;
}

QRect screenFor(const QRect& rect, const QWidget* window) {
    QScreen* screen = QGuiApplication::screenAt(rect.center());
    if (!screen)
        screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

// One axis of keepOnScreen: [low, high) against [screenLow, screenHigh).
void fitAxis(int& low, int& high, int screenLow, int screenHigh) {
    if (high > screenHigh) {
        low -= high - screenHigh;
        high = screenHigh;
    }
    if (low < screenLow) {
        const int shift = screenLow + 1 - low;
        low += shift;
        high += shift;
    }
    if (high > screenHigh)
        high = screenHigh;
}

} // namespace

QString placementSection(const QString& className, int logicalDpi) {
    QString name = className + QLatin1String("_Placement");
    if (logicalDpi > kBaseDpi)
        name += QString::number(logicalDpi);
    return name;
}

QString placementClassName(const QWidget* window) {
    QString name = QString::fromLatin1(window->metaObject()->className());
    const int colons = name.lastIndexOf(QLatin1String("::"));
    return colons < 0 ? name : name.mid(colons + 2);
}

QRect keepOnScreen(const QRect& rect, const QRect& screen) {
    // Exclusive right/bottom edges, as they are stored.
    int left = rect.x(), right = rect.x() + rect.width();
    int top = rect.y(), bottom = rect.y() + rect.height();
    fitAxis(left, right, screen.x(), screen.x() + screen.width());
    fitAxis(top, bottom, screen.y(), screen.y() + screen.height());
    return QRect(left, top, right - left, bottom - top);
}

void savePlacement(const QWidget* window, const std::filesystem::path& iniFile) {
    const std::string section =
        placementSection(placementClassName(window), logicalDpiOf(window)).toStdString();
    const QRect normal = window->isMaximized() || window->isMinimized() ? window->normalGeometry()
                                                                        : window->geometry();
    auto file = settings::IniFile::load(iniFile);
    file.writeInteger(section, "Left", normal.x());
    file.writeInteger(section, "Top", normal.y());
    file.writeInteger(section, "Right", normal.x() + normal.width());
    file.writeInteger(section, "Bottom", normal.y() + normal.height());
    file.writeBool(section, "Maximized", window->isMaximized());
    file.save(iniFile);
}

void restorePlacement(QWidget* window, const std::filesystem::path& iniFile, QWidget* mainWindow) {
    const std::string section =
        placementSection(placementClassName(window), logicalDpiOf(window)).toStdString();
    const auto file = settings::IniFile::load(iniFile);
    if (file.readBool(section, "Maximized", window->isMaximized())) {
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
        return;
    }
    const int left = file.readInteger(section, "Left", 0);
    const int top = file.readInteger(section, "Top", 0);
    const int right = file.readInteger(section, "Right", 0);
    const int bottom = file.readInteger(section, "Bottom", 0);
    QRect rect;
    if (bottom == 0) {
        centreWindow(window, mainWindow);
        rect = window->geometry();
    } else {
        rect = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    }
    // A corrupt entry (right before left) falls back to the current size.
    if (rect.width() <= 0 || rect.height() <= 0)
        rect.setSize(window->size());
    window->setGeometry(keepOnScreen(rect, screenFor(rect, window)));
}

} // namespace app
