// The modem diagnostics as plain functions: the main window, the error dialog, the send
// dialog, the receive workflow and the preferences wizard call these.
#pragma once

#include "settings/settings.h"
#include "workflow/diagnostics/class_check.h"

#include <QString>

#include <filesystem>
#include <string>
#include <vector>

class QWidget;

namespace diagnostics {

// The port scan window. Scans the six Com ports and the other serial devices
// (`virtualDevices`: the virtual line's modems). A Com port [Ports] names no device for
// is tried on `embeddedLineDevice` when one is given, as the workflows would use it. A
// modem found on a device no Com port leads to may be written into [Ports] of PVN.INI in
// `programDir` (and `s`). Returns the Com port (1..6) with a modem, or -1.
int findModem(QWidget* parent, settings::Settings& s, const std::filesystem::path& programDir,
              const std::vector<std::string>& virtualDevices = {}, const std::string& embeddedLineDevice = {});

// The class check window on Com `portNumber` (its device chosen as the workflows do,
// `virtualDevice` standing in when [Ports] names none).
ClassCheckResult checkFaxClass(QWidget* parent, const settings::Settings& s, int portNumber,
                               const std::string& virtualDevice = {});

// The init string helper: the new string (empty for "Leave it Blank"; `current` when
// cancelled).
std::string initStringHelper(QWidget* parent, const std::string& current, bool sending);

// The problem solver at `topic` (-1: the first node). The analysis reads settings::current().
void openProblemSolver(QWidget* parent, int topic = -1);

// The configuration report window. The modem answers come from Com `portNumber`
// (`virtualDevice` standing in when [Ports] names none); a port that does not open is
// reported as such. "Save As..." starts in `saveDir` (the program directory).
void openConfigurationReport(QWidget* parent, const settings::Settings& s, int portNumber,
                             const std::string& virtualDevice = {}, const std::filesystem::path& saveDir = {});

// The call report window for a ".call" file (or a dispatch log dump).
void openCallReport(QWidget* parent, const QString& path);

} // namespace diagnostics
