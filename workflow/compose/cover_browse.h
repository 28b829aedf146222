// "Cover Sheet Template Browser": the templates of the cover table, managed (browse mode)
// or chosen for a fax (select mode). Accept leaves the chosen template current.
#pragma once

#include "workflow/compose/compose_hooks.h"

#include <QDialog>

class QPushButton;
class QTableWidget;

namespace faxlog { class TDbeTable; }

namespace workflow::compose {

class TCoverEditor;

inline constexpr int kCoverBrowseHelpContext = 1017;

enum class BrowseMode { Browse, Select };

class TCoverBrowse : public QDialog {
    Q_OBJECT
public:
    TCoverBrowse(faxlog::TDbeTable& covers, BrowseMode mode, const ComposeHooks& hooks,
                 QWidget* parent = nullptr);

    QTableWidget* grid() const { return CoverGrid; }
    bool cloneRequested() const { return cloneRequested_; }

    // Called with each template editor before it is shown (tests answer it from here).
    std::function<void(TCoverEditor&)> onEditorShown;

public slots:
    void NewButtonClick();
    void ModifyButtonClick();
    void CloneButtonClick();
    void DeleteButtonClick();

private:
    // Fills the grid from the table and selects the current record's row.
    void refresh();
    bool hasVisibleRecord();
    int runEditor(TCoverEditor& editor);

    faxlog::TDbeTable& covers_;
    const ComposeHooks& hooks_;
    bool cloneRequested_ = false;
    bool refreshing_ = false;
    QTableWidget* CoverGrid = nullptr;
    QPushButton* NewButton = nullptr;
    QPushButton* ModifyButton = nullptr;
    QPushButton* CloneButton = nullptr;
    QPushButton* DeleteButton = nullptr;
    QPushButton* CloseButton = nullptr;
    QPushButton* Acceptbutton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* HelpButton = nullptr;
};

} // namespace workflow::compose
