// The main window's construction: widgets, menu, and the start-up steps that run while
// the window is being built.
#include "main_screen.h"

#include "hint_control.h"
#include "log_open_rescue.h"
#include "message_boxes.h"
#include "settings/settings.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSoundEffect>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>

namespace app {

namespace {

QPushButton* makeButton(QWidget* parent, const char* objectName, const QString& caption,
                        QStyle::StandardPixmap icon, const QString& hint = {}) {
    auto* button = new QPushButton(parent->style()->standardIcon(icon), caption, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setToolTip(hint);
    button->setAutoDefault(false);
    return button;
}

QAction* makeAction(QMenu* menu, const char* objectName, const QString& caption,
                    const QString& hint = {}, const QKeySequence& shortcut = {}) {
    auto* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setToolTip(hint.isEmpty() ? QString(caption).remove(QLatin1Char('&')) : hint);
    action->setStatusTip(hint);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

} // namespace

TMainScreen::TMainScreen(std::filesystem::path programDir, LogTableOpener opener, Options options,
                         QWidget* parent)
    : QMainWindow(parent), programDir_(std::move(programDir)), opener_(std::move(opener)),
      options_(options) {
    setObjectName(QStringLiteral("TMainScreen"));
    setWindowTitle(QStringLiteral("Parvane"));
    firstActivation_ = true;

    buildWidgets();
    buildMenu();
    setPage(LogPage::Sent);

    openLogTables();

    auto& s = settings::current();
    settings::loadSettings(s, programDir_);
    if (s.modem.comPort == -1) {
        firstRun_ = true;
        s.modem.comPort = 0;
    }

    receivingNow_ = false;
    receiveMode_ = false;

    // Errors (also "already exists") do not matter here: receiving reports its own.
    std::error_code ignored;
    std::filesystem::create_directory(programDir_ / "receive", ignored);

    mnuShowHint->setChecked(s.hintsOn);
    if (options_.hints)
        options_.hints->setEnabled(s.hintsOn);
}

TMainScreen::~TMainScreen() = default;

void TMainScreen::openLogTables() {
    auto open = [this](LogKind kind) -> std::unique_ptr<LogTable> {
        try {
            return opener_ ? opener_(kind, programDir_) : nullptr;
        } catch (const std::exception&) {
            return nullptr;
        }
    };
    // A table that does not open: say which file and what is wrong, and offer what can
    // still be done before giving up.
    auto openOrRescue = [&](LogKind kind, const QString& line) -> std::unique_ptr<LogTable> {
        if (auto table = open(kind))
            return table;
        if (!options_.rescue) {
            informationBox(this, line);
            return nullptr;
        }
        return rescueLogTable(this, *options_.rescue, kind, line, [&] { return open(kind); });
    };
    FaxTable = openOrRescue(LogKind::Sent, QStringLiteral("Unable to open/create the FAX datafile - closing program"));
    if (!FaxTable) {
        startupFailed_ = true;
        QCoreApplication::postEvent(this, new QEvent(kCloseMessage));
    }
    RecTable = openOrRescue(LogKind::Received,
                            QStringLiteral("Unable to open/create the FAX RECEIVE datafile - closing program"));
    if (!RecTable) {
        startupFailed_ = true;
        QCoreApplication::postEvent(this, new QEvent(kCloseMessage));
    }
    if ((FaxTable && FaxTable->readOnly()) || (RecTable && RecTable->readOnly()))
        setWindowTitle(QStringLiteral("Parvane (log read-only)"));
    // Records taken back in while opening are told, not hidden.
    QStringList recovered;
    for (LogTable* t : {FaxTable.get(), RecTable.get()})
        if (t && !t->recoveryNote().empty())
            recovered << QString::fromStdString(t->recoveryNote());
    if (!recovered.isEmpty())
        informationBox(this, QStringLiteral("The fax log was not closed properly; records were recovered.\n") +
                                 recovered.join(QLatin1Char('\n')));
    FaxDataSource->setTable(FaxTable.get());
    RecDataSource->setTable(RecTable.get());
}

QWidget* TMainScreen::buildPage(const QString& title, const QColor& colour, QTableView* grid) {
    auto* page = new QWidget;
    auto* titleBar = new QLabel(title, page);
    titleBar->setAlignment(Qt::AlignCenter);
    titleBar->setAutoFillBackground(true);
    QPalette palette = titleBar->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::WindowText, Qt::white);
    titleBar->setPalette(palette);
    QFont bold = titleBar->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    titleBar->setFont(bold);
    titleBar->setContentsMargins(0, 4, 0, 4);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(titleBar);
    layout->addWidget(grid, 1);
    return page;
}

void TMainScreen::buildWidgets() {
    auto* central = new QWidget(this);
    setCentralWidget(central);

    // Top bar: the commands on the selected fax.
    ButtonBar = new QWidget(central);
    ButtonBar->setObjectName(QStringLiteral("ButtonBar"));
    Newbutton = makeButton(ButtonBar, "Newbutton", tr("&New"), QStyle::SP_FileIcon);
    EditButton = makeButton(ButtonBar, "EditButton", tr("&Edit"), QStyle::SP_FileDialogDetailedView);
    DeleteButton = makeButton(ButtonBar, "DeleteButton", tr("&Delete"), QStyle::SP_TrashIcon,
                              QStringLiteral("Delete  the currently selected fax"));
    ViewFaxButton = makeButton(ButtonBar, "ViewFaxButton", tr("&View"),
                               QStyle::SP_FileDialogContentsView);
    SendButton = makeButton(ButtonBar, "SendButton", tr("&Send"), QStyle::SP_ArrowRight);
    ReceiveButton = makeButton(ButtonBar, "ReceiveButton", tr("&Receive"), QStyle::SP_ArrowLeft,
                               QStringLiteral("Start receiving faxes"));
    auto* top = new QHBoxLayout(ButtonBar);
    top->setContentsMargins(6, 6, 6, 6);
    for (QPushButton* b : {Newbutton, EditButton, DeleteButton})
        top->addWidget(b);
    top->addSpacing(16);
    for (QPushButton* b : {ViewFaxButton, SendButton})
        top->addWidget(b);
    top->addSpacing(16);
    top->addWidget(ReceiveButton);
    top->addStretch();

    // The two pages.
    FaxGrid = new QTableView;
    FaxGrid->setObjectName(QStringLiteral("FaxGrid"));
    RecFaxGrid = new QTableView;
    RecFaxGrid->setObjectName(QStringLiteral("RecFaxGrid"));
    FaxDataSource = new FaxLogModel(LogKind::Sent, this);
    RecDataSource = new FaxLogModel(LogKind::Received, this);
    FaxGrid->setModel(FaxDataSource);
    RecFaxGrid->setModel(RecDataSource);
    for (QTableView* grid : {FaxGrid, RecFaxGrid}) {
        grid->setSelectionBehavior(QAbstractItemView::SelectRows);
        grid->setSelectionMode(QAbstractItemView::SingleSelection);
        grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
        grid->setAlternatingRowColors(true);
        grid->setWordWrap(false);
        grid->setTabKeyNavigation(false);
        grid->verticalHeader()->setVisible(false);
        grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 8);
        grid->horizontalHeader()->setHighlightSections(false);
        grid->horizontalHeader()->setStretchLastSection(true);
        grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    auto sizeColumns = [](QTableView* grid, LogKind kind) {
        const QFontMetrics metrics(grid->font());
        const auto& columns = logColumns(kind);
        const int dateWidth = metrics.horizontalAdvance(FaxLogModel::formatDate("20261231"));
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const LogColumn& c = columns[i];
            int width = metrics.horizontalAdvance(QString::fromLatin1(c.label));
            if (c.displayChars > 0)
                width = std::max(width, c.displayChars * metrics.averageCharWidth());
            if (c.format == LogColumn::Format::Date)
                width = std::max(width, dateWidth);
            grid->setColumnWidth(int(i), width + 3 * metrics.averageCharWidth());
        }
    };
    sizeColumns(FaxGrid, LogKind::Sent);
    sizeColumns(RecFaxGrid, LogKind::Received);

