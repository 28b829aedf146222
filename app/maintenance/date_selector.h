// The date dialog of the cleanup utility: a month calendar with buttons that step it by
// a year or a month or bring it to today, and a panel naming the chosen day.
#pragma once

#include <QDate>
#include <QDialog>

class QCalendarWidget;
class QLabel;
class QPushButton;

namespace maintenance {

class TDateSelector : public QDialog {
    Q_OBJECT
public:
    explicit TDateSelector(QWidget* parent = nullptr);

    QDate date() const;
    void setDate(const QDate& date);

    QCalendarWidget* calendar() const { return Calendar; }
    // "dddd, mmmm d, yyyy" in the user's language.
    QString panelText() const;

    QPushButton* YearBack = nullptr;
    QPushButton* MonthBack = nullptr;
    QPushButton* TodayButton = nullptr;
    QPushButton* MonthForward = nullptr;
    QPushButton* YearForward = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

private:
    void showChosen();

    QCalendarWidget* Calendar = nullptr;
    QLabel* Panel = nullptr;
};

} // namespace maintenance
