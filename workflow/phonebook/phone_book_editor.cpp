#include "workflow/phonebook/phone_book_editor.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cctype>

namespace phonebook {

TPhoneBookEditor::TPhoneBookEditor(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TPhoneBookEditor"));
    setWindowTitle(tr("Phone Book Editor"));

    Name = new QLineEdit(this);
    Name->setObjectName(QStringLiteral("Name"));
    Name->setMaxLength(kNameWidth);
    Name->setToolTip(tr("Type the recipient's name here"));
    Number = new QLineEdit(this);
    Number->setObjectName(QStringLiteral("Number"));
    Number->setMaxLength(kNumberWidth);
    Number->setToolTip(tr("Type the fax number here"));
    // Wide enough for a full-length name.
    Name->setMinimumWidth(Name->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 22);

    auto* form = new QFormLayout;
    form->addRow(tr("&Name"), Name);
    form->addRow(tr("&Fax Number"), Number);

    auto* buttons = new QDialogButtonBox(this);
    OKButton = buttons->addButton(tr("&Accept"), QDialogButtonBox::AcceptRole);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    Cancelbutton = buttons->addButton(tr("Cance&l"), QDialogButtonBox::RejectRole);
    Cancelbutton->setObjectName(QStringLiteral("Cancelbutton"));
    Helpbutton = buttons->addButton(tr("&Help"), QDialogButtonBox::HelpRole);
    Helpbutton->setObjectName(QStringLiteral("Helpbutton"));
    Helpbutton->hide();
    connect(buttons, &QDialogButtonBox::accepted, this, &TPhoneBookEditor::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TPhoneBookEditor::reject);
    connect(Helpbutton, &QPushButton::clicked, this, [this] {
        if (showHelp_)
            showHelp_(kHelpContext);
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setSizeGripEnabled(false);
}

void TPhoneBookEditor::setEntry(const PhoneEntry& entry) {
    Name->setText(QString::fromStdString(entry.name));
    Number->setText(QString::fromStdString(entry.number));
}

PhoneEntry TPhoneBookEditor::entry() const {
    return {trimBlanks(Name->text().toStdString()), trimBlanks(Number->text().toStdString())};
}

void TPhoneBookEditor::setHelpHandler(std::function<void(int)> showHelp) {
    showHelp_ = std::move(showHelp);
    Helpbutton->setVisible(bool(showHelp_));
}

void TPhoneBookEditor::accept() {
    const PhoneEntry e = entry();
    std::string problem = fieldProblem(e.name, kNameWidth, "name");
    QLineEdit* culprit = Name;
    if (problem.empty()) {
        problem = fieldProblem(e.number, kNumberWidth, "fax number");
        culprit = Number;
    }
    if (!problem.empty()) {
        // Stored as it is, such a character would come back as '?'.
        std::string text = problem;
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        QMessageBox::information(this, tr("Information"), QString::fromStdString(text + "."));
        culprit->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace phonebook
