// Entry points of the workflows the main window starts. Each one is the body of a command
// whose window is built separately; until it exists the command keeps its enabling rule
// and receive-mode guard and does nothing more.
#include "main_screen.h"

#include "centring.h"
#include "dm_form.h"
#include "fax_log_model.h"
#include "help_window.h"
#include "message_boxes.h"
#include "preferences_wizard.h"
#include "quick_setup_form.h"
#include "problem_solver.h"
#include "printed_fax.h"
#include "rebuild_ind.h"
#include "show_error_form.h"
#include "window_placement.h"
#include "faxlog/dbe_table.h"
#include "faxlog/log_records.h"
#include "settings/settings.h"
#include "workflow/compose/cover_browse.h"
#include "workflow/diagnostics/diagnostic_rules.h"
#include "workflow/diagnostics/diagnostics.h"
#include "workflow/compose/cover_store.h"
#include "workflow/compose/fax_editor.h"
#include "workflow/phonebook/phone_book_dialogs.h"
#include "workflow/receive/call_report_button.h"
#include "workflow/receive/edit_receive_notes.h"
#include "workflow/render/fax_file_builder.h"
#include "workflow/render/view_preparation.h"
#include "workflow/send/send_job.h"
#include "workflow/spelling/spell_service.h"
#include "workflow/viewer/fax_viewer_window.h"

#include <QApplication>
#include <QDateTime>
#include <QLocale>
#include <QPushButton>
#include <QScopeGuard>
#include <QTextDocument>
#include <QTextEdit>
#include <QWidget>

