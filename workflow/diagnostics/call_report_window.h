// The call report in a window: the cause and what to try on top, the ladder below, and a
// button to the problem solver's topic for the cause.
#pragma once

#include "faxengine/call_report.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace diagnostics {

class TCallReportForm : public QDialog {
    Q_OBJECT
public:
    // `report` empty: the file could not be read.
    TCallReportForm(const QString& path, std::optional<faxengine::CallReport> report, QWidget* parent = nullptr);

    QString reportText() const;
    int topic() const { return topic_; }

private:
    QPlainTextEdit* ReportMemo = nullptr;
    QPushButton* ProblemSolverButton = nullptr;
    int topic_ = 255;
};

} // namespace diagnostics
