#include "workflow/send/send_job.h"

#include "faxengine/call_report.h"
#include "faxlog/codepage.h"
#include "faxlog/dbe_table.h"
#include "faxlog/log_records.h"
#include "settings/settings.h"
#include "workflow/render/fax_file_builder.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QTextDocument>
#include <QTimer>

#include <system_error>

namespace workflow::send {

namespace {

QString field(faxlog::TDbeTable& t, const char* name) {
    return QString::fromStdString(faxlog::cp1252ToUtf8(t.getTrimString(name)));
}

void say(const SendJobHooks& h, const QString& text) {
    if (h.setStatus)
        h.setStatus(text);
}

void inform(const SendJobHooks& h, const QString& text) {
    if (h.services.information)
        h.services.information(h.mainWindow, text);
    else
        QMessageBox::information(h.mainWindow, QStringLiteral("Information"), text);
}

} // namespace

SendJobOutcome runSendJob(faxlog::TDbeTable& sent, const std::filesystem::path& programDir,
                          const SendJobHooks& hooks) {
    SendJobOutcome out;
    auto busy = [&hooks](bool on) {
        if (hooks.setBusy)
            hooks.setBusy(on);
    };
    std::filesystem::path faxFile;
    try {
        busy(true);
        say(hooks, QStringLiteral("Preparing files for viewing..."));
        QCoreApplication::processEvents();

        render::BuildFeedback feedback;
        feedback.setBusy = hooks.setBusy;
        feedback.setStatus = hooks.setStatus;
        feedback.processEvents = [] { QCoreApplication::processEvents(); };
        feedback.showMessage = [&hooks](const QString& text) { inform(hooks, text); };
        QTextDocument cover;
        QTextDocument body;
        const render::BuildResult built = render::buildFaxFile(sent, cover, body, programDir, feedback);
        if (built.file.empty()) {
            busy(false);
            inform(hooks, QString::fromLatin1(kErrorCreatingFaxFile));
            say(hooks, QString());
            return out;
        }
        faxFile = built.file;
        out.built = true;
        out.pages = built.pageCount;

        auto& s = settings::current();
        QString phone;
        {
            TSendFaxForm dialog(QString::fromStdString(faxFile.string()), hooks.services, hooks.mainWindow);
            if (hooks.centre)
                hooks.centre(&dialog);
            dialog.setRecipient(field(sent, "RECIPIENT"), field(sent, "SUBJECT"));
            dialog.setPhoneNumber(field(sent, "PHONE"));
            dialog.setPortNumber(s.configuredPortNumber());
            dialog.setCallReportFile(QString::fromStdString(
                faxengine::callReportPath(programDir, "PVN-" + std::to_string(sent.recNo())).string()));
            dialog.fillDialingFromSettings();
            dialog.adjustSize();
            if (hooks.centre)
                hooks.centre(&dialog);
            say(hooks, QString());
            busy(false);
            QCoreApplication::processEvents();
            if (hooks.onDialogShown)
                QTimer::singleShot(0, &dialog, [&dialog, &hooks] { hooks.onDialogShown(dialog); });
            dialog.exec();

            out.result = dialog.resultText();
            if (hooks.enableButtonBar)
                hooks.enableButtonBar();
            phone = dialog.phoneNumberText();
            s.dialing.dialPrefix = dialog.dialPrefixText().toStdString();
            s.dialing.dialSuffix = dialog.dialSuffixText().toStdString();
            s.user.prefixDisable = dialog.prefixDisabled();
            s.user.suffixDisable = dialog.suffixDisabled();
        }
        try {
            settings::saveSettings(s, programDir);
        } catch (const std::exception&) {
            // The record still gets its result; the settings are saved again at shutdown.
        }
        std::error_code ec;
        std::filesystem::remove(faxFile, ec);
        faxFile.clear();

        faxlog::recordSendAttempt(sent, out.pages, faxlog::utf8ToCp1252(out.result.toStdString()),
                                  faxlog::utf8ToCp1252(phone.toStdString()));
        busy(false);
        say(hooks, QString());
    } catch (...) {
        if (!faxFile.empty()) {
            std::error_code ec;
            std::filesystem::remove(faxFile, ec);
        }
        busy(false);
        say(hooks, QString());
        throw;
    }
    return out;
}

} // namespace workflow::send