namespace app {

namespace {

// The record's date and time caption in the user's short formats.
QString recordDateTime(LogTable& table) {
    faxlog::TDbeTable* t = table.engineTable();
    if (!t)
        return {};
    faxlog::DateTimeFormat fmt{
        [](const faxlog::XDate& d) {
            const QDate date = QDate::fromString(QString::fromStdString(d.dtos()), QStringLiteral("yyyyMMdd"));
            return date.isValid() ? QLocale().toString(date, QLocale::ShortFormat).toStdString() : std::string();
        },
        [](int h, int m) { return QLocale().toString(QTime(h, m), QLocale::ShortFormat).toStdString(); }};
    const auto kind = table.kind() == LogKind::Sent ? faxlog::LogTableKind::Sent : faxlog::LogTableKind::Received;
    return QString::fromStdString(faxlog::formatDateTime(*t, kind, fmt));
}

// The hooks of the composing windows that the main window itself provides.
void fillWindowHooks(workflow::compose::ComposeHooks& hooks, QWidget* mainWindow,
                     const std::filesystem::path& programDir) {
    const std::filesystem::path ini = programDir / settings::kSettingsFileName;
    hooks.programDir = programDir;
    hooks.mainWindow = mainWindow;
    hooks.restorePlacement = [ini, mainWindow](QWidget* w) { restorePlacement(w, ini, mainWindow); };
    hooks.savePlacement = [ini](QWidget* w) { savePlacement(w, ini); };
    hooks.centre = [mainWindow](QWidget* w) { centreWindow(w, mainWindow); };
    hooks.help = [](int context) { showHelp(context); };
    // The phone book and the spelling checker, unless a caller put its own in place.
    if (!hooks.phoneBook)
        hooks.phoneBook = [mainWindow, programDir](QWidget* parent) {
            phonebook::PhoneBookHooks pb;
            pb.showHelp = [](int context) { showHelp(context); };
            pb.centre = [mainWindow](QWidget* window) { centreWindow(window, mainWindow); };
            return phonebook::pickRecipient(parent, programDir, pb);
        };
    if (!hooks.spellCheck)
        hooks.spellCheck = [](QTextEdit* edit) { spelling::runSpellCheck(edit, edit ? edit->window() : nullptr); };
    if (!hooks.documentCreated)
        hooks.documentCreated = [](QTextDocument* document) { spelling::attachSpellHighlighter(document); };
}

// The modem diagnostics the preferences wizard and quick setup offer, unless a caller put
// its own in place. `virtualDevice` gives the embedded line's modem at the time of the call.
void fillDiagnosticsHooks(preferences::DiagnosticsHooks& h, const std::filesystem::path& programDir,
                          std::function<std::string()> virtualDevice) {
    if (!h.findModem)
        h.findModem = [programDir, virtualDevice](QWidget* parent, const settings::Settings& shown) {
            settings::Settings copy = shown;
            return diagnostics::findModem(parent, copy, programDir, {}, virtualDevice());
        };
    if (!h.checkFaxClass)
        h.checkFaxClass = [virtualDevice](QWidget* parent, const settings::Settings& shown, int portNumber) {
            const diagnostics::ClassCheckResult r =
                diagnostics::checkFaxClass(parent, shown, portNumber, virtualDevice());
            return preferences::FaxClassAdvice{r.recommended, QString::fromStdString(r.recommendedName)};
        };
    if (!h.initStringHelper)
        h.initStringHelper = [](QWidget* parent, const QString& current, bool sending) {
            return QString::fromStdString(diagnostics::initStringHelper(parent, current.toStdString(), sending));
        };
    if (!h.problemSolver)
        h.problemSolver = [](QWidget* parent) { openProblemSolver(parent); };
}

} // namespace

faxlog::TDbeTable* TMainScreen::writableSentTable() const {
    return FaxTable && !FaxTable->readOnly() ? FaxTable->engineTable() : nullptr;
}

// Fax editor for a new fax (a clone when cloneRequested() is set).
bool TMainScreen::runNewFax(const std::filesystem::path* printedFile) {
    faxlog::TDbeTable* sent = writableSentTable();
    if (!sent)
        return false;
    fillWindowHooks(composeHooks_, this, programDir_);
    workflow::compose::TFaxEditor editor(composeHooks_, &sent->engine(), this);
    if (cloneRequested_ && FaxTable->hasCurrentRecord())
        editor.loadFromRecord(*sent, true);
    else
        editor.startEmpty();
    if (printedFile)
        insertPrintedPages(editor, *printedFile);
    bool saved = false;
    if (editor.exec() == QDialog::Accepted) {
        try {
            faxlog::appendSentFax(*sent, editor.content());
            saved = true;
        } catch (const std::exception& e) {
            informationBox(this, tr("The fax could not be saved: %1").arg(QString::fromLocal8Bit(e.what())));
        }
        QApplication::processEvents();
        reopenSentTable();
        QApplication::processEvents();
    }
    cloneRequested_ = false;
    applyCommandRules();
    return saved;
}

// Fax editor on the current sent record.
void TMainScreen::runEditSentFax() {
    faxlog::TDbeTable* sent = writableSentTable();
    if (!sent || FaxTable->currentRow() < 0) {
        beep();
        return;
    }
    fillWindowHooks(composeHooks_, this, programDir_);
    workflow::compose::TFaxEditor editor(composeHooks_, &sent->engine(), this);
    editor.loadFromRecord(*sent, false);
    if (editor.exec() == QDialog::Accepted) {
        try {
            faxlog::updateSentFax(*sent, editor.content());
        } catch (const std::exception& e) {
            informationBox(this, tr("The fax could not be saved: %1").arg(QString::fromLocal8Bit(e.what())));
        }
        reopenSentTable();
    }
}

// Notes editor on the current received record.
void TMainScreen::runEditReceivedNotes() {
    faxlog::TDbeTable* received = RecTable && !RecTable->readOnly() ? RecTable->engineTable() : nullptr;
    if (!received || !RecTable->hasCurrentRecord()) {
        beep();
        return;
    }
    if (workflow::receive::editReceivedNotes(*received, this, [this](QWidget* w) { centreWindow(w, this); }))
        reopenReceivedTable();
}

// Send job for the current sent record.
void TMainScreen::runSendFax() {
    namespace send = workflow::send;
    if (receiveMode_) {
        informationBox(this, QString::fromLatin1(send::kReceiveModeSendText));
        return;
    }
    if (page() == LogPage::Received) {
        informationBox(this, QString::fromLatin1(send::kSwitchToOutgoingText));
        return;
    }
    faxlog::TDbeTable* sent = FaxTable ? FaxTable->engineTable() : nullptr;
    if (!sent || !FaxTable->hasCurrentRecord()) {
        beep();
        return;
    }
    auto hourglass = std::make_shared<bool>(false);
    send::SendJobHooks h;
    h.mainWindow = this;
    h.setBusy = [this, hourglass](bool on) {
        if (on == *hourglass)
            return;
        *hourglass = on;
        if (on) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            ButtonBar->setEnabled(false);
        } else {
            QApplication::restoreOverrideCursor();
        }
    };
    h.setStatus = [this](const QString& text) { setStatus(text); };
    h.centre = [this](QWidget* w) { centreWindow(w, this); };
    h.enableButtonBar = [this] { ButtonBar->setEnabled(true); };
    h.services.showError = [](QWidget* parent, const QString& caption, const QString& text, int code,
                              bool withContinue) {
        const int topic = diagnostics::topicForError(code, true);
        if (withContinue)
            return showErrorWithContinue(parent, caption, text, true, topic);
        showError(parent, caption, text, true, topic);
        return false;
    };
    h.services.information = [](QWidget* parent, const QString& text) { informationBox(parent, text); };
    h.services.beep = [] { beep(); };
    h.services.help = [](int context) { showHelp(context); };
    h.services.problemSolver = [](QWidget* parent) { openProblemSolver(parent); };
    h.services.callReport = [](QWidget* parent, const QString& file) { diagnostics::openCallReport(parent, file); };
    h.services.preferences = [this](QWidget*) {
        preferencesAccepted_ = false;
        mnuPreferencesClick();
        return preferencesAccepted_;
    };
    if (const FaxLine* line = faxLine(); line && line->isVirtual())
        h.services.virtualDevice = line->devicePath();
    if (sendJobHook_)
        sendJobHook_(h);
    try {
        send::runSendJob(*sent, programDir_, h);
    } catch (const std::exception& e) {
        h.setBusy(false);
        informationBox(this, QStringLiteral("The fax could not be sent:\r") + QString::fromLocal8Bit(e.what()));
    }
    h.setBusy(false);
    ButtonBar->setEnabled(true);
    FaxDataSource->refresh();
    applyCommandRules();
}

