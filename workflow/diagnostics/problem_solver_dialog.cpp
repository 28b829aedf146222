#include "workflow/diagnostics/problem_solver_dialog.h"

#include "workflow/diagnostics/diagnostic_rules.h"
#include "workflow/diagnostics/problem_solver_topics.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace diagnostics {

namespace {
constexpr int kTopicRole = Qt::UserRole;
constexpr double kPrintMarginInches = 0.5;

void addNodes(QTreeWidgetItem* parent, QTreeWidget* tree, const std::vector<TopicNode>& nodes) {
    for (const auto& n : nodes) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        item->setText(0, n.title);
        item->setData(0, kTopicRole, n.topic);
        if (n.topic < 0) {
            QFont f = item->font(0);
            f.setBold(true);
            item->setFont(0, f);
        }
        addNodes(item, tree, n.children);
    }
}

class HourglassCursor {
public:
    HourglassCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassCursor() { QGuiApplication::restoreOverrideCursor(); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;
};
} // namespace

TFaxProblemSolverDialog::TFaxProblemSolverDialog(int topic, std::function<settings::Settings()> settingsSource,
                                                 QWidget* parent)
    : QDialog(parent), wantedTopic_(topic), settingsSource_(std::move(settingsSource)) {
    setObjectName(QStringLiteral("TFaxProblemSolverDialog"));
    setWindowTitle(tr("Fax Problem Solver"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("Choose the problem on the left; what to try appears on the right."), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* split = new QSplitter(this);
    ProblemsTreeView = new QTreeWidget(split);
    ProblemsTreeView->setObjectName(QStringLiteral("ProblemsTreeView"));
    ProblemsTreeView->setHeaderHidden(true);
    ProblemsTreeView->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    PageControl1 = new QTabWidget(split);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PossibleSolutionsTabSheet = new QWidget(PageControl1);
    PossibleSolutionsTabSheet->setObjectName(QStringLiteral("PossibleSolutionsTabSheet"));
    auto* pageLayout = new QVBoxLayout(PossibleSolutionsTabSheet);
    SolutionsDisplayRTF = new QTextBrowser(PossibleSolutionsTabSheet);
    SolutionsDisplayRTF->setObjectName(QStringLiteral("SolutionsDisplayRTF"));
    SolutionsDisplayRTF->setOpenLinks(false);
    pageLayout->addWidget(SolutionsDisplayRTF);
    PageControl1->addTab(PossibleSolutionsTabSheet, tr("Possible Solutions"));
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    layout->addWidget(split, 1);

    auto* buttons = new QHBoxLayout;
    PrintButton = new QPushButton(tr("&Print"), this);
    CopyButton = new QPushButton(tr("&Copy"), this);
    CloseButton = new QPushButton(tr("Close"), this);
    PrintButton->setAutoDefault(false);
    CopyButton->setAutoDefault(false);
    CloseButton->setDefault(true);
    buttons->addWidget(PrintButton);
    buttons->addWidget(CopyButton);
    buttons->addStretch(1);
    buttons->addWidget(CloseButton);
    layout->addLayout(buttons);

    connect(PrintButton, &QPushButton::clicked, this, &TFaxProblemSolverDialog::printSolution);
    connect(CopyButton, &QPushButton::clicked, this, &TFaxProblemSolverDialog::copyToClipboard);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ProblemsTreeView, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item, QTreeWidgetItem*) { showTopic(item); });
    connect(ProblemsTreeView, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        if (item && item->data(0, kTopicRole).toInt() >= 0)
            PageControl1->setCurrentWidget(PossibleSolutionsTabSheet);
    });
    resize(fontMetrics().averageCharWidth() * 130, fontMetrics().height() * 40);
}

bool TFaxProblemSolverDialog::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        analysis_ = configurationAnalysisHtml(settingsSource_ ? settingsSource_() : settings::Settings{});
        if (currentTopic() == kTopicConfiguration)
            showTopic(ProblemsTreeView->currentItem());
    }
    return QDialog::event(e);
}

void TFaxProblemSolverDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!built_) {
        built_ = true;
        buildTree();
        selectInitial();
    }
}

void TFaxProblemSolverDialog::buildTree() {
    ProblemsTreeView->clear();
    addNodes(nullptr, ProblemsTreeView, topicTree());
    ProblemsTreeView->expandAll();
    // Wide enough for the longest title, so none is cut short.
    ProblemsTreeView->resizeColumnToContents(0);
    const int wanted = ProblemsTreeView->columnWidth(0) + ProblemsTreeView->verticalScrollBar()->sizeHint().width() +
                       ProblemsTreeView->frameWidth() * 2 + fontMetrics().averageCharWidth() * 2;
    ProblemsTreeView->setMinimumWidth(wanted);
    if (width() < wanted * 2 + 40)
        resize(wanted * 2 + 40, height());
}

void TFaxProblemSolverDialog::selectInitial() {
    QTreeWidgetItem* match = nullptr;
    if (wantedTopic_ >= 0)
        for (QTreeWidgetItemIterator it(ProblemsTreeView); *it && !match; ++it)
            if ((*it)->data(0, kTopicRole).toInt() == wantedTopic_)
                match = *it;
    if (!match)
        match = ProblemsTreeView->topLevelItem(0);
    ProblemsTreeView->setCurrentItem(match);
    ProblemsTreeView->scrollToItem(match);
    showTopic(match);
}

void TFaxProblemSolverDialog::showTopic(QTreeWidgetItem* item) {
    const int topic = item ? item->data(0, kTopicRole).toInt() : -1;
    const bool hasTopic = topic >= 0;
    PageControl1->setTabVisible(0, hasTopic);
    PossibleSolutionsTabSheet->setVisible(hasTopic);
    if (!hasTopic) {
        SolutionsDisplayRTF->clear();
        return;
    }
    const settings::Settings s = settingsSource_ ? settingsSource_() : settings::Settings{};
    SolutionsDisplayRTF->setHtml(topic == kTopicConfiguration && !analysis_.isEmpty()
                                     ? analysis_
                                     : composeTopic(topic, item->text(0), s));
}

int TFaxProblemSolverDialog::currentTopic() const {
    auto* item = ProblemsTreeView->currentItem();
    return item ? item->data(0, kTopicRole).toInt() : -1;
}

QString TFaxProblemSolverDialog::currentTitle() const {
    auto* item = ProblemsTreeView->currentItem();
    return item ? item->text(0) : QString();
}

QString TFaxProblemSolverDialog::solutionText() const { return SolutionsDisplayRTF->toPlainText(); }

bool TFaxProblemSolverDialog::solutionsPageShown() const { return PageControl1->isTabVisible(0); }

void TFaxProblemSolverDialog::copyToClipboard() {
    HourglassCursor busy;
    QApplication::clipboard()->setText(solutionText());
}

void TFaxProblemSolverDialog::printSolution() {
    if (!solutionsPageShown())
        return;
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    printOn(printer);
}

void TFaxProblemSolverDialog::printOn(QPrinter& printer) {
    printer.setDocName(currentTitle());
    printer.setPageMargins(QMarginsF(kPrintMarginInches, kPrintMarginInches, kPrintMarginInches, kPrintMarginInches),
                           QPageLayout::Inch);
    SolutionsDisplayRTF->document()->print(&printer);
}

} // namespace diagnostics
