// The conditions dialog of the cleanup utility: which field (FROM on the incoming page,
// RECIPIENT or PHONE on the outgoing page) must hold which text, exactly or in part.
#pragma once

#include "log_cleanup.h"

#include <QDialog>
#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace maintenance {

class TDeleteForConditions : public QDialog {
    Q_OBJECT
public:
    explicit TDeleteForConditions(QWidget* parent = nullptr);

    // Outgoing: FROM disabled, RECIPIENT chosen, RECIPIENT and PHONE prefilled.
    // Incoming: RECIPIENT and PHONE disabled, FROM chosen and prefilled.
    void setupFor(CleanupPage page, const QString& recipient, const QString& phone, const QString& from);

    MatchField selectedField() const;
    QString selectedText() const;
    bool exactMatch() const;
    // The xBase condition of the choice; empty when the text is blank.
    std::string condition() const;

    QRadioButton* FromRadio = nullptr;
    QRadioButton* RecipientRadio = nullptr;
    QRadioButton* PhoneRadio = nullptr;
    QLineEdit* FaxFROM = nullptr;
    QLineEdit* FaxRECIPIENT = nullptr;
    QLineEdit* FaxPHONE = nullptr;
    QCheckBox* ExactMatch = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

private:
    void OkButtonClick();
};

} // namespace maintenance
