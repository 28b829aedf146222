// TFaxProblemSolverDialog: a tree of topics on the left, the chosen topic's advice on the
// right, with print, copy and close. The analysis of the current settings is built
// afresh every time the window is activated.
#pragma once

#include "settings/settings.h"

#include <QDialog>

#include <functional>

class QPrinter;
class QPushButton;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace diagnostics {

class TFaxProblemSolverDialog : public QDialog {
    Q_OBJECT
public:
    // `settingsSource` gives the settings to analyse (the live record in the program).
    TFaxProblemSolverDialog(int topic, std::function<settings::Settings()> settingsSource, QWidget* parent = nullptr);

    int currentTopic() const;
    QString currentTitle() const;
    QString solutionText() const; // as plain text
    bool solutionsPageShown() const;
    QTreeWidget* tree() const { return ProblemsTreeView; }

    void copyToClipboard();
    // Prints the shown topic after the print dialog; without the solutions page nothing happens.
    void printSolution();
    // Prints the shown topic on `printer`: the topic's title names the job, half an inch of
    // margin on every side.
    void printOn(QPrinter& printer);

protected:
    void showEvent(QShowEvent* e) override;
    bool event(QEvent* e) override;

private:
    void buildTree();
    void selectInitial();
    void showTopic(QTreeWidgetItem* item);

    int wantedTopic_;
    std::function<settings::Settings()> settingsSource_;
    bool built_ = false;
    QString analysis_;

    QTreeWidget* ProblemsTreeView = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* PossibleSolutionsTabSheet = nullptr;
    QTextBrowser* SolutionsDisplayRTF = nullptr;
    QPushButton* PrintButton = nullptr;
    QPushButton* CopyButton = nullptr;
    QPushButton* CloseButton = nullptr;
};

} // namespace diagnostics
