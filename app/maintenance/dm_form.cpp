#include "dm_form.h"

#include "cleanup_boxes.h"
#include "date_selector.h"
#include "delete_for_conditions.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>

namespace maintenance {
namespace {

const char* pageCaption(CleanupPage page, bool empty) {
    switch (page) {
    case CleanupPage::Outgoing: return empty ? "OutGoing Faxes (none)" : "Outgoing Faxes";
    case CleanupPage::Incoming: return empty ? "Incoming Faxes (none)" : "Incoming Faxes";
    }
    return "";
}

int pageIndex(CleanupPage page) { return page == CleanupPage::Outgoing ? 0 : 1; }

} // namespace

TDMForm::TDMForm(CleanupTables tables, QWidget* parent) : QDialog(parent), tables_(tables) {
    setObjectName("TDMForm");
    setWindowTitle(tr("Fax Log Cleanup Utility"));
    auto* layout = new QVBoxLayout(this);

    MainMenu = new QMenuBar(this);
    Actions = MainMenu->addMenu(tr("&Actions"));
    Actions->setObjectName("Actions");
    const auto action = [this](const char* name, const QString& caption, void (TDMForm::*slot)()) {
        auto* a = new QAction(caption, this);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        Actions->addAction(a);
        return a;
    };
    mnuDeleteCurrent = action("mnuDeleteCurrent", tr("Delete Current Fax"), &TDMForm::DeleteCurrentClick);
    mnuDeleteCurrent->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    mnuDeleteBefore = action("mnuDeleteBefore", tr("Delete All Before A Particular Date"), &TDMForm::DeleteBeforeDateClick);
    mnuDeleteSent = action("mnuDeleteSent", tr("Delete All that Have Been Sent"), &TDMForm::DeleteSentClick);
    mnuDeleteUnsent = action("mnuDeleteUnsent", tr("Delete All That Have NOT Been Sent"), &TDMForm::DeleteUnsentClick);
    mnuDeleteConditions = action("mnuDeleteConditions", tr("Delete All Faxes Meeting Certain Conditions..."),
                                 &TDMForm::DeleteByConditionsClick);
    mnuDeleteAll = action("mnuDeleteAll", tr("Delete All Faxes"), &TDMForm::DeleteAllClick);
    addActions(Actions->actions()); // the shortcut works wherever the focus is
    layout->setMenuBar(MainMenu);

    GridMenu = new QMenu(this);
    GridMenu->setObjectName("GridMenu");
    GridMenu->addAction(tr("Delete"), this, &TDMForm::DeleteCurrentClick);

    sentModel_ = new CleanupModel(CleanupPage::Outgoing, tables_.sent, this);
    receivedModel_ = new CleanupModel(CleanupPage::Incoming, tables_.received, this);
    Pages = new QTabWidget(this);
    Pages->setObjectName("Pages");
    SendGrid = makeGrid("SendGrid", sentModel_);
    RecGrid = makeGrid("RecGrid", receivedModel_);
    Pages->addTab(SendGrid, tr("Outgoing Faxes"));
    Pages->addTab(RecGrid, tr("Incoming Faxes"));
    layout->addWidget(Pages);
    connect(Pages, &QTabWidget::currentChanged, this, [this] { updateCommands(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    CloseButton = new QPushButton(tr("Close"), this);
    CloseButton->setObjectName("CloseButton");
    HelpButton = new QPushButton(tr("Help"), this);
    HelpButton->setObjectName("HelpButton");
    buttons->addWidget(CloseButton);
    buttons->addWidget(HelpButton);
    layout->addLayout(buttons);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(HelpButton, &QPushButton::clicked, this, [this] {
        if (showHelp)
            showHelp(kHelpContext);
    });
    resize(760, 440);
}

QTableView* TDMForm::makeGrid(const char* name, CleanupModel* gridModel) {
    auto* grid = new QTableView(this);
    grid->setObjectName(name);
    grid->setModel(gridModel);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    grid->verticalHeader()->hide();
    QPalette pal = grid->palette();
    pal.setColor(QPalette::Base, QToolTip::palette().color(QPalette::ToolTipBase));
    pal.setColor(QPalette::Text, QToolTip::palette().color(QPalette::ToolTipText));
    grid->setPalette(pal);
    const CleanupPage page = gridModel == sentModel_ ? CleanupPage::Outgoing : CleanupPage::Incoming;
    connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this, page](const QModelIndex& current) {
                const long recno = model(page)->recnoOf(current.row());
                if (recno > 0)
                    table(page).go(recno);
            });
    connect(grid, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.column() == CleanupModel::kDeletedColumn)
            DeleteCurrentClick();
    });
    connect(grid, &QWidget::customContextMenuRequested, this,
            [this, grid](const QPoint& at) { GridMenu->popup(grid->viewport()->mapToGlobal(at)); });
    return grid;
}

