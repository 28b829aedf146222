// TQuickSetupForm: the one-page setup shown at the first start — port, name, own fax
// number and the modem-model switch.
#pragma once

#include "preferences_hooks.h"

#include <QDialog>

#include <filesystem>
#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace preferences {

class TQuickSetupForm : public QDialog {
    Q_OBJECT
public:
    explicit TQuickSetupForm(DiagnosticsHooks hooks, QWidget* parent = nullptr);

    void loadFrom(const settings::Settings& s);
    // `base` with the port, name, fax number and modem-model switch shown.
    settings::Settings storeInto(settings::Settings base) const;

    void FindModemButtonClick();

private:
    DiagnosticsHooks hooks_;
    settings::Settings shown_;

    QComboBox* ComPort = nullptr;
    QLineEdit* Name = nullptr;
    QLineEdit* FaxNumber = nullptr;
    QCheckBox* chkSM56 = nullptr;
    QPushButton* FindModemButton = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;
};

// Loads PVN.INI into `record`, shows quick setup, and on Ok stores and saves what it
// shows. True on Ok; on Cancel nothing is stored, so the next start is a first run again.
bool runQuickSetup(QWidget* parent, settings::Settings& record, const std::filesystem::path& programDir,
                   const DiagnosticsHooks& hooks, const std::function<void(QWidget*)>& centre = {});

} // namespace preferences
