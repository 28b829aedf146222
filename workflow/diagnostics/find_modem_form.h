// TFindModemForm: tries each port in turn, showing what it found per port, and suggests
// the first one with a modem.
#pragma once

#include "workflow/diagnostics/port_scan.h"

#include <QDialog>

#include <filesystem>
#include <vector>

class QLabel;
class QPushButton;

namespace diagnostics {

class TFindModemForm : public QDialog {
    Q_OBJECT
public:
    TFindModemForm(std::vector<ScanCandidate> candidates, std::string resetString, QWidget* parent = nullptr);

    // Where a found device may be remembered (in [Ports] of PVN.INI); without it the offer
    // is not made.
    void setRemember(settings::Settings* s, std::filesystem::path programDir, int portForDevice);

    int result() const { return result_; }
    bool finished() const { return finished_; }
    const std::vector<PortResult>& results() const { return results_; }
    QString resultText() const;
    QString portText(std::size_t index) const;

signals:
    void scanFinished();

protected:
    void showEvent(QShowEvent* e) override;
    void reject() override;

private:
    void runScan();
    void useFoundDevice();

    std::vector<ScanCandidate> candidates_;
    std::string resetString_;
    std::vector<PortResult> results_;
    int result_ = -1;
    bool started_ = false;
    bool finished_ = false;
    settings::Settings* settings_ = nullptr;
    std::filesystem::path programDir_;
    int portForDevice_ = 1;
    std::string foundDevice_;

    std::vector<QLabel*> portLabels_;
    QLabel* Label7 = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* UseDeviceButton = nullptr;
};

} // namespace diagnostics