// Switches receive mode on or off.
void TMainScreen::runReceiveToggle() {
    namespace receive = workflow::receive;
    if (!receive_) {
        receive::ReceiveHooks h;
        h.mainWindow = this;
        h.programDir = programDir_;
        h.setReceiveMode = [this](bool on) { setReceiveMode(on); };
        h.setReceivingNow = [this](bool on) { receivingNow_ = on; };
        h.showReceivedPage = [this] {
            setPage(LogPage::Received);
            applyCommandRules();
        };
        h.applyCommandRules = [this] { applyCommandRules(); };
        h.setStatus = [this](const QString& text) { setStatus(text); };
        h.setReceiveButton = [this](const QString& caption, const QString& hint) {
            ReceiveButton->setText(caption);
            ReceiveButton->setToolTip(hint);
        };
        h.centre = [this](QWidget* w) { centreWindow(w, this); };
        h.receivedTable = [this]() -> faxlog::TDbeTable* {
            return RecTable && RecTable->isOpen() && !RecTable->readOnly() ? RecTable->engineTable() : nullptr;
        };
        h.reopenReceivedTable = [this] { reopenReceivedTable(); };
        h.postFaxArrived = [this] { QCoreApplication::postEvent(this, new QEvent(kFaxArrivedMessage)); };
        // The shared error dialog, closing itself after 30 s: a start nobody watches goes on.
        h.showError = [](QWidget* parent, const QString& caption, const QString& text, int code, bool withContinue,
                         const std::function<void(QWidget*)>& callReport) {
            if (TShowErrorForm::isShowing())
                return false;
            TShowErrorForm form(caption, text, withContinue, false, parent);
            if (callReport)
                receive::addCallReportButton(form, callReport);
            centreWindow(&form, parent ? parent->window() : nullptr);
            const int topic = code != 0 ? diagnostics::topicForError(code, false) : -1;
            QObject::connect(&form, &TShowErrorForm::problemSolverRequested, &form,
                             [&form, topic] { openProblemSolver(&form, topic); });
            const int result = form.exec();
            if (form.problemSolverAfterClose())
                openProblemSolver(parent, topic);
            return result == TShowErrorForm::kContinueResult;
        };
        if (receiveHook_)
            receiveHook_(h);
        receive_ = new receive::ReceiveMode(std::move(h), this);
    }
    // The report kept of a failed call; without one the error dialog offers none.
    if (!receivedCallReport)
        receivedCallReport = [](QWidget* parent, const receive::ReceivedCall& call) {
            if (!call.reportFile.empty())
                diagnostics::openCallReport(parent, QString::fromStdString(call.reportFile));
        };
    receive_->hooks().callReport = receivedCallReport;
    if (const FaxLine* line = faxLine(); line && line->isVirtual())
        receive_->hooks().virtualDevice = line->devicePath();
    receive_->toggle();
}