CleanupPage TDMForm::activePage() const {
    return Pages->currentIndex() == 1 ? CleanupPage::Incoming : CleanupPage::Outgoing;
}

void TDMForm::setActivePage(CleanupPage page) { Pages->setCurrentIndex(pageIndex(page)); }

QTableView* TDMForm::grid(CleanupPage page) const { return page == CleanupPage::Outgoing ? SendGrid : RecGrid; }

CleanupModel* TDMForm::model(CleanupPage page) const {
    return page == CleanupPage::Outgoing ? sentModel_ : receivedModel_;
}

faxlog::TDbeTable& TDMForm::table(CleanupPage page) const {
    return page == CleanupPage::Outgoing ? tables_.sent : tables_.received;
}

void TDMForm::selectRow(int row) {
    QTableView* g = grid(activePage());
    g->setCurrentIndex(g->model()->index(row, 0));
}

void TDMForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (firstActivation_) {
        firstActivation_ = false;
        FormActivate();
    }
}

void TDMForm::FormActivate() {
    savedSentFilter_ = tables_.sent.dbFilter();
    savedReceivedFilter_ = tables_.received.dbFilter();
    for (CleanupPage page : {CleanupPage::Outgoing, CleanupPage::Incoming}) {
        table(page).query("");
        table(page).refresh();
        model(page)->refresh();
        followTable(page);
    }
    setActivePage(CleanupPage::Outgoing);
    for (QTableView* g : {SendGrid, RecGrid}) {
        g->resizeColumnsToContents();
        g->horizontalHeader()->setStretchLastSection(true);
    }
    updateCommands();
}

void TDMForm::done(int result) {
    // The main window's views come back as they were.
    try {
        tables_.sent.query(savedSentFilter_);
        tables_.received.query(savedReceivedFilter_);
    } catch (const std::exception&) {
    }
    QDialog::done(result);
}

void TDMForm::updateCommands() {
    const CleanupPage active = activePage();
    mnuDeleteSent->setVisible(active == CleanupPage::Outgoing);
    mnuDeleteUnsent->setVisible(active == CleanupPage::Outgoing);
    for (CleanupPage page : {CleanupPage::Outgoing, CleanupPage::Incoming}) {
        const bool empty = model(page)->rowCount() == 0;
        QTableView* g = grid(page);
        g->setEnabled(!empty);
        g->setContextMenuPolicy(empty ? Qt::NoContextMenu : Qt::CustomContextMenu);
        Pages->setTabText(pageIndex(page), tr(pageCaption(page, empty)));
    }
    const bool enabled = grid(active)->isEnabled();
    Actions->setEnabled(enabled);
    Actions->menuAction()->setEnabled(enabled);
    for (QAction* a : Actions->actions())
        a->setEnabled(enabled);
}

