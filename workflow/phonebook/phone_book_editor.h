// The phone book entry editor: a name and a fax number, each no longer than its field.
#pragma once

#include "workflow/phonebook/phone_entry.h"

#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;

namespace phonebook {

class TPhoneBookEditor : public QDialog {
    Q_OBJECT
public:
    explicit TPhoneBookEditor(QWidget* parent = nullptr);

    void setEntry(const PhoneEntry& entry);
    // What was typed, blanks at both ends removed.
    PhoneEntry entry() const;

    // Opens the help page of a context number; without it the Help button is hidden.
    void setHelpHandler(std::function<void(int)> showHelp);

    static constexpr int kHelpContext = 1020;

    QLineEdit* Name = nullptr;
    QLineEdit* Number = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* Cancelbutton = nullptr;
    QPushButton* Helpbutton = nullptr;

public slots:
    // Accepts only what the table can hold; otherwise says why and stays open.
    void accept() override;

private:
    std::function<void(int)> showHelp_;
};

} // namespace phonebook
