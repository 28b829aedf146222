// The main window: the sent and received fax lists, the commands that act on them, and
// the program's start-up and shutdown around them.
#pragma once

#include "command_rules.h"
#include "fax_line.h"
#include "fax_log_model.h"
#include "log_table.h"
#include "preferences_hooks.h"
#include "workflow/compose/compose_hooks.h"
#include "workflow/receive/receive_mode.h"

#include <QEvent>
#include <QMainWindow>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QSoundEffect;
class QStackedWidget;
class QTabBar;
class QTableView;

namespace workflow::send {
struct SendJobHooks;
}

namespace app {

class HintControl;

class TMainScreen : public QMainWindow {
    Q_OBJECT
public:
    // Posted to close the window (a log table could not be opened at start-up).
    static constexpr QEvent::Type kCloseMessage = QEvent::Type(QEvent::User + 42);
    // Posted by the receive workflow when a fax has arrived: plays the arrival sound.
    static constexpr QEvent::Type kFaxArrivedMessage = QEvent::Type(QEvent::User + 43);

    static constexpr const char* kReceiveModeText =
        "You are in Fax Receive mode. This operation cannot be done\rwhile in Fax Receive mode. "
        "Click the Stop button to end\rFax Receive mode";

    struct Options {
        bool startMinimized = false;
        HintControl* hints = nullptr; // application tooltip switch, may be null
        // Diagnosis, repair and read-only opening for a log table that does not open at
        // start; without it the program only says it cannot open the table and closes.
        LogOpenRescue* rescue = nullptr;
    };

    // Opens the log tables of `programDir` through `opener` and loads the settings.
    TMainScreen(std::filesystem::path programDir, LogTableOpener opener, Options options,
                QWidget* parent = nullptr);
    ~TMainScreen() override;

    // True when a log table could not be opened; the window then closes itself through
    // kCloseMessage and the program ends with a failure status.
    bool startupFailed() const { return startupFailed_; }

    // Everything the program does once, when the window first comes up: placement,
    // command rules, showing, first-run setup, the reindex question, receive at start.
    void FormActivate();

    // --- state shared with the workflows ---
    bool receiveMode() const { return receiveMode_; }
    void setReceiveMode(bool on);
    bool receivingNow() const { return receivingNow_; }
    void setReceivingNow(bool on) { receivingNow_ = on; }
    bool cloneRequested() const { return cloneRequested_; }
    void clearCloneRequest() { cloneRequested_ = false; }
    bool firstRun() const { return firstRun_; }
    bool firstActivation() const { return firstActivation_; }

    LogPage page() const;
    void setPage(LogPage page);

    LogTable* sentTable() const { return FaxTable.get(); }
    LogTable* receivedTable() const { return RecTable.get(); }
    // After a workflow changed a table behind its grid.
    void reopenSentTable();
    void reopenReceivedTable();

    void setStatus(const QString& text);
    QString statusText() const;

    // The enabling rules; run after every change of page, list contents or receive mode.
    void applyCommandRules();
    CommandStates commandStates() const { return states_; }

    // Shows the receive-mode refusal and returns true while receive mode is on.
    bool refusedInReceiveMode();

    // The arrival sound last started (empty when none), for checks.
    QString lastArrivalSound() const { return lastArrivalSound_; }

    // A new fax with the pages of `file` (a printed job) as its document, through the New
    // command's editor. True when the fax was saved to the sent log.
    bool newFaxFromPrintedFile(const std::filesystem::path& file);
    // False while a printed fax must wait: before the first activation ran, in receive mode,
    // while another modal window is open, without a writable sent log.
    bool printedFaxCanOpen() const;

    // The modem line the send and receive workflows open; the window keeps it (and so
    // the virtual line it may have started) until it goes. Shown on the status line.
    void setFaxLine(FaxLine line);
    const FaxLine* faxLine() const { return faxLine_ ? &*faxLine_ : nullptr; }

    // Printing from the viewer: pages first..last of a fax file with the header text
    // (empty: no header). Until set, the viewer says printing is not available.
    std::function<void(const std::filesystem::path& file, int first, int last, const QString& header)> printFax;
    std::function<void(QWidget* parent)> printerSetup;
    std::function<bool()> printerInstalled; // unset: taken as installed

    // Lets a test or a later window adjust the send job's hooks before it runs.
    void setSendJobHook(std::function<void(workflow::send::SendJobHooks&)> hook) { sendJobHook_ = std::move(hook); }

    // The composing windows' hooks: set phoneBook, spellCheck and documentCreated here;
    // the window fills in the rest each time it opens one.
    workflow::compose::ComposeHooks& composeHooks() { return composeHooks_; }

