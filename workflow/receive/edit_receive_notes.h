// TEditReceiveNotes: the notes of a received fax, edited from the Received page.
#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace faxlog {
class TDbeTable;
}

namespace workflow::receive {

inline constexpr int kNotesLength = 60;

class TEditReceiveNotes : public QDialog {
    Q_OBJECT
public:
    explicit TEditReceiveNotes(QWidget* parent = nullptr);

    void setDescription(const QString& text);
    void setNotes(const QString& text);
    QString notes() const;

private:
    QLabel* Descript = nullptr;
    QLineEdit* Notes = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* Cancelbutton = nullptr;
};

// Edits NOTES of the received table's current record; true when the user accepted and
// the record was written. `centre` places the editor (may be empty); `beforeExec` runs on
// the editor once it is filled (tests answer it there).
bool editReceivedNotes(faxlog::TDbeTable& received, QWidget* parent,
                       const std::function<void(QWidget*)>& centre = {},
                       const std::function<void(TEditReceiveNotes&)>& beforeExec = {});

} // namespace workflow::receive