// Viewer for the current record of the page shown: a received fax's file as it is, a
// sent fax built into a fax file that is deleted after viewing.
void TMainScreen::runViewFax() {
    const bool received = page() == LogPage::Received;
    LogTable* table = received ? RecTable.get() : FaxTable.get();
    if (!table || !table->isOpen() || !table->hasCurrentRecord()) {
        beep();
        return;
    }
    const QString savedStatus = statusText();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool cursorShown = true;
    auto restoreCursor = [&cursorShown] {
        if (cursorShown)
            QApplication::restoreOverrideCursor();
        cursorShown = false;
    };
    auto restore = qScopeGuard([&] {
        restoreCursor();
        setStatus(savedStatus);
        ButtonBar->setEnabled(true);
    });
    setStatus(QStringLiteral("Preparing files for viewing..."));
    QCoreApplication::processEvents();

    workflow::render::ViewRequest request;
    if (received) {
        workflow::render::ReceivedFax fax;
        fax.from = QString::fromStdString(table->currentField("FROM"));
        fax.dateTimeText = recordDateTime(*table);
        fax.faxFile = QString::fromStdString(table->currentField("FAXFILE"));
        // File names in the receive directory compare without regard to case.
        const auto found = faxlog::receivedFaxPath(programDir_, fax.faxFile.toStdString());
        if (!found.empty())
            fax.faxFile = QString::fromStdString(found.filename().string());
        request = workflow::render::prepareReceivedView(programDir_, fax);
    } else {
        workflow::render::SentFax fax;
        fax.recipient = QString::fromStdString(table->currentField("RECIPIENT"));
        fax.subject = QString::fromStdString(table->currentField("SUBJECT"));
        fax.dateTimeText = recordDateTime(*table);
        workflow::render::BuildResult built;
        if (faxlog::TDbeTable* engine = table->engineTable()) {
            workflow::render::BuildFeedback feedback;
            feedback.setBusy = [this](bool busy) { ButtonBar->setEnabled(!busy); };
            feedback.setStatus = [this](const QString& text) { setStatus(text); };
            feedback.processEvents = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
            feedback.showMessage = [this, &restoreCursor](const QString& text) {
                restoreCursor();
                informationBox(this, text);
            };
            QTextDocument cover;
            QTextDocument body;
            try {
                built = workflow::render::buildFaxFile(*engine, cover, body, programDir_, feedback);
            } catch (const std::exception&) {
                built = {};
            }
        }
        request = workflow::render::prepareSentView(built, fax);
    }
    if (!request.ok()) {
        restoreCursor();
        informationBox(this, request.error);
        return;
    }

    setStatus(QStringLiteral("Loading viewer..."));
    QCoreApplication::processEvents();
    {
        workflow::viewer::TFaxViewer viewer(this);
        viewer.setFaxFile(request.file);
        viewer.setHeaderText(request.headerText);
        viewer.setProgramDir(programDir_);
        viewer.print = printFax;
        viewer.printerSetup = printerSetup;
        viewer.printerInstalled = printerInstalled;
        viewer.showHelp = [](int context) { showHelp(context); };
        centreWindow(&viewer, this);
        setStatus(QString());
        restoreCursor();
        viewer.exec();
    }
    if (request.deleteAfterViewing) {
        std::error_code ec;
        std::filesystem::remove(request.file, ec);
    }
}

// Cover template browser over the cover table.
void TMainScreen::runCoverBrowser() {
    faxlog::TDbeTable* sent = writableSentTable();
    if (!sent)
        return;
    auto covers = workflow::compose::openCoverTable(sent->engine(), programDir_);
    if (!covers)
        return;
    fillWindowHooks(composeHooks_, this, programDir_);
    {
        workflow::compose::TCoverBrowse browser(*covers, workflow::compose::BrowseMode::Browse, composeHooks_, this);
        centreWindow(&browser, this);
        browser.exec();
    }
    covers->close();
}

// Phone book window over its own copy of the phone table.
void TMainScreen::runPhoneBook() {
    phonebook::PhoneBookHooks hooks;
    hooks.showHelp = [](int context) { showHelp(context); };
    hooks.centre = [this](QWidget* window) { centreWindow(window, this); };
    // A phone table that can be neither opened nor created leaves the command without effect.
    phonebook::runPhoneBookBrowser(this, programDir_, hooks);
}