    NoteBook = new QStackedWidget(central);
    NoteBook->setObjectName(QStringLiteral("NoteBook"));
    NoteBook->addWidget(buildPage(tr("Outgoing Faxes"), QColor(0x1f, 0x3f, 0x9f), FaxGrid));
    NoteBook->addWidget(buildPage(tr("Incoming Faxes"), QColor(0x1b, 0x7a, 0x2e), RecFaxGrid));

    TabSet1 = new QTabBar(central);
    TabSet1->setObjectName(QStringLiteral("TabSet1"));
    TabSet1->setShape(QTabBar::RoundedSouth);
    TabSet1->setExpanding(false);
    TabSet1->setDrawBase(false);
    TabSet1->addTab(tr("Outgoing"));
    TabSet1->addTab(tr("Incoming"));

    status = new QLabel(central);
    status->setObjectName(QStringLiteral("status"));
    status->setAlignment(Qt::AlignCenter);
    QPalette blue = status->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 0xc0));
    status->setPalette(blue);
    status->setMinimumHeight(status->fontMetrics().height() + 6);

    // Bottom bar: setup, help and leaving.
    auto* bottomBar = new QWidget(central);
    BitBtn1 = makeButton(bottomBar, "BitBtn1", tr("Preferences"), QStyle::SP_FileDialogListView);
    ProblemSolverButton = makeButton(bottomBar, "ProblemSolverButton", tr("Problem Solver"),
                                     QStyle::SP_MessageBoxQuestion);
    Exitbutton = makeButton(bottomBar, "Exitbutton", tr("E&xit"), QStyle::SP_DialogCloseButton,
                            QStringLiteral("Exit the program"));
    auto* bottom = new QHBoxLayout(bottomBar);
    bottom->setContentsMargins(6, 0, 6, 6);
    bottom->addWidget(BitBtn1);
    bottom->addWidget(ProblemSolverButton);
    bottom->addStretch();
    bottom->addWidget(Exitbutton);

    auto* tabRow = new QHBoxLayout;
    tabRow->setContentsMargins(6, 0, 6, 0);
    tabRow->addWidget(TabSet1);
    tabRow->addStretch();

    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ButtonBar);
    auto* pageFrame = new QVBoxLayout;
    pageFrame->setContentsMargins(6, 0, 6, 0);
    pageFrame->addWidget(NoteBook);
    layout->addLayout(pageFrame, 1);
    layout->addLayout(tabRow);
    layout->addWidget(status);
    layout->addWidget(bottomBar);

    connect(Newbutton, &QPushButton::clicked, this, &TMainScreen::NewbuttonClick);
    connect(EditButton, &QPushButton::clicked, this, &TMainScreen::EditButtonClick);
    connect(DeleteButton, &QPushButton::clicked, this, &TMainScreen::DeleteButtonClick);
    connect(ViewFaxButton, &QPushButton::clicked, this, &TMainScreen::ViewFaxButtonClick);
    connect(SendButton, &QPushButton::clicked, this, &TMainScreen::SendButtonClick);
    connect(ReceiveButton, &QPushButton::clicked, this, &TMainScreen::ReceiveButtonClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TMainScreen::mnuPreferencesClick);
    connect(ProblemSolverButton, &QPushButton::clicked, this, &TMainScreen::ProblemSolverButtonClick);
    connect(Exitbutton, &QPushButton::clicked, this, &TMainScreen::ExitbuttonClick);
    connect(TabSet1, &QTabBar::currentChanged, this, &TMainScreen::TabSet1Change);
    connect(FaxGrid, &QTableView::doubleClicked, this, &TMainScreen::ViewFaxButtonClick);
    connect(RecFaxGrid, &QTableView::doubleClicked, this, &TMainScreen::ViewFaxButtonClick);

    // The grid's current row is the table's current record.
    auto follow = [](QTableView* grid, LogTable* (TMainScreen::*table)() const, TMainScreen* self) {
        QObject::connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, self,
                         [self, table](const QModelIndex& current) {
                             if (LogTable* t = (self->*table)(); t && current.isValid())
                                 t->setCurrentRow(current.row());
                         });
    };
    follow(FaxGrid, &TMainScreen::sentTable, this);
    follow(RecFaxGrid, &TMainScreen::receivedTable, this);

    resize(860, 560);
}

