#include "message_boxes.h"

#include <QApplication>
#include <QMessageBox>

namespace app {

QString displayText(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

namespace {

// Owned by the active window (or the application when there is none) so that the box
// stays in front of whatever the user is looking at.
QWidget* ownerFor(QWidget* parent) {
    if (parent)
        return parent->window();
    return QApplication::activeWindow();
}

bool ask(QWidget* parent, const QString& text, const QString& title,
         QMessageBox::StandardButton defaultButton) {
    QMessageBox box(QMessageBox::Question, title, displayText(text),
                    QMessageBox::Yes | QMessageBox::No, ownerFor(parent));
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

void informationBox(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Information, title, displayText(text), QMessageBox::Ok,
                    ownerFor(parent));
    box.exec();
}

bool question(QWidget* parent, const QString& text, const QString& title) {
    return ask(parent, text, title, QMessageBox::Yes);
}

bool questionDefaultNo(QWidget* parent, const QString& text, const QString& title) {
    return ask(parent, text, title, QMessageBox::No);
}

void beep() { QApplication::beep(); }

} // namespace app