// Pack and reindex all four tables.
void TMainScreen::runRebuildIndexes() {
    // The rebuild needs every table to itself.
    if (FaxTable)
        FaxTable->close();
    if (RecTable)
        RecTable->close();
    {
        faxlog::DbeEngine engine;
        faxlog::TDbeEnv env(engine);
        env.start();
        env.setDeleted(true);
        maintenance::TRebuildInd window(engine, programDir_, this);
        centreWindow(&window, this);
        window.exec();
    }
    reopenSentTable();
    reopenReceivedTable();
}

// Preferences wizard.
void TMainScreen::runPreferences() {
    auto& s = settings::current();
    const int portBefore = s.configuredPortNumber();
    preferences::PreferencesServices services;
    fillDiagnosticsHooks(diagnosticsHooks_, programDir_, [this] {
        const FaxLine* line = faxLine();
        return line && line->isVirtual() ? std::string(line->devicePath()) : std::string();
    });
    services.diagnostics = diagnosticsHooks_;
    if (!services.diagnostics.problemSolver)
        services.diagnostics.problemSolver = [](QWidget* parent) { openProblemSolver(parent); };
    services.help = [](int context) { showHelp(context); };
    services.programDir = QString::fromStdString(programDir_.string());
    preferencesAccepted_ = preferences::runPreferencesWizard(this, s, programDir_, firstRun_, services,
                                                             [this](QWidget* w) { centreWindow(w, this); });
    if (preferencesAccepted_ && s.configuredPortNumber() != portBefore)
        portChanged();
}

// Fax log cleanup utility; may ask for a rebuild afterwards.
void TMainScreen::runLogCleanup() {
    if (FaxTable)
        FaxTable->close();
    if (RecTable)
        RecTable->close();
    bool rebuild = false;
    {
        faxlog::DbeEngine engine;
        faxlog::TDbeEnv env(engine);
        env.start();
        env.setDeleted(true);
        faxlog::TDbeTable sent(engine), received(engine);
        std::string error;
        if (faxlog::openLogTable(sent, faxlog::LogTableKind::Sent, programDir_, &error) &&
            faxlog::openLogTable(received, faxlog::LogTableKind::Received, programDir_, &error)) {
            maintenance::TDMForm form({sent, received, env, programDir_}, this);
            form.showHelp = [](int context) { showHelp(context); };
            form.clearRebuildWanted();
            centreWindow(&form, this);
            form.exec();
            rebuild = form.rebuildWanted();
        } else {
            informationBox(this, QStringLiteral("The fax log could not be opened for cleanup:\r") +
                                     QString::fromStdString(error));
        }
    }
    reopenSentTable();
    reopenReceivedTable();
    if (rebuild)
        mnuRebuildIndexesClick();
}

// Quick setup at the first start.
void TMainScreen::runQuickSetup() {
    auto& s = settings::current();
    const int portBefore = s.configuredPortNumber();
    fillDiagnosticsHooks(diagnosticsHooks_, programDir_, [this] {
        const FaxLine* line = faxLine();
        return line && line->isVirtual() ? std::string(line->devicePath()) : std::string();
    });
    if (!preferences::runQuickSetup(this, s, programDir_, diagnosticsHooks_,
                                    [this](QWidget* w) { centreWindow(w, this); }))
        return;
    firstRun_ = false;
    if (s.configuredPortNumber() != portBefore)
        portChanged();
}

void TMainScreen::portChanged() {
    // The send dialog keeps the virtual line's device it was opened with; the line
    // changes once that dialog has closed.
    if (auto* holder = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        connect(holder, &QDialog::finished, this, &TMainScreen::portChanged,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        return;
    }
    // A window without a line (tests, a start that failed) has nothing to change.
    if (!faxLine_ && !chooseFaxLine)
        return;
    const bool receiving = receiveMode_;
    if (receiving)
        ReceiveButtonClick(); // off, on the old line
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const settings::Settings& s = settings::current();
    setFaxLine(chooseFaxLine ? chooseFaxLine(s) : FaxLine::forSettings(s));
    QApplication::restoreOverrideCursor();
    if (receiving)
        ReceiveButtonClick(); // on again, on the new line
}

// Configuration report.
void TMainScreen::runConfigurationReport() {
    const auto& s = settings::current();
    const FaxLine* line = faxLine();
    diagnostics::openConfigurationReport(this, s, s.configuredPortNumber(),
                                         line && line->isVirtual() ? line->devicePath() : std::string(), programDir_);
}

} // namespace app