    // The modem diagnostics the preferences wizard and quick setup offer; a hook left
    // unset disables its button.
    preferences::DiagnosticsHooks& diagnosticsHooks() { return diagnosticsHooks_; }
    // After the configured port changed: chooses the line again (named device or the
    // virtual line); receive mode, when on, is stopped and started again on the new line.
    // Waits while another window holds on to the old line (the send dialog).
    void portChanged();
    // How portChanged() chooses the line; unset: FaxLine::forSettings.
    std::function<FaxLine(const settings::Settings&)> chooseFaxLine;
    // Receive mode (null until the Receive command first ran); a test or a later window
    // adjusts its hooks before it is made.
    workflow::receive::ReceiveMode* receiveWorkflow() const { return receive_; }
    void setReceiveHook(std::function<void(workflow::receive::ReceiveHooks&)> hook) { receiveHook_ = std::move(hook); }
    // The report of a received call, offered by the receive error dialog; unset: no button.
    std::function<void(QWidget* parent, const workflow::receive::ReceivedCall& call)> receivedCallReport;

public slots:
    // --- commands ---
    void NewbuttonClick();
    void EditButtonClick();
    void mnuCloneClick();
    void DeleteButtonClick();
    void FaxlogCleanup1Click();
    void SendButtonClick();
    void ReceiveButtonClick();
    void ViewFaxButtonClick();
    void mnuCoverClick();
    void mnuPhoneBookClick();
    void mnuRebuildIndexesClick();
    void mnuPreferencesClick();
    void ExitbuttonClick();
    void Contents1Click();
    void FrequentlyAskedQuestionsFAQ1Click();
    void TechnicalSupport1Click();
    void ConfigurationInformation1Click();
    void ProblemSolverButtonClick();
    void About1Click();
    void mnuShowHintClick();
    void WebPageClick();
    void TabSet1Change(int index);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The sent table the composing windows write to; null when it is closed or read-only.
    faxlog::TDbeTable* writableSentTable() const;

    // --- the later workflows' entry points; each is filled in with its window ---
    // With `printedFile`, its pages are the new fax's document. True when a fax was saved.
    bool runNewFax(const std::filesystem::path* printedFile = nullptr);
    void runEditSentFax();
    void runEditReceivedNotes();
    void runSendFax();
    void runReceiveToggle();
    void runViewFax();
    void runCoverBrowser();
    void runPhoneBook();
    void runRebuildIndexes();
    void runPreferences();
    void runLogCleanup();
    void runQuickSetup();
    void runConfigurationReport();

    void buildWidgets();
    void buildMenu();
    QWidget* buildPage(const QString& title, const QColor& colour, QTableView* grid);
    void openLogTables();
    void playArrivalSound();
    void closeLogTables();
    void syncGridToTable(QTableView* grid, FaxLogModel* model, LogTable* table);
    void deleteReceivedFax();
    void deleteSentFax();

    std::filesystem::path programDir_;
    LogTableOpener opener_;
    Options options_;

    // Window state.
    bool firstActivation_ = true;
    bool receiveMode_ = false;
    bool receivingNow_ = false;
    bool cloneRequested_ = false;
    bool firstRun_ = false;
    bool startupFailed_ = false;
    bool shutDown_ = false;
    CommandStates states_;
    QString lastArrivalSound_;
    std::optional<FaxLine> faxLine_;
    std::function<void(workflow::send::SendJobHooks&)> sendJobHook_;
    workflow::compose::ComposeHooks composeHooks_;
    preferences::DiagnosticsHooks diagnosticsHooks_;
    bool preferencesAccepted_ = false;
    workflow::receive::ReceiveMode* receive_ = nullptr; // a child of the window
    std::function<void(workflow::receive::ReceiveHooks&)> receiveHook_;

    // Tables and their models.
    std::unique_ptr<LogTable> FaxTable;
    std::unique_ptr<LogTable> RecTable;
    FaxLogModel* FaxDataSource = nullptr;
    FaxLogModel* RecDataSource = nullptr;
    std::unique_ptr<QSoundEffect> arrivalSound_;

    // Widgets (owned by the window).
    QStackedWidget* NoteBook = nullptr;
    QTableView* FaxGrid = nullptr;
    QTableView* RecFaxGrid = nullptr;
    QTabBar* TabSet1 = nullptr;
    QLabel* status = nullptr;
    QWidget* ButtonBar = nullptr;
    QPushButton* Newbutton = nullptr;
    QPushButton* EditButton = nullptr;
    QPushButton* DeleteButton = nullptr;
    QPushButton* SendButton = nullptr;
    QPushButton* ReceiveButton = nullptr;
    QPushButton* ViewFaxButton = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* ProblemSolverButton = nullptr;
    QPushButton* Exitbutton = nullptr;

    // Menu items.
    QAction* mnuNew = nullptr;
    QAction* mnuEdit = nullptr;
    QAction* mnuClone = nullptr;
    QAction* mnuDelete = nullptr;
    QAction* FaxlogCleanup1 = nullptr;
    QAction* mnuSend = nullptr;
    QAction* mnuReceive = nullptr;
    QAction* mnuViewPrint = nullptr;
    QAction* mnuCover = nullptr;
    QAction* mnuPhoneBook = nullptr;
    QAction* mnuRebuildIndexes = nullptr;
    QAction* mnuPreferences = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* FrequentlyAskedQuestionsFAQ1 = nullptr;
    QAction* TechnicalSupport1 = nullptr;
    QAction* ConfigurationInformation1 = nullptr;
    QAction* TroubleshootingTips1 = nullptr;
    QAction* About1 = nullptr;
    QAction* mnuShowHint = nullptr;
    QAction* mnuWebPage = nullptr;
};

} // namespace app
