#include "workflow/diagnostics/diagnostics.h"

#include "workflow/diagnostics/call_report_window.h"
#include "workflow/diagnostics/check_fax_class_form.h"
#include "workflow/diagnostics/configuration_info.h"
#include "workflow/diagnostics/configuration_report.h"
#include "workflow/diagnostics/find_modem_form.h"
#include "workflow/diagnostics/init_string_helper_form.h"
#include "workflow/diagnostics/problem_solver_dialog.h"

#include <QApplication>
#include <QGuiApplication>

namespace diagnostics {

namespace {
QWidget* owner(QWidget* parent) { return parent ? parent->window() : QApplication::activeWindow(); }
} // namespace

int findModem(QWidget* parent, settings::Settings& s, const std::filesystem::path& programDir,
              const std::vector<std::string>& virtualDevices, const std::string& embeddedLineDevice) {
    TFindModemForm form(scanCandidates(s, virtualDevices, embeddedLineDevice), s.resetting.string, owner(parent));
    form.setRemember(&s, programDir, s.configuredPortNumber());
    form.exec();
    return form.result();
}

ClassCheckResult checkFaxClass(QWidget* parent, const settings::Settings& s, int portNumber,
                               const std::string& virtualDevice) {
    faxengine::TVelkComPort port;
    workflow::send::choosePort(port, portNumber, s, virtualDevice);
    faxengine::TVelkSendFax sender;
    sender.SetComPort(&port);
    TCheckFaxClassForm form(port, sender, portNumber, s.resetting.string, owner(parent));
    form.exec();
    return form.result();
}

std::string initStringHelper(QWidget* parent, const std::string& current, bool sending) {
    TModemInitStringHelperForm form(current, sending, owner(parent));
    return form.resultFor(form.exec());
}

void openProblemSolver(QWidget* parent, int topic) {
    TFaxProblemSolverDialog dialog(topic, [] { return settings::current(); }, owner(parent));
    dialog.exec();
}

void openConfigurationReport(QWidget* parent, const settings::Settings& s, int portNumber,
                             const std::string& virtualDevice, const std::filesystem::path& saveDir) {
    ModemIdentity modem;
    {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        faxengine::TVelkComPort port;
        workflow::send::choosePort(port, portNumber, s, virtualDevice);
        modem.device = port.DevicePath();
        const auto opened = workflow::send::openPort(port, portNumber);
        if (opened.ok) {
            modem = queryModemIdentity(port);
            try {
                port.SetOpen(false);
            } catch (const std::exception&) {
                // The report goes on without a clean close.
            }
        } else {
            modem.problem = opened.error;
        }
        QGuiApplication::restoreOverrideCursor();
    }
    TConfigurationInfo window(configurationReportLines(s, modem), saveDir, owner(parent));
    window.exec();
}

void openCallReport(QWidget* parent, const QString& path) {
    TCallReportForm form(path, faxengine::readCallReportFile(path.toStdString()), owner(parent));
    form.exec();
}

} // namespace diagnostics
