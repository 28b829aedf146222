// The Fax Log Cleanup Utility: the sent and received tables on two pages, with commands
// that put the deleted mark on the current record or on every record meeting a
// condition. Any deletion asks the main window for a rebuild afterwards.
#pragma once

#include "cleanup_model.h"
#include "log_cleanup.h"

#include <QDialog>
#include <filesystem>
#include <functional>
#include <string>

class QAction;
class QMenu;
class QMenuBar;
class QPushButton;
class QTabWidget;
class QTableView;

namespace maintenance {

struct CleanupTables {
    faxlog::TDbeTable& sent;
    faxlog::TDbeTable& received;
    faxlog::TDbeEnv& env;
    std::filesystem::path programDir;
};

class TDMForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 21071;

    explicit TDMForm(CleanupTables tables, QWidget* parent = nullptr);

    // Set by every deletion; the main window rebuilds when it is set after the window closed.
    bool rebuildWanted() const { return rebuildWanted_; }
    void clearRebuildWanted() { rebuildWanted_ = false; }
    // Opens the help at a context number; set by the main window.
    std::function<void(int context)> showHelp;

    CleanupPage activePage() const;
    void setActivePage(CleanupPage page);
    QTableView* grid(CleanupPage page) const;
    CleanupModel* model(CleanupPage page) const;
    faxlog::TDbeTable& table(CleanupPage page) const;
    // Makes the record shown in `row` of the active page current.
    void selectRow(int row);

    void done(int result) override;

    // Commands of the "Actions" menu.
    void DeleteCurrentClick();
    void DeleteBeforeDateClick();
    void DeleteSentClick();
    void DeleteUnsentClick();
    void DeleteByConditionsClick();
    void DeleteAllClick();

    QMenuBar* MainMenu = nullptr;
    QMenu* Actions = nullptr;
    QMenu* GridMenu = nullptr;
    QAction* mnuDeleteCurrent = nullptr;
    QAction* mnuDeleteBefore = nullptr;
    QAction* mnuDeleteSent = nullptr;
    QAction* mnuDeleteUnsent = nullptr;
    QAction* mnuDeleteConditions = nullptr;
    QAction* mnuDeleteAll = nullptr;
    QTabWidget* Pages = nullptr;
    QPushButton* CloseButton = nullptr;
    QPushButton* HelpButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormActivate();
    void updateCommands();
    // Runs a delete command's condition over the active table and reports the count.
    void deleteWhereCondition(const std::string& condition);
    void followTable(CleanupPage page); // grid row ← the table's current record
    QTableView* makeGrid(const char* name, CleanupModel* gridModel);

    CleanupTables tables_;
    CleanupModel* sentModel_ = nullptr;
    CleanupModel* receivedModel_ = nullptr;
    QTableView* SendGrid = nullptr;
    QTableView* RecGrid = nullptr;
    bool firstActivation_ = true;
    bool rebuildWanted_ = false;
    std::string savedSentFilter_, savedReceivedFilter_;
};

} // namespace maintenance
