#include "workflow/diagnostics/call_report_window.h"

#include "workflow/diagnostics/diagnostics.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace diagnostics {

TCallReportForm::TCallReportForm(const QString& path, std::optional<faxengine::CallReport> report, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("TCallReportForm"));
    setWindowTitle(tr("Call Report"));
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(this);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    ReportMemo = new QPlainTextEdit(this);
    ReportMemo->setReadOnly(true);
    ReportMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    ReportMemo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(ReportMemo, 1);
    if (report) {
        heading->setText(QStringLiteral("<b>%1</b>").arg(
            QString::fromUtf8(faxengine::causeExplanation(report->cause).data()).toHtmlEscaped()));
        ReportMemo->setPlainText(QString::fromStdString(faxengine::formatCallReport(*report)));
        topic_ = faxengine::causeTopic(report->cause);
    } else {
        heading->setText(tr("The call report %1 could not be read.").arg(path.toHtmlEscaped()));
    }
    auto* buttons = new QHBoxLayout;
    ProblemSolverButton = new QPushButton(tr(" Fax Problem Solver"), this);
    ProblemSolverButton->setEnabled(topic_ != 255);
    auto* copy = new QPushButton(tr("Copy"), this);
    auto* close = new QPushButton(tr("Close"), this);
    close->setDefault(true);
    buttons->addWidget(ProblemSolverButton);
    buttons->addWidget(copy);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(ProblemSolverButton, &QPushButton::clicked, this, [this] { openProblemSolver(this, topic_); });
    connect(copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(reportText()); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    resize(ReportMemo->fontMetrics().averageCharWidth() * 96, ReportMemo->fontMetrics().height() * 32);
}

QString TCallReportForm::reportText() const { return ReportMemo->toPlainText(); }

} // namespace diagnostics
