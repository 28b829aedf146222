#include "workflow/compose/cover_browse.h"

#include "workflow/compose/compose_dialogs.h"
#include "workflow/compose/cover_editor.h"
#include "workflow/compose/cover_store.h"
#include "workflow/compose/rich_editor.h"

#include "faxlog/dbe_table.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace workflow::compose {

TCoverBrowse::TCoverBrowse(faxlog::TDbeTable& covers, BrowseMode mode, const ComposeHooks& hooks,
                           QWidget* parent)
    : QDialog(parent), covers_(covers), hooks_(hooks) {
    setObjectName(QStringLiteral("TCoverBrowse"));
    setWindowTitle(tr("Cover Sheet Template Browser"));

    CoverGrid = new QTableWidget(0, 1, this);
    CoverGrid->setObjectName(QStringLiteral("CoverGrid"));
    CoverGrid->setHorizontalHeaderLabels({tr("Description")});
    CoverGrid->horizontalHeader()->setStretchLastSection(true);
    CoverGrid->verticalHeader()->hide();
    CoverGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CoverGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    CoverGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(CoverGrid, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (!refreshing_ && row >= 0 && row < int(covers_.rowCount()))
            covers_.go(covers_.rowRecNo(std::size_t(row)));
    });

    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    NewButton = button("NewButton", tr("&New"));
    ModifyButton = button("ModifyButton", tr("&Edit"));
    CloneButton = button("CloneButton", tr("&Clone"));
    DeleteButton = button("DeleteButton", tr("&Delete"));
    CloseButton = button("CloseButton", tr("C&lose"));
    Acceptbutton = button("Acceptbutton", tr("&Accept"));
    CancelButton = button("CancelButton", tr("Cance&l"));
    HelpButton = button("HelpButton", tr("&Help"));
    HelpButton->setVisible(bool(hooks_.help));

    const bool selecting = mode == BrowseMode::Select;
    CloseButton->setVisible(!selecting);
    CloseButton->setDefault(!selecting);
    Acceptbutton->setVisible(selecting);
    CancelButton->setVisible(selecting);
    if (selecting)
        Acceptbutton->setDefault(true);

    connect(NewButton, &QPushButton::clicked, this, &TCoverBrowse::NewButtonClick);
    connect(ModifyButton, &QPushButton::clicked, this, &TCoverBrowse::ModifyButtonClick);
    connect(CloneButton, &QPushButton::clicked, this, &TCoverBrowse::CloneButtonClick);
    connect(DeleteButton, &QPushButton::clicked, this, &TCoverBrowse::DeleteButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(Acceptbutton, &QPushButton::clicked, this, [this] {
        if (!hasVisibleRecord()) {
            beep();
            return;
        }
        accept();
    });
    connect(CoverGrid, &QTableWidget::cellDoubleClicked, this, [this, selecting] {
        if (selecting)
            Acceptbutton->click();
        else
            ModifyButtonClick();
    });
    connect(HelpButton, &QPushButton::clicked, this, [this] {
        if (hooks_.help)
            hooks_.help(kCoverBrowseHelpContext);
    });

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {NewButton, ModifyButton, CloneButton, DeleteButton})
        buttons->addWidget(b);
    buttons->addStretch(1);
    for (QPushButton* b : {Acceptbutton, CancelButton, CloseButton, HelpButton})
        buttons->addWidget(b);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(CoverGrid, 1);
    layout->addLayout(buttons);
    resize(520, 360);
    refresh();
}

bool TCoverBrowse::hasVisibleRecord() {
    return covers_.rowCount() > 0 && !covers_.eof() && covers_.hasRecord() && covers_.rowOf(covers_.recNo());
}

void TCoverBrowse::refresh() {
    refreshing_ = true;
    covers_.refresh();
    const long current = covers_.hasRecord() && !covers_.eof() ? covers_.recNo() : 0;
    const int rows = int(covers_.rowCount());
    CoverGrid->setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        covers_.go(covers_.rowRecNo(std::size_t(row)));
        auto* item = new QTableWidgetItem(currentDescription(covers_));
        CoverGrid->setItem(row, 0, item);
    }
    int currentRow = -1;
    if (current > 0 && covers_.rowOf(current)) {
        currentRow = int(*covers_.rowOf(current));
        covers_.go(current);
    } else if (rows > 0) {
        currentRow = 0;
        covers_.go(covers_.rowRecNo(0));
    }
    if (currentRow >= 0)
        CoverGrid->setCurrentCell(currentRow, 0);
    refreshing_ = false;
    const bool any = rows > 0;
    ModifyButton->setEnabled(any);
    CloneButton->setEnabled(any);
    DeleteButton->setEnabled(any);
    Acceptbutton->setEnabled(any);
}

int TCoverBrowse::runEditor(TCoverEditor& editor) {
    if (onEditorShown)
        onEditorShown(editor);
    return editor.exec();
}

void TCoverBrowse::NewButtonClick() {
    TCoverEditor editor(hooks_, this);
    const bool clone = cloneRequested_ && hasVisibleRecord();
    // One Clone makes one copy: the next New starts empty again.
    cloneRequested_ = false;
    if (clone) {
        editor.description()->setText(clonedText(currentDescription(covers_), kCoverDescriptionChars));
        loadCurrentCover(*editor.richCover()->document(), covers_, hooks_.programDir);
        editor.richCover()->edit()->refreshLayout();
    } else {
        editor.description()->setText(QStringLiteral("{description}"));
        editor.richCover()->startEmpty();
    }
    if (runEditor(editor) == QDialog::Accepted) {
        appendCover(covers_, editor.description()->text(), *editor.richCover()->document());
    }
    refresh();
}

void TCoverBrowse::ModifyButtonClick() {
    if (!hasVisibleRecord()) {
        beep();
        return;
    }
    TCoverEditor editor(hooks_, this);
    editor.description()->setText(currentDescription(covers_));
    loadCurrentCover(*editor.richCover()->document(), covers_, hooks_.programDir);
    editor.richCover()->edit()->refreshLayout();
    if (runEditor(editor) == QDialog::Accepted)
        updateCover(covers_, editor.description()->text(), *editor.richCover()->document());
    refresh();
}

void TCoverBrowse::CloneButtonClick() {
    if (!hasVisibleRecord()) {
        beep();
        return;
    }
    cloneRequested_ = true;
    NewButtonClick();
}

void TCoverBrowse::DeleteButtonClick() {
    if (!hasVisibleRecord()) {
        beep();
        return;
    }
    if (askDefaultNo(this, tr("Delete the current cover template?:\r") + currentDescription(covers_),
                     tr("Delete"))) {
        covers_.deleteRecord();
        covers_.commit();
    }
    refresh();
}

} // namespace workflow::compose