void TMainScreen::buildMenu() {
    QMenu* fax = menuBar()->addMenu(tr("&Fax"));
    mnuNew = makeAction(fax, "mnuNew", tr("&New Fax"), QStringLiteral("Create a new fax"));
    mnuEdit = makeAction(fax, "mnuEdit", tr("&Edit Fax"),
                         QStringLiteral("Edit the currently selected fax"));
    mnuClone = makeAction(fax, "mnuClone", tr("Clone Fax"),
                          QStringLiteral("Clone the currently selected fax"));
    mnuDelete = makeAction(fax, "mnuDelete", tr("Delete Fax"),
                           QStringLiteral("Delete the currently selected fax"));
    fax->addSeparator();
    mnuSend = makeAction(fax, "mnuSend", tr("Send Fax"),
                         QStringLiteral("Send the currently selected fax"), QKeySequence(tr("Ctrl+S")));
    mnuReceive = makeAction(fax, "mnuReceive", tr("Receive Faxes"), QString(),
                            QKeySequence(tr("Ctrl+R")));
    mnuViewPrint = makeAction(fax, "mnuViewPrint", tr("View/Print Fax"),
                              QStringLiteral("See a preview of and optionally  print the fax"),
                              QKeySequence(tr("Ctrl+V")));
    fax->addSeparator();
    Exit1 = makeAction(fax, "Exit1", tr("E&xit"), QStringLiteral("Exit Parvane"),
                       QKeySequence(tr("Ctrl+X")));

    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    mnuCover = makeAction(tools, "mnuCover", tr("C&over Sheets"),
                          QStringLiteral("Create or modify cover page templates"));
    mnuPhoneBook = makeAction(tools, "mnuPhoneBook", tr("&Phone Book"),
                              QStringLiteral("Create or modify phone book entries"));
    tools->addSeparator();
    FaxlogCleanup1 = makeAction(tools, "FaxlogCleanup1", tr("Fax Log Cleanup"));
    mnuRebuildIndexes = makeAction(tools, "mnuRebuildIndexes", tr("Rebuild &Indexes"),
                                   QStringLiteral("Do this every 2 weeks "));
    tools->addSeparator();
    mnuPreferences = makeAction(tools, "mnuPreferences", tr("P&references"),
                                QStringLiteral("Set Parvane preferences"));
    mnuShowHint = makeAction(tools, "mnuShowHint", tr("Show Hints"));
    mnuShowHint->setCheckable(true);
    mnuShowHint->setChecked(true);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    Contents1 = makeAction(help, "Contents1", tr("Contents"),
                           QStringLiteral("Open the Parvane help file"));
    FrequentlyAskedQuestionsFAQ1 = makeAction(help, "FrequentlyAskedQuestionsFAQ1",
                                              tr("Frequently Asked Questions (FAQ)"));
    TechnicalSupport1 = makeAction(help, "TechnicalSupport1", tr("Technical Support"));
    TroubleshootingTips1 = makeAction(help, "TroubleshootingTips1", tr("Problem Solver"));
    ConfigurationInformation1 = makeAction(help, "ConfigurationInformation1",
                                           tr("Configuration Information"));
    mnuWebPage = makeAction(help, "mnuWebPage", tr("Parvane on the &Web"));
    help->addSeparator();
    About1 = makeAction(help, "About1", tr("About"), QStringLiteral("Information about Parvane"));

    for (QMenu* menu : {fax, tools, help})
        menu->setToolTipsVisible(true);

    connect(mnuNew, &QAction::triggered, this, &TMainScreen::NewbuttonClick);
    connect(mnuEdit, &QAction::triggered, this, &TMainScreen::EditButtonClick);
    connect(mnuClone, &QAction::triggered, this, &TMainScreen::mnuCloneClick);
    connect(mnuDelete, &QAction::triggered, this, &TMainScreen::DeleteButtonClick);
    connect(mnuSend, &QAction::triggered, this, &TMainScreen::SendButtonClick);
    connect(mnuReceive, &QAction::triggered, this, &TMainScreen::ReceiveButtonClick);
    connect(mnuViewPrint, &QAction::triggered, this, &TMainScreen::ViewFaxButtonClick);
    connect(Exit1, &QAction::triggered, this, &TMainScreen::ExitbuttonClick);
    connect(mnuCover, &QAction::triggered, this, &TMainScreen::mnuCoverClick);
    connect(mnuPhoneBook, &QAction::triggered, this, &TMainScreen::mnuPhoneBookClick);
    connect(FaxlogCleanup1, &QAction::triggered, this, &TMainScreen::FaxlogCleanup1Click);
    connect(mnuRebuildIndexes, &QAction::triggered, this, &TMainScreen::mnuRebuildIndexesClick);
    connect(mnuPreferences, &QAction::triggered, this, &TMainScreen::mnuPreferencesClick);
    connect(mnuShowHint, &QAction::triggered, this, &TMainScreen::mnuShowHintClick);
    connect(Contents1, &QAction::triggered, this, &TMainScreen::Contents1Click);
    connect(FrequentlyAskedQuestionsFAQ1, &QAction::triggered, this,
            &TMainScreen::FrequentlyAskedQuestionsFAQ1Click);
    connect(TechnicalSupport1, &QAction::triggered, this, &TMainScreen::TechnicalSupport1Click);
    connect(TroubleshootingTips1, &QAction::triggered, this, &TMainScreen::ProblemSolverButtonClick);
    connect(ConfigurationInformation1, &QAction::triggered, this,
            &TMainScreen::ConfigurationInformation1Click);
    connect(mnuWebPage, &QAction::triggered, this, &TMainScreen::WebPageClick);
    connect(About1, &QAction::triggered, this, &TMainScreen::About1Click);
}

LogPage TMainScreen::page() const {
    return NoteBook->currentIndex() == 1 ? LogPage::Received : LogPage::Sent;
}

void TMainScreen::setPage(LogPage page) {
    const int index = page == LogPage::Received ? 1 : 0;
    NoteBook->setCurrentIndex(index);
    const QSignalBlocker quiet(TabSet1);
    TabSet1->setCurrentIndex(index);
}

void TMainScreen::TabSet1Change(int index) {
    NoteBook->setCurrentIndex(index == 1 ? 1 : 0);
    applyCommandRules();
}

void TMainScreen::setStatus(const QString& text) { status->setText(text); }

void TMainScreen::setFaxLine(FaxLine line) {
    faxLine_ = std::move(line);
    setStatus(QString::fromStdString(faxLine_->describe()));
}

QString TMainScreen::statusText() const { return status->text(); }

void TMainScreen::setReceiveMode(bool on) {
    receiveMode_ = on;
    applyCommandRules();
}

} // namespace app