void TDMForm::followTable(CleanupPage page) {
    faxlog::TDbeTable& t = table(page);
    QTableView* g = grid(page);
    const int row = t.hasRecord() ? model(page)->rowOfRecno(t.recNo()) : -1;
    QSignalBlocker block(g->selectionModel());
    if (row >= 0)
        g->setCurrentIndex(g->model()->index(row, 0));
    else
        g->clearSelection();
}

void TDMForm::DeleteCurrentClick() {
    const CleanupPage page = activePage();
    faxlog::TDbeTable& t = table(page);
    if (!t.hasRecord() || model(page)->rowCount() == 0)
        return;
    if (!question(this, tr("Delete this fax? (action is permanent)"), tr("DELETE")))
        return;
    deleteCurrent(t, page, tables_.programDir);
    rebuildWanted_ = true;
    model(page)->refresh();
    followTable(page);
    updateCommands();
}

void TDMForm::DeleteBeforeDateClick() {
    const CleanupPage page = activePage();
    TDateSelector selector(this);
    if (selector.exec() != QDialog::Accepted)
        return;
    const QDate chosen = selector.date();
    const QString text = tr("Delete all ") + QString::fromLatin1(pageWord(page)) + tr(" faxes prior to ") +
                         QLocale().toString(chosen, QLocale::LongFormat) + tr(" (action is permanent)?");
    if (!question(this, text, tr("DELETE")))
        return;
    const faxlog::XDate date = faxlog::XDate::fromDtos(chosen.toString(QStringLiteral("yyyyMMdd")).toStdString());
    deleteWhereCondition(beforeDateCondition(page, date));
}

void TDMForm::DeleteSentClick() {
    if (activePage() != CleanupPage::Outgoing)
        return;
    if (question(this, tr("Delete all outgoing faxes which have been sent? (action is permanent)"), tr("DELETE")))
        deleteWhereCondition(kSentCondition);
}

void TDMForm::DeleteUnsentClick() {
    if (activePage() != CleanupPage::Outgoing)
        return;
    if (question(this, tr("Delete all outgoing faxes which have NOT been sent? (action is permanent)"), tr("DELETE")))
        deleteWhereCondition(kUnsentCondition);
}

void TDMForm::DeleteByConditionsClick() {
    const CleanupPage page = activePage();
    faxlog::TDbeTable& t = table(page);
    TDeleteForConditions dialog(this);
    const auto field = [&](const char* name) {
        return t.hasRecord() ? QString::fromStdString(t.getTrimString(name)) : QString();
    };
    if (page == CleanupPage::Outgoing)
        dialog.setupFor(page, field("RECIPIENT"), field("PHONE"), {});
    else
        dialog.setupFor(page, {}, {}, field("FROM"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::string condition = dialog.condition();
    if (!condition.empty())
        deleteWhereCondition(condition);
}

void TDMForm::DeleteAllClick() {
    const CleanupPage page = activePage();
    const QString text = tr("Delete all ") + QString::fromLatin1(pageWord(page)) + tr(" faxes ? (action is permanent)");
    if (question(this, text, tr("DELETE ALL")))
        deleteWhereCondition(kAllCondition);
}

void TDMForm::deleteWhereCondition(const std::string& condition) {
    const CleanupPage page = activePage();
    QTableView* g = grid(page);
    g->setEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    long count = 0;
    QString failure;
    try {
        count = deleteWhere(table(page), tables_.env, page, condition, tables_.programDir);
    } catch (const std::exception& e) {
        failure = QString::fromStdString(e.what());
    }
    QGuiApplication::restoreOverrideCursor();
    g->setEnabled(true);
    model(page)->refresh();
    followTable(page);
    g->setFocus();
    if (!failure.isEmpty()) {
        informationBox(this, tr("Nothing was deleted: the condition could not be used.\r") + failure);
        updateCommands();
        return;
    }
    if (count > 0)
        rebuildWanted_ = true;
    informationBox(this, QString::number(count) + tr(" deleted."));
    updateCommands();
}

} // namespace maintenance
