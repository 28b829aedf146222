#include "workflow/viewer/pre_print_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace workflow::viewer {

namespace {
constexpr int kMaxPageField = 1000;
}

TPrePrintForm::TPrePrintForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Print"));
    auto* form = new QFormLayout;
    FromPage = new QSpinBox(this);
    ToPage = new QSpinBox(this);
    for (QSpinBox* s : {FromPage, ToPage}) {
        s->setRange(1, kMaxPageField);
        s->setValue(1);
    }
    form->addRow(QStringLiteral("From Page:"), FromPage);
    form->addRow(QStringLiteral("To Page:"), ToPage);
    PrintHeader = new QCheckBox(QStringLiteral("Print Header"), this);
    PrintFooter = new QCheckBox(QStringLiteral("Print Footer"), this);
    MultiPage = new QCheckBox(QStringLiteral("Print 4 faxes to a page"), this);
    PrintHeader->setChecked(true);
    PrintFooter->setChecked(true);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TPrePrintForm::OkButtonClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(PrintHeader);
    layout->addWidget(PrintFooter);
    layout->addWidget(MultiPage);
    layout->addWidget(buttons);
}

void TPrePrintForm::OkButtonClick() {
    if (ToPage->isEnabled() && ToPage->value() < FromPage->value()) {
        QApplication::beep();
        return;
    }
    accept();
}

} // namespace workflow::viewer
