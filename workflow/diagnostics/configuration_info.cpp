#include "workflow/diagnostics/configuration_info.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace diagnostics {

TConfigurationInfo::TConfigurationInfo(QStringList lines, std::filesystem::path saveDir, QWidget* parent)
    : QDialog(parent), lines_(std::move(lines)), saveDir_(std::move(saveDir)) {
    setObjectName(QStringLiteral("TConfigurationInfo"));
    setWindowTitle(tr("Configuration Information"));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(tr("When you write to technical support, please copy this information into your "
                               "message: it tells us about your computer, your ports and your modem."),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Memo1->setTabStopDistance(Memo1->fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 14);
    Memo1->setPlainText(lines_.join(QLatin1Char('\n')));
    layout->addWidget(Memo1, 1);
    auto* buttons = new QHBoxLayout;
    auto* copy = new QPushButton(tr("Copy to Clipboard"), this);
    auto* save = new QPushButton(tr("Save As..."), this);
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    buttons->addWidget(copy);
    buttons->addWidget(save);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(copy, &QPushButton::clicked, this, &TConfigurationInfo::copyToClipboard);
    connect(save, &QPushButton::clicked, this, &TConfigurationInfo::saveAs);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    resize(Memo1->fontMetrics().averageCharWidth() * 110, Memo1->fontMetrics().height() * 36);
}

QString TConfigurationInfo::reportText() const { return lines_.join(QLatin1Char('\n')) + QLatin1Char('\n'); }

void TConfigurationInfo::copyToClipboard() {
    QApplication::clipboard()->setText(reportText());
    QMessageBox::information(this, tr("Configuration Information"), tr("Information copied to the clipboard"));
}

bool TConfigurationInfo::saveTo(const QString& file) const {
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    out.write(reportText().toUtf8());
    return out.commit();
}

void TConfigurationInfo::saveAs() {
    QFileDialog dialog(this, tr("Save As"), QString::fromStdString(saveDir_.string()), tr("Text files (*.txt *.TXT)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    if (!saveTo(dialog.selectedFiles().first()))
        QMessageBox::warning(this, tr("Configuration Information"),
                             tr("The file could not be written:\n%1").arg(dialog.selectedFiles().first()));
}

} // namespace diagnostics
