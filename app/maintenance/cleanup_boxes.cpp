#include "cleanup_boxes.h"

#include <QMessageBox>

namespace maintenance {
namespace {

QString shown(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

void informationBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), shown(text), QMessageBox::Ok, parent);
    box.exec();
}

bool question(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, shown(text), QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

} // namespace maintenance
