#include "centring.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace app {

QRect centredRect(QSize size, const QRect& mainRect, bool overMain, const QRect& screen) {
    const QRect around = overMain ? mainRect : screen;
    const int left = around.left() + (around.width() - size.width()) / 2;
    const int top = around.top() + (around.height() - size.height()) / 2;
    return QRect(QPoint(left, top), size);
}

void centreWindow(QWidget* window, QWidget* mainWindow) {
    if (!window)
        return;
    if (window->windowFlags() & Qt::WindowMaximizeButtonHint)
        window->setWindowFlag(Qt::WindowSystemMenuHint, true);

    const bool overMain =
        mainWindow && mainWindow != window && !mainWindow->isMaximized() && mainWindow->isVisible();
    QScreen* screen = mainWindow ? mainWindow->screen() : window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect mainRect = overMain ? mainWindow->frameGeometry() : QRect();
    const QRect target = centredRect(window->frameGeometry().size(), mainRect, overMain, screenRect);
    window->move(target.topLeft());
}

} // namespace app
