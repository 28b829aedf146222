#include "workflow/compose/compose_dialogs.h"

#include "settings/settings.h"

#include <QApplication>
#include <QFontDialog>
#include <QMessageBox>

namespace workflow::compose {

bool askDefaultNo(QWidget* parent, const QString& text, const QString& title) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(QMessageBox::Question, title, shown, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void beep() { QApplication::beep(); }

richtext::DefaultFont defaultFont() {
    const settings::DefaultFontSettings& s = settings::current().defaultFont;
    richtext::DefaultFont f;
    f.name = QString::fromStdString(s.name);
    f.points = s.size;
    f.bold = s.bold;
    f.italic = s.italic;
    f.underline = s.underline;
    return f;
}

bool chooseDefaultFont(QWidget* parent, const std::filesystem::path& programDir) {
    settings::Settings& s = settings::current();
    settings::loadSettings(s, programDir);
    QFont preset(QString::fromStdString(s.defaultFont.name));
    if (s.defaultFont.size > 0)
        preset.setPointSize(s.defaultFont.size);
    preset.setBold(s.defaultFont.bold);
    preset.setItalic(s.defaultFont.italic);
    preset.setUnderline(s.defaultFont.underline);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, preset, parent, QObject::tr("Default Font"));
    if (!ok)
        return false;
    s.defaultFont.name = chosen.family().toStdString();
    s.defaultFont.size = chosen.pointSize() > 0 ? chosen.pointSize() : s.defaultFont.size;
    s.defaultFont.bold = chosen.bold();
    s.defaultFont.italic = chosen.italic();
    s.defaultFont.underline = chosen.underline();
    settings::saveSettings(s, programDir);
    return true;
}

} // namespace workflow::compose
