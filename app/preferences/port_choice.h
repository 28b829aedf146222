// The communications port list shared by the wizard and quick setup, and the "Find Modem
// Port" behaviour both offer.
#pragma once

#include "preferences_hooks.h"

class QComboBox;

namespace preferences {

// Com1..Com6, and further ports when the record or its [Ports] section names them, each
// with the device it leads to. The item index is the stored port index.
void fillPortList(QComboBox* list, const settings::Settings& s);
// Selects the stored port; -1 (never set up) and unknown indexes select Com1.
void selectStoredPort(QComboBox* list, int comPort);

// Runs the modem finder; when it found a modem on another port than the one selected,
// asks whether to switch and does so on Yes. Returns true when the selection changed.
bool findModemPort(QWidget* parent, QComboBox* list, const DiagnosticsHooks& hooks,
                   const settings::Settings& shown);

// Question with Yes as the default button; true on Yes.
bool askYesNo(QWidget* parent, const QString& text, const QString& title);

} // namespace preferences
