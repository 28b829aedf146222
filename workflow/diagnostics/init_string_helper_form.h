// TModemInitStringHelperForm: composes a modem init string for a few common modem
// families, with a longer wait for the far end's answer when sending.
#pragma once

#include <QDialog>

#include <string>

class QButtonGroup;
class QCheckBox;
class QLabel;

namespace diagnostics {

class TModemInitStringHelperForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kBlankResult = -99;

    TModemInitStringHelperForm(const std::string& current, bool sending, QWidget* parent = nullptr);

    // The string for the way the window was closed (exec()'s result).
    std::string resultFor(int dialogResult) const;
    int modemType() const;
    void setModemType(int item);
    QCheckBox* longWaitBox() const { return CheckAT7; }
    QLabel* longWaitLabel() const { return CheckAT7Label; }

private:
    std::string current_;
    bool sending_;
    QButtonGroup* ModemType = nullptr;
    QCheckBox* CheckAT7 = nullptr;
    QLabel* CheckAT7Label = nullptr;
};

} // namespace diagnostics
