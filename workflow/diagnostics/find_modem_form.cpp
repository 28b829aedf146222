#include "workflow/diagnostics/find_modem_form.h"

#include <QApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace diagnostics {

TFindModemForm::TFindModemForm(std::vector<ScanCandidate> candidates, std::string resetString, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      candidates_(std::move(candidates)), resetString_(std::move(resetString)) {
    setObjectName(QStringLiteral("TFindModemForm"));
    setWindowTitle(tr("Finding Modem...Please wait"));
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(tr("Communications Ports:"), this);
    auto* boxLayout = new QVBoxLayout(box);
    for (std::size_t i = 0; i < candidates_.size(); ++i) {
        auto* label = new QLabel(QString::fromStdString(candidates_[i].name) + QStringLiteral(":"), box);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (candidates_[i].comNumber > 0 && candidates_[i].device != "/dev/ttyS" + std::to_string(candidates_[i].comNumber - 1))
            label->setToolTip(QString::fromStdString(candidates_[i].device));
        boxLayout->addWidget(label);
        portLabels_.push_back(label);
    }
    box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    layout->addWidget(box);
    Label7 = new QLabel(tr("Testing Communications ports...please wait."), this);
    Label7->setObjectName(QStringLiteral("Label7"));
    Label7->setWordWrap(true);
    Label7->setMinimumWidth(fontMetrics().averageCharWidth() * 70);
    layout->addWidget(Label7);
    auto* buttons = new QHBoxLayout;
    UseDeviceButton = new QPushButton(this);
    UseDeviceButton->setObjectName(QStringLiteral("UseDeviceButton"));
    UseDeviceButton->hide();
    OkButton = new QPushButton(tr("Ok"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->hide();
    buttons->addWidget(UseDeviceButton);
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    layout->addLayout(buttons);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(UseDeviceButton, &QPushButton::clicked, this, &TFindModemForm::useFoundDevice);
    // Grows with the texts the scan writes into it.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

void TFindModemForm::setRemember(settings::Settings* s, std::filesystem::path programDir, int portForDevice) {
    settings_ = s;
    programDir_ = std::move(programDir);
    portForDevice_ = portForDevice;
}

void TFindModemForm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!started_) {
        started_ = true;
        QTimer::singleShot(0, this, &TFindModemForm::runScan);
    }
}

void TFindModemForm::reject() {
    // No way out while the ports are being tried.
    if (finished_)
        QDialog::reject();
}

void TFindModemForm::runScan() {
    OkButton->hide();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    ScanHooks hooks;
    hooks.pump = [] { QApplication::processEvents(); };
    hooks.testing = [this](std::size_t i) {
        portLabels_[i]->setText(QString::fromStdString(candidates_[i].name) + QStringLiteral(": TESTING"));
        QApplication::processEvents();
    };
    hooks.done = [this](std::size_t i, const PortResult& r) {
        // On Linux a Com port is a name for a device: say which one was tried.
        const std::string device = r.comNumber > 0 ? "   (" + r.device + ")" : "";
        portLabels_[i]->setText(QString::fromStdString(r.name + ": " + r.detail + device));
    };
    results_ = scanPorts(candidates_, resetString_, hooks);
    QGuiApplication::restoreOverrideCursor();
    result_ = firstModemPort(results_);
    Label7->setText(resultText());
    if (result_ < 0 && settings_)
        for (const auto& r : results_)
            if (r.state == PortState::Modem) {
                foundDevice_ = r.device;
                UseDeviceButton->setText(tr("Use %1 as Com %2").arg(QString::fromStdString(r.device)).arg(portForDevice_));
                UseDeviceButton->show();
                break;
            }
    OkButton->show();
    adjustSize();
    setWindowTitle(tr("Find Modem"));
    finished_ = true;
    QApplication::beep();
    emit scanFinished();
}

void TFindModemForm::useFoundDevice() {
    if (!settings_ || foundDevice_.empty())
        return;
    if (rememberPortDevice(*settings_, programDir_, portForDevice_, foundDevice_)) {
        result_ = portForDevice_;
        Label7->setText(tr("Com %1 now uses %2 (written to the [Ports] section of PVN.INI).")
                            .arg(portForDevice_)
                            .arg(QString::fromStdString(foundDevice_)));
    } else {
        Label7->setText(tr("The settings file could not be written, so Com %1 still uses its old device.")
                            .arg(portForDevice_));
    }
    UseDeviceButton->hide();
}

QString TFindModemForm::resultText() const { return QString::fromStdString(scanSummary(results_)); }

QString TFindModemForm::portText(std::size_t index) const {
    return index < portLabels_.size() ? portLabels_[index]->text() : QString();
}

} // namespace diagnostics
