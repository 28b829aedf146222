#include "log_open_rescue.h"

#include "message_boxes.h"

#include <QMessageBox>
#include <QPushButton>

namespace app {
namespace {

enum class RescueChoice { Repair, ReadOnly, Close };

RescueChoice ask(QWidget* parent, const QString& line, const LogOpenProblem& problem, const QString& before) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), line, QMessageBox::NoButton,
                    parent ? parent->window() : nullptr);
    QString details = before;
    if (!details.isEmpty())
        details += QStringLiteral("\n\n");
    details += QStringLiteral("File: %1\nProblem: %2")
                   .arg(QString::fromStdString(problem.file), QString::fromStdString(problem.detail));
    if (problem.repairable)
        details += QStringLiteral("\n\nRepair first keeps a copy of each file it changes, beside it.");
    if (problem.readable)
        details += QStringLiteral("\n\nRead-only: the log can be viewed but not changed.");
    box.setInformativeText(details);
    QPushButton* repair = nullptr;
    QPushButton* readOnly = nullptr;
    if (problem.repairable) {
        repair = box.addButton(QStringLiteral("&Repair"), QMessageBox::AcceptRole);
        repair->setObjectName(QLatin1String(kRepairButtonName));
    }
    if (problem.readable) {
        readOnly = box.addButton(QStringLiteral("Open &Read-Only"), QMessageBox::AcceptRole);
        readOnly->setObjectName(QLatin1String(kReadOnlyButtonName));
    }
    QPushButton* close = box.addButton(QStringLiteral("&Close Program"), QMessageBox::RejectRole);
    close->setObjectName(QLatin1String(kCloseButtonName));
    box.setEscapeButton(close);
    box.setDefaultButton(repair ? repair : readOnly ? readOnly : close);
    box.exec();
    // A box closed some other way closes the program, as the plain message did.
    if (repair && box.clickedButton() == repair)
        return RescueChoice::Repair;
    if (readOnly && box.clickedButton() == readOnly)
        return RescueChoice::ReadOnly;
    return RescueChoice::Close;
}

} // namespace

std::unique_ptr<LogTable> rescueLogTable(QWidget* parent, LogOpenRescue& rescue, LogKind kind, const QString& line,
                                         const std::function<std::unique_ptr<LogTable>()>& reopen) {
    QString before;
    // A repair that fixes one fault may uncover another; a few rounds are plenty.
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        const LogOpenProblem problem = rescue.diagnose(kind);
        switch (ask(parent, line, problem, before)) {
        case RescueChoice::Close:
            return nullptr;
        case RescueChoice::ReadOnly:
            if (auto table = rescue.openReadOnly(kind))
                return table;
            before = QStringLiteral("Opening read-only failed too.");
            break;
        case RescueChoice::Repair: {
            std::string report;
            if (!rescue.repair(kind, &report)) {
                before = QStringLiteral("The repair failed: ") + QString::fromStdString(report);
                break;
            }
            if (auto table = reopen()) {
                informationBox(parent, QString::fromStdString(report));
                return table;
            }
            before = QString::fromStdString(report) + QStringLiteral("\nThe table still does not open.");
            break;
        }
        }
    }
    return nullptr;
}

} // namespace app
