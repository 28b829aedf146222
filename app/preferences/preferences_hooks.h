// What the preferences wizard and quick setup ask of the windows around them. The main
// window fills these in; a diagnostics hook left empty disables its button.
#pragma once

#include "settings/settings.h"

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace preferences {

// The fax class check's recommendation: 0 Class 1, 1 Class 2, 2 Class 2.0, -1 none.
struct FaxClassAdvice {
    int classIndex = -1;
    QString name; // "Class 1", "Class 2", "Class 2.0"
};

struct DiagnosticsHooks {
    // Scans Com1..Com6 and returns the first port number with a modem, or -1. `shown` is
    // the record as the window currently shows it (ports, reset string), not yet saved.
    std::function<int(QWidget* parent, const settings::Settings& shown)> findModem;
    // Checks which fax classes the modem on `portNumber` supports.
    std::function<FaxClassAdvice(QWidget* parent, const settings::Settings& shown, int portNumber)> checkFaxClass;
    // The init string assistant: returns the string to use (may be `current` unchanged).
    std::function<QString(QWidget* parent, const QString& current, bool sending)> initStringHelper;
    std::function<void(QWidget* parent)> problemSolver;
};

struct PreferencesServices {
    DiagnosticsHooks diagnostics;
    std::function<void(int context)> help;
    // System printer names; unset: the CUPS queues.
    std::function<QStringList()> printerNames;
    // File chooser for the arrival sound; unset: the system file dialog. Returns "" when
    // cancelled.
    std::function<QString(QWidget* parent, const QString& startDir, const QString& current)> chooseWaveFile;
    // Plays a sound file; unset: Qt Multimedia.
    std::function<void(const QString& file)> playSound;
    // Where the sound file dialog starts.
    QString programDir;
};

} // namespace preferences
