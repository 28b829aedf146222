#include "quick_setup_form.h"

#include "port_choice.h"
#include "faxengine/live_flags.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace preferences {

TQuickSetupForm::TQuickSetupForm(DiagnosticsHooks hooks, QWidget* parent)
    : QDialog(parent), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("TQuickSetupForm"));
    setWindowTitle(QStringLiteral("Quick Setup Form"));

    auto* intro = new QLabel(QStringLiteral("Welcome to Parvane. Please check these few settings before you start; "
                                            "everything else can be changed later under Preferences."),
                             this);
    intro->setWordWrap(true);

    ComPort = new QComboBox(this);
    ComPort->setObjectName(QStringLiteral("ComPort"));
    FindModemButton = new QPushButton(QStringLiteral("Find Modem Port"), this);
    FindModemButton->setObjectName(QStringLiteral("FindModemButton"));
    FindModemButton->setAutoDefault(false);
    FindModemButton->setEnabled(bool(hooks_.findModem));
    FindModemButton->setMinimumWidth(FindModemButton->sizeHint().width());
    Name = new QLineEdit(this);
    Name->setObjectName(QStringLiteral("Name"));
    Name->setMaxLength(35);
    FaxNumber = new QLineEdit(this);
    FaxNumber->setObjectName(QStringLiteral("FaxNumber"));
    FaxNumber->setMaxLength(20);
    chkSM56 = new QCheckBox(QStringLiteral("My modem needs the alternative serial technique (a few soft modems do)"), this);
    chkSM56->setObjectName(QStringLiteral("chkSM56"));
    // The serial layer reads this at once, before anything is saved.
    connect(chkSM56, &QCheckBox::toggled, this, [](bool on) { faxengine::setUseSm56Fix(on); });

    auto* portRow = new QHBoxLayout;
    portRow->addWidget(ComPort, 1);
    portRow->addWidget(FindModemButton);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Communications port:"), portRow);
    form->addRow(QStringLiteral("Your name:"), Name);
    form->addRow(QStringLiteral("Your fax number:"), FaxNumber);

    auto* portNote = new QLabel(QStringLiteral("A port that names no device in the [Ports] section of PVN.INI uses "
                                               "the built-in virtual fax line."),
                                this);
    portNote->setWordWrap(true);

    OkButton = new QPushButton(QStringLiteral("Ok"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cance&l"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addLayout(form);
    layout->addWidget(portNote);
    layout->addWidget(chkSM56);
    layout->addStretch();
    layout->addLayout(buttons);
    // Wrapped notes must not squeeze the port row below what its buttons need.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    setMinimumWidth(fontMetrics().averageCharWidth() * 72);

    connect(FindModemButton, &QPushButton::clicked, this, &TQuickSetupForm::FindModemButtonClick);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TQuickSetupForm::loadFrom(const settings::Settings& s) {
    shown_ = s;
    fillPortList(ComPort, s);
    selectStoredPort(ComPort, s.modem.comPort);
    Name->setText(QString::fromStdString(s.user.name));
    FaxNumber->setText(QString::fromStdString(s.user.fax));
    const QSignalBlocker quiet(chkSM56);
    chkSM56->setChecked(s.other.useMotorolaSm56Fix);
}

settings::Settings TQuickSetupForm::storeInto(settings::Settings s) const {
    s.modem.comPort = ComPort->currentData().toInt();
    s.user.name = Name->text().toStdString();
    s.user.fax = FaxNumber->text().toStdString();
    s.other.useMotorolaSm56Fix = chkSM56->isChecked();
    return s;
}

void TQuickSetupForm::FindModemButtonClick() { findModemPort(this, ComPort, hooks_, storeInto(shown_)); }

bool runQuickSetup(QWidget* parent, settings::Settings& record, const std::filesystem::path& programDir,
                   const DiagnosticsHooks& hooks, const std::function<void(QWidget*)>& centre) {
    settings::loadSettings(record, programDir);
    TQuickSetupForm form(hooks, parent);
    form.loadFrom(record);
    if (centre)
        centre(&form);
    if (form.exec() != QDialog::Accepted) {
        faxengine::setUseSm56Fix(record.other.useMotorolaSm56Fix);
        return false;
    }
    record = form.storeInto(record);
    try {
        settings::saveSettings(record, programDir);
    } catch (const std::exception& e) {
        QMessageBox::warning(parent, QStringLiteral("Quick Setup Form"),
                             QStringLiteral("The settings could not be saved:\n") + QString::fromLocal8Bit(e.what()));
    }
    return true;
}

} // namespace preferences
