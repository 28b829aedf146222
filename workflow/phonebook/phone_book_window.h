// The phone book browser: the entries of the phone table in name order, with New, Edit,
// Delete, CSV import and export; in select mode it hands back the entry the user accepts.
#pragma once

#include "workflow/phonebook/phone_book_store.h"

#include <QDialog>
#include <filesystem>
#include <functional>
#include <optional>

class QPushButton;
class QTableView;

namespace phonebook {

class PhoneBookModel;

// What the program around the phone book provides; every member may be empty.
struct PhoneBookHooks {
    std::function<void(int context)> showHelp;
    // Places a window (over the main window); Qt's own placement otherwise.
    std::function<void(QWidget*)> centre;
    // Asks for a CSV file to read (save = false) or write; empty when the user cancels.
    // A file dialog when not set.
    std::function<QString(QWidget* parent, bool save)> chooseCsvFile;
};

class TPhoneBook : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Browse, Select };

    explicit TPhoneBook(QWidget* parent = nullptr, PhoneBookHooks hooks = {});
    ~TPhoneBook() override;

    // Opens the window's own copy of the phone table (created when missing); false when
    // it can be neither opened nor created, with the reason in *error.
    bool openTable(const std::filesystem::path& programDir, std::string* error = nullptr);
    PhoneBookStore& store() { return store_; }

    void setMode(Mode mode);
    Mode mode() const { return mode_; }
    // The entry accepted in select mode.
    const std::optional<PhoneEntry>& selection() const { return selection_; }

    // The current row, -1 when the book is empty; setting it selects it in the grid.
    int currentRow() const;
    void setCurrentRow(int row);

    // Reads a CSV file into the book: everything or, when a row is bad, nothing, with the
    // bad rows named by line in a message. True when the entries were added.
    bool importCsv(const QString& file);
    // Writes every entry; false (after saying why) when the file cannot be written.
    bool exportCsv(const QString& file);

    static constexpr int kHelpContext = 1019;

    QTableView* PhoneGrid = nullptr;
    QPushButton* Addbutton = nullptr;
    QPushButton* Modifybutton = nullptr;
    QPushButton* Deletebutton = nullptr;
    QPushButton* ImportButton = nullptr;
    QPushButton* ExportButton = nullptr;
    QPushButton* Closebutton = nullptr;
    QPushButton* Cancelbutton = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* Helpbutton = nullptr;

public slots:
    void AddbuttonClick();
    void ModifybuttonClick();
    void DeletebuttonClick();
    void OKButtonClick();
    void ImportButtonClick();
    void ExportButtonClick();
    // Edit and Delete (and Accept in select mode) only while there is an entry.
    void updateButtons();

protected:
    bool event(QEvent* e) override;

private:
    void reload(long currentRecNo);
    long currentRecNo() const;
    void showError(const QString& what, const std::exception& e);
    QString chooseFile(bool save);

    PhoneBookHooks hooks_;
    PhoneBookStore store_;
    PhoneBookModel* model_ = nullptr;
    Mode mode_ = Mode::Browse;
    std::optional<PhoneEntry> selection_;
};

} // namespace phonebook
