#include "workflow/compose/cover_editor.h"

#include "workflow/compose/rich_editor.h"
#include "workflow/compose/zoom_button.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTextCursor>
#include <QToolBar>
#include <QVBoxLayout>

namespace workflow::compose {

namespace {

struct FieldItem {
    const char* name;
    const char* caption;
    richtext::MergeField field;
};
constexpr FieldItem kFieldItems[] = {
    {"mnuRecipient1", "Recipient", richtext::MergeField::Recipient},
    {"mnuFaxNumber1", "Fax Number", richtext::MergeField::FaxNumber},
    {"mnuSubject", "Subject", richtext::MergeField::Subject},
    {"mnuDate", "Date", richtext::MergeField::Date},
    {"mnuTime", "Time", richtext::MergeField::Time},
};

} // namespace

TCoverEditor::TCoverEditor(const ComposeHooks& hooks, QWidget* parent) : QDialog(parent), hooks_(hooks) {
    setObjectName(QStringLiteral("TCoverEditor"));
    setWindowTitle(tr("Cover Sheet Template Editor"));

    CoverDescription = new QLineEdit(this);
    CoverDescription->setObjectName(QStringLiteral("CoverDescription"));
    CoverDescription->setMaxLength(kCoverDescriptionChars);
    CoverDescription->setToolTip(tr("Enter a description for this cover sheet template here"));
    auto* descriptionLabel = new QLabel(tr("&Description"), this);
    descriptionLabel->setBuddy(CoverDescription);

    RichCover = new RichEditor(hooks_, this);
    RichCover->setObjectName(QStringLiteral("RichCover"));
    RichCover->toolBar()->setObjectName(QStringLiteral("RichToolBar1"));
    RichCover->paragraphAction()->setObjectName(QStringLiteral("CoverParagraphSetupbutton"));
    RichCover->pageBreakAction()->setObjectName(QStringLiteral("CoverDocPageBreakButton"));
    RichCover->wordWrapAction()->setObjectName(QStringLiteral("CoverDocWordWrapButton"));
    RichCover->defaultFontAction()->setObjectName(QStringLiteral("CoverDefFontbutton"));

    InsertButton = new QPushButton(tr("&Insert"), this);
    InsertButton->setObjectName(QStringLiteral("InsertButton"));
    InsertButton->setToolTip(tr("Insert a field from the recipient data, or the current date and time"));
    InsertMenu = new QMenu(this);
    InsertMenu->setObjectName(QStringLiteral("InsertMenu"));
    for (const FieldItem& item : kFieldItems) {
        QAction* a = InsertMenu->addAction(tr(item.caption));
        a->setObjectName(QString::fromLatin1(item.name));
        connect(a, &QAction::triggered, this, [this, a] { insertFieldByCaption(a->text()); });
    }
    connect(InsertButton, &QPushButton::clicked, this,
            [this] { InsertMenu->popup(InsertButton->mapToGlobal(QPoint(0, InsertButton->height()))); });

    Zoombutton = new ZoomButton([this] { return RichCover->edit(); }, this);
    OKbutton = new QPushButton(tr("&Accept"), this);
    OKbutton->setObjectName(QStringLiteral("OKbutton"));
    CancelButton = new QPushButton(tr("Cance&l"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    HelpButton = new QPushButton(tr("&Help"), this);
    HelpButton->setObjectName(QStringLiteral("HelpButton"));
    HelpButton->setVisible(bool(hooks_.help));
    connect(OKbutton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpButton, &QPushButton::clicked, this, [this] {
        if (hooks_.help)
            hooks_.help(kCoverEditorHelpContext);
    });
    // Enter in the description must not close the editor.
    OKbutton->setAutoDefault(false);
    CancelButton->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(descriptionLabel);
    top->addWidget(CoverDescription, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(InsertButton);
    bottom->addWidget(Zoombutton);
    bottom->addStretch(1);
    bottom->addWidget(OKbutton);
    bottom->addWidget(CancelButton);
    bottom->addWidget(HelpButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(RichCover, 1);
    layout->addLayout(bottom);
    resize(820, 640);

    if (hooks_.restorePlacement)
        hooks_.restorePlacement(this);
}

bool TCoverEditor::insertFieldByCaption(const QString& caption) {
    const QString wanted = caption.toUpper().remove(QLatin1Char('&'));
    for (const FieldItem& item : kFieldItems) {
        if (QString::fromLatin1(item.caption).toUpper() != wanted)
            continue;
        QTextCursor cursor = RichCover->edit()->textCursor();
        richtext::insertMergeField(cursor, item.field);
        RichCover->edit()->setTextCursor(cursor);
        RichCover->edit()->refreshLayout();
        return true;
    }
    return false;
}

void TCoverEditor::done(int result) {
    if (hooks_.savePlacement)
        hooks_.savePlacement(this);
    QDialog::done(result);
}

} // namespace workflow::compose
