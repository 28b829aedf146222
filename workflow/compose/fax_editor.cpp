#include "workflow/compose/fax_editor.h"

#include "workflow/compose/compose_dialogs.h"
#include "workflow/compose/cover_browse.h"
#include "workflow/compose/cover_store.h"
#include "workflow/compose/inserted_pages.h"
#include "workflow/compose/rich_editor.h"
#include "workflow/compose/zoom_button.h"
#include "workflow/render/memo_rich_text.h"
#include "workflow/richtext/merge_field.h"
#include "workflow/richtext/rtf_writer.h"

#include "faxlog/dbe_table.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextCursor>
#include <QToolBar>
#include <QVBoxLayout>

namespace workflow::compose {

namespace {

std::string rtfOf(const QTextDocument& document) {
    const QByteArray rtf = richtext::writeRtf(document);
    return std::string(rtf.constData(), static_cast<std::size_t>(rtf.size()));
}

QLineEdit* limitedEdit(QWidget* parent, const char* name, int maxChars, const QString& hint) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(maxChars);
    edit->setToolTip(hint);
    return edit;
}

} // namespace

TFaxEditor::TFaxEditor(const ComposeHooks& hooks, faxlog::DbeEngine* engine, QWidget* parent)
    : QDialog(parent), hooks_(hooks), engine_(engine) {
    setObjectName(QStringLiteral("TFaxEditor"));
    setWindowTitle(tr("Fax Editor"));

    auto pageButton = [this](const char* name, const QString& text, const QString& hint) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(hint);
        b->setCheckable(true);
        b->setAutoDefault(false);
        return b;
    };
    CoverButton = pageButton("CoverButton", tr("&Cover Sheet"), tr("Edit the optional fax cover sheet"));
    DocumentButton = pageButton("DocumentButton", tr("&Fax Document"), tr("Edit the fax document"));
    RecipientButton = pageButton("RecipientButton", tr("&Recipient Info"), tr("Edit the recipient information"));
    pageButtons_ = new QButtonGroup(this);
    pageButtons_->setExclusive(true);
    pageButtons_->addButton(CoverButton, int(EditorPage::Cover));
    pageButtons_->addButton(DocumentButton, int(EditorPage::Document));
    pageButtons_->addButton(RecipientButton, int(EditorPage::Recipient));
    connect(pageButtons_, &QButtonGroup::idClicked, this, [this](int id) { showPage(EditorPage(id)); });

    Notebook = new QStackedWidget(this);
    Notebook->setObjectName(QStringLiteral("Notebook"));

    // Cover Sheet page.
    RichCover = makeEditor("RichCover", "RichToolCover");
    RichCover->paragraphAction()->setObjectName(QStringLiteral("CoverParagraphSetupbutton"));
    RichCover->pageBreakAction()->setObjectName(QStringLiteral("CoverDocPageBreakButton"));
    RichCover->wordWrapAction()->setObjectName(QStringLiteral("CoverDocWordWrapButton"));
    RichCover->defaultFontAction()->setObjectName(QStringLiteral("CoverDefFontbutton"));
    RichCover->toolBar()->addSeparator();
    QAction* loadCover = RichCover->toolBar()->addAction(tr("Load Template"), this, &TFaxEditor::LoadCoverButtonClick);
    loadCover->setObjectName(QStringLiteral("LoadCoverButton"));
    loadCover->setToolTip(tr("Load Cover Sheet from Template"));
    loadCover->setVisible(engine_ != nullptr);
    Notebook->addWidget(RichCover);

    // Fax Document page.
    RichDoc = makeEditor("RichDoc", "RichToolDoc");
    RichDoc->pageBreakAction()->setObjectName(QStringLiteral("DocPageBreakButton"));
    RichDoc->paragraphAction()->setObjectName(QStringLiteral("ParagraphSetupButton"));
    RichDoc->wordWrapAction()->setObjectName(QStringLiteral("DocWordWrapButton"));
    RichDoc->defaultFontAction()->setObjectName(QStringLiteral("DocDefFontbutton"));
    RichDoc->toolBar()->addSeparator();
    QAction* insertFile = RichDoc->toolBar()->addAction(tr("Insert file"), this, &TFaxEditor::InsertFileButtonClick);
    insertFile->setObjectName(QStringLiteral("InsertFileButton"));
    insertFile->setToolTip(tr("Insert the pages of a PDF, TIFF or image file, each on its own page"));
    Notebook->addWidget(RichDoc);

    // Recipient page.
    auto* recipientPage = new QWidget(Notebook);
    Recipient = limitedEdit(recipientPage, "Recipient", kRecipientChars, tr("Enter recipient name here"));
    FaxNumber = limitedEdit(recipientPage, "FaxNumber", kFaxNumberChars, tr("Enter recipient fax number here"));
    Subject = limitedEdit(recipientPage, "Subject", kSubjectChars, tr("Enter subject (topic) of fax here"));
    for (QLineEdit* e : {Recipient, FaxNumber, Subject})
        e->installEventFilter(this);
    AddressButton = new QPushButton(tr("&Phonebook"), recipientPage);
    AddressButton->setObjectName(QStringLiteral("AddressButton"));
    AddressButton->setToolTip(tr("Click here to access the Phone Book"));
    AddressButton->setAutoDefault(false);
    AddressButton->setVisible(bool(hooks_.phoneBook));
    connect(AddressButton, &QPushButton::clicked, this, &TFaxEditor::AddressButtonClick);
    auto* form = new QFormLayout;
    auto label = [recipientPage](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, recipientPage);
        l->setBuddy(buddy);
        return l;
    };
    form->addRow(label(tr("Recipient &name"), Recipient), Recipient);
    form->addRow(label(tr("Fax nu&mber"), FaxNumber), FaxNumber);
    form->addRow(label(tr("&Subject"), Subject), Subject);
    auto* recipientLayout = new QVBoxLayout(recipientPage);
    recipientLayout->addLayout(form);
    auto* addressRow = new QHBoxLayout;
    addressRow->addStretch(1);
    addressRow->addWidget(AddressButton);
    recipientLayout->addLayout(addressRow);
    recipientLayout->addStretch(1);
    Notebook->addWidget(recipientPage);

    // Bottom buttons.
    Zoombutton = new ZoomButton([this] { return zoomTarget()->edit(); }, this);
    Zoombutton->setToolTip(tr("Set the view percentage for the current editor"));
    Zoombutton->setAutoDefault(false);
    OKButton = new QPushButton(tr("&Accept"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setToolTip(tr("Ok - save changes to this fax"));
    CancelButton = new QPushButton(tr("Cance&l"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setToolTip(tr("Cancel - do not save changes to this fax"));
    Helpbutton = new QPushButton(tr("&Help"), this);
    Helpbutton->setObjectName(QStringLiteral("Helpbutton"));
    Helpbutton->setVisible(bool(hooks_.help));
    for (QPushButton* b : {OKButton, CancelButton, Helpbutton})
        b->setAutoDefault(false);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(Helpbutton, &QPushButton::clicked, this, [this] {
        if (hooks_.help)
            hooks_.help(kFaxEditorHelpContext);
    });

    auto* pages = new QHBoxLayout;
    for (QPushButton* b : {CoverButton, DocumentButton, RecipientButton})
        pages->addWidget(b);
    pages->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Zoombutton);
    bottom->addStretch(1);
    for (QPushButton* b : {OKButton, CancelButton, Helpbutton})
        bottom->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(pages);
    layout->addWidget(Notebook, 1);
    layout->addLayout(bottom);
    resize(860, 680);

    showPage(EditorPage::Recipient);
    if (hooks_.restorePlacement)
        hooks_.restorePlacement(this);
}

RichEditor* TFaxEditor::makeEditor(const char* name, const char* toolBar) {
    auto* editor = new RichEditor(hooks_, Notebook);
    editor->setObjectName(QString::fromLatin1(name));
    editor->toolBar()->setObjectName(QString::fromLatin1(toolBar));
    return editor;
}

RichEditor* TFaxEditor::zoomTarget() const {
    return page() == EditorPage::Document ? RichDoc : RichCover;
}

EditorPage TFaxEditor::page() const {
    switch (Notebook->currentIndex()) {
    case 0: return EditorPage::Cover;
    case 1: return EditorPage::Document;
    default: return EditorPage::Recipient;
    }
}

void TFaxEditor::showPage(EditorPage page) {
    Notebook->setCurrentIndex(int(page));
    if (QAbstractButton* b = pageButtons_->button(int(page)))
        b->setChecked(true);
    switch (page) {
    case EditorPage::Cover:
    case EditorPage::Document:
        Zoombutton->syncCaption();
        Zoombutton->setVisible(true);
        zoomTarget()->edit()->setFocus();
        break;
    case EditorPage::Recipient:
        Zoombutton->setVisible(false);
        Recipient->setFocus();
        break;
    }
}

void TFaxEditor::startEmpty() {
    RichCover->startEmpty();
    RichDoc->startEmpty();
}

void TFaxEditor::loadFromRecord(faxlog::TDbeTable& sent, bool clone) {
    render::loadRichText(*RichCover->document(), sent, "RTFCOVER", hooks_.programDir);
    render::loadRichText(*RichDoc->document(), sent, "RTFDOC", hooks_.programDir);
    RichCover->edit()->refreshLayout();
    RichDoc->edit()->refreshLayout();
    Recipient->setText(QString::fromStdString(sent.getTrimString("RECIPIENT")));
    FaxNumber->setText(QString::fromStdString(sent.getTrimString("PHONE")));
    const QString subject = QString::fromStdString(sent.getTrimString("SUBJECT"));
    Subject->setText(clone ? clonedText(subject, kSubjectChars) : subject);
}

faxlog::SentFaxContent TFaxEditor::content() const {
    faxlog::SentFaxContent c;
    c.recipient = Recipient->text().left(kRecipientChars).toStdString();
    c.phone = FaxNumber->text().left(kFaxNumberChars).toStdString();
    c.subject = Subject->text().left(kSubjectChars).toStdString();
    c.rtfCover = rtfOf(*RichCover->document());
    c.rtfDoc = rtfOf(*RichDoc->document());
    return c;
}

void TFaxEditor::LoadCoverButtonClick() {
    if (!engine_)
        return;
    std::unique_ptr<faxlog::TDbeTable> covers = openCoverTable(*engine_, hooks_.programDir);
    if (!covers)
        return;
    {
        TCoverBrowse browser(*covers, BrowseMode::Select, hooks_, this);
        if (hooks_.centre)
            hooks_.centre(&browser);
        if (onBrowserShown)
            onBrowserShown(browser);
        if (browser.exec() == QDialog::Accepted) {
            loadCurrentCover(*RichCover->document(), *covers, hooks_.programDir);
            mergeCover();
        }
    }
    covers->close();
}

void TFaxEditor::mergeCover() {
    richtext::MergeSource source;
    source.recipient = Recipient->text();
    source.faxNumber = FaxNumber->text();
    source.subject = Subject->text();
    source.now = QDateTime::currentDateTime();
    source.locale = QLocale();
    richtext::mergeFields(*RichCover->document(),
                          [&source](richtext::MergeField f) { return richtext::mergeValue(f, source); });
    RichCover->edit()->refreshLayout();
}

void TFaxEditor::AddressButtonClick() {
    if (!hooks_.phoneBook)
        return;
    if (const auto chosen = hooks_.phoneBook(this)) {
        Recipient->setText(chosen->first.left(kRecipientChars));
        FaxNumber->setText(chosen->second.left(kFaxNumberChars));
    }
}

void TFaxEditor::InsertFileButtonClick() {
    const QString name = QFileDialog::getOpenFileName(
        this, tr("Insert file"), QString(),
        tr("Documents and images (*.pdf *.tif *.tiff *.dcx *.pcx *.bmp *.png *.jpg *.jpeg *.gif);;All files (*)"));
    if (name.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const FilePages pages = readFilePages(name.toStdString());
    int inserted = 0;
    if (pages.error.isEmpty() || !pages.pages.empty()) {
        QTextCursor cursor = RichDoc->edit()->textCursor();
        inserted = insertPages(cursor, pages.pages, RichDoc->edit()->page());
        RichDoc->edit()->setTextCursor(cursor);
        RichDoc->edit()->refreshLayout();
    }
    QApplication::restoreOverrideCursor();
    if (!pages.error.isEmpty())
        QMessageBox::warning(this, tr("Insert file"),
                             inserted > 0 ? tr("Only %1 pages could be read: %2").arg(inserted).arg(pages.error)
                                          : tr("The file could not be read: %1").arg(pages.error));
}

bool TFaxEditor::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        // Each activation lays both editors out again; the recipient page comes first
        // only when the editor opens, so closing a dialog keeps the page being edited.
        if (!shownOnce_) {
            shownOnce_ = true;
            showPage(EditorPage::Recipient);
        }
        RichCover->edit()->refreshLayout();
        RichDoc->edit()->refreshLayout();
    }
    return QDialog::event(e);
}

bool TFaxEditor::eventFilter(QObject* watched, QEvent* e) {
    // Enter in the recipient edits moves on instead of closing the editor.
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
            (watched == Recipient || watched == FaxNumber || watched == Subject)) {
            focusNextChild();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void TFaxEditor::done(int result) {
    if (hooks_.savePlacement)
        hooks_.savePlacement(this);
    QDialog::done(result);
}

} // namespace workflow::compose
