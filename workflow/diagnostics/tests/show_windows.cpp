// Shows one diagnostics window for a look or a screenshot (not a test):
//   diagnostics_show solver|scan|class|report|call [DEVICE|FILE]
#include "workflow/diagnostics/call_report_window.h"
#include "workflow/diagnostics/check_fax_class_form.h"
#include "workflow/diagnostics/configuration_info.h"
#include "workflow/diagnostics/configuration_report.h"
#include "workflow/diagnostics/find_modem_form.h"
#include "workflow/diagnostics/init_string_helper_form.h"
#include "workflow/diagnostics/problem_solver_dialog.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("solver");
    const std::string arg = argc > 2 ? argv[2] : "";
    settings::Settings s;
    s.modem.comPort = 0;
    s.user.fax = "555-1212";
    s.modem.maximumBps = 14400;
    if (!arg.empty())
        s.portDevices[1] = arg;
    std::unique_ptr<QDialog> w;
    faxengine::TVelkComPort port;
    faxengine::TVelkSendFax sender;
    if (what == QLatin1String("solver")) {
        w = std::make_unique<diagnostics::TFaxProblemSolverDialog>(19, [s] { return s; });
    } else if (what == QLatin1String("scan")) {
        std::vector<diagnostics::ScanCandidate> c;
        for (int n = 1; n <= 6; ++n)
            c.push_back({"Com " + std::to_string(n), n == 2 ? arg : "/dev/ttyS" + std::to_string(n + 9), n});
        w = std::make_unique<diagnostics::TFindModemForm>(c, "");
    } else if (what == QLatin1String("class")) {
        port.SetPromptForPort(false);
        port.SetAutoOpen(false);
        port.SetDevicePath(arg);
        sender.SetComPort(&port);
        w = std::make_unique<diagnostics::TCheckFaxClassForm>(port, sender, 1, "");
    } else if (what == QLatin1String("helper")) {
        w = std::make_unique<diagnostics::TModemInitStringHelperForm>("AT&H3&I2&R2S7=120S36=8", true);
    } else if (what == QLatin1String("report")) {
        diagnostics::ModemIdentity modem;
        port.SetPromptForPort(false);
        port.SetAutoOpen(false);
        port.SetDevicePath(arg);
        try {
            port.SetOpen(true);
            modem = diagnostics::queryModemIdentity(port);
            port.SetOpen(false);
        } catch (const std::exception& e) {
            modem.problem = e.what();
        }
        w = std::make_unique<diagnostics::TConfigurationInfo>(diagnostics::configurationReportLines(s, modem), "");
    } else {
        w = std::make_unique<diagnostics::TCallReportForm>(QString::fromStdString(arg),
                                                           faxengine::readCallReportFile(arg));
    }
    w->show();
    return app.exec();
}
