#include "delete_for_conditions.h"

#include "cleanup_boxes.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace maintenance {

TDeleteForConditions::TDeleteForConditions(QWidget* parent) : QDialog(parent) {
    setObjectName("TDeleteForConditions");
    setWindowTitle(tr("Delete Faxes Where...."));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    const auto pair = [&](int row, const char* radioName, const QString& caption, const char* editName,
                          QRadioButton*& radio, QLineEdit*& edit) {
        radio = new QRadioButton(caption, this);
        radio->setObjectName(radioName);
        edit = new QLineEdit(this);
        edit->setObjectName(editName);
        edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 36);
        grid->addWidget(radio, row, 0);
        grid->addWidget(edit, row, 1);
        // Typing into a field chooses it.
        connect(edit, &QLineEdit::textEdited, radio, [radio] { radio->setChecked(true); });
    };
    pair(0, "FromRadio", tr("Fax is FROM:"), "FaxFROM", FromRadio, FaxFROM);
    pair(1, "RecipientRadio", tr("RECIPIENT is:"), "FaxRECIPIENT", RecipientRadio, FaxRECIPIENT);
    pair(2, "PhoneRadio", tr("FAX # is:"), "FaxPHONE", PhoneRadio, FaxPHONE);
    layout->addLayout(grid);

    ExactMatch = new QCheckBox(tr("Text must match exactly"), this);
    ExactMatch->setObjectName("ExactMatch");
    ExactMatch->setChecked(true);
    auto* note = new QLabel(tr("(uncheck to allow  partial matches)"), this);
    auto* exactRow = new QHBoxLayout;
    exactRow->addWidget(ExactMatch);
    exactRow->addWidget(note);
    exactRow->addStretch();
    layout->addLayout(exactRow);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    OkButton = new QPushButton(tr("Ok"), this);
    OkButton->setObjectName("OkButton");
    OkButton->setDefault(true);
    CancelButton = new QPushButton(tr("Cancel"), this);
    CancelButton->setObjectName("CancelButton");
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons);

    connect(OkButton, &QPushButton::clicked, this, &TDeleteForConditions::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    setupFor(CleanupPage::Outgoing, {}, {}, {});
}

void TDeleteForConditions::setupFor(CleanupPage page, const QString& recipient, const QString& phone,
                                    const QString& from) {
    const bool outgoing = page == CleanupPage::Outgoing;
    FromRadio->setEnabled(!outgoing);
    FaxFROM->setEnabled(!outgoing);
    RecipientRadio->setEnabled(outgoing);
    FaxRECIPIENT->setEnabled(outgoing);
    PhoneRadio->setEnabled(outgoing);
    FaxPHONE->setEnabled(outgoing);
    if (outgoing) {
        RecipientRadio->setChecked(true);
        FaxRECIPIENT->setText(recipient);
        FaxPHONE->setText(phone);
    } else {
        FromRadio->setChecked(true);
        FaxFROM->setText(from.trimmed());
    }
}

MatchField TDeleteForConditions::selectedField() const {
    if (FromRadio->isChecked())
        return MatchField::From;
    if (PhoneRadio->isChecked())
        return MatchField::Phone;
    return MatchField::Recipient;
}

QString TDeleteForConditions::selectedText() const {
    switch (selectedField()) {
    case MatchField::From: return FaxFROM->text();
    case MatchField::Recipient: return FaxRECIPIENT->text();
    case MatchField::Phone: return FaxPHONE->text();
    }
    return {};
}

bool TDeleteForConditions::exactMatch() const { return ExactMatch->isChecked(); }

std::string TDeleteForConditions::condition() const {
    return matchCondition(selectedField(), selectedText().toStdString(), exactMatch());
}

void TDeleteForConditions::OkButtonClick() {
    if (selectedText().trimmed().isEmpty()) {
        informationBox(this, tr("Please enter a value"));
        return;
    }
    if (question(this, tr("Are you sure you wish to delete all faxes matching this criteria?"),
                 tr("VERIFY DELETE")))
        accept();
}

} // namespace maintenance
