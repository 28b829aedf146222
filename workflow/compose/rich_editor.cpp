#include "workflow/compose/rich_editor.h"

#include "workflow/compose/compose_dialogs.h"
#include "workflow/compose/paragraph_dialog.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QFontComboBox>
#include <QFontDatabase>
#include <QStyle>
#include <QTextCursor>
#include <QToolBar>
#include <QVBoxLayout>

namespace workflow::compose {

namespace {

QAction* checkable(QToolBar* bar, const QString& text, const QString& tip, QKeySequence keys = {}) {
    QAction* a = bar->addAction(text);
    a->setCheckable(true);
    a->setToolTip(tip);
    a->setShortcut(keys);
    return a;
}

} // namespace

RichEditor::RichEditor(const ComposeHooks& hooks, QWidget* parent) : QWidget(parent), hooks_(hooks) {
    edit_ = new FaxTextEdit(this);
    formatBar_ = new QToolBar(this);
    formatBar_->setIconSize(QSize(16, 16));
    toolBar_ = new QToolBar(this);
    toolBar_->setIconSize(QSize(16, 16));

    fontBox_ = new QFontComboBox(formatBar_);
    fontBox_->setToolTip(tr("Font"));
    formatBar_->addWidget(fontBox_);
    sizeBox_ = new QComboBox(formatBar_);
    sizeBox_->setEditable(true);
    sizeBox_->setToolTip(tr("Font size"));
    for (int size : QFontDatabase::standardSizes())
        sizeBox_->addItem(QString::number(size));
    sizeBox_->setMinimumContentsLength(3);
    formatBar_->addWidget(sizeBox_);
    connect(fontBox_, &QFontComboBox::textActivated, this, [this](const QString& family) {
        QTextCharFormat f;
        f.setFontFamilies(QStringList{family});
        mergeFormat(f);
    });
    connect(sizeBox_, &QComboBox::textActivated, this, [this](const QString& text) {
        bool ok = false;
        const double points = text.toDouble(&ok);
        if (ok && points > 0) {
            QTextCharFormat f;
            f.setFontPointSize(points);
            mergeFormat(f);
        }
    });

    formatBar_->addSeparator();
    bold_ = checkable(formatBar_, tr("B"), tr("Bold"), QKeySequence::Bold);
    QFont boldFont = bold_->font();
    boldFont.setBold(true);
    bold_->setFont(boldFont);
    italic_ = checkable(formatBar_, tr("I"), tr("Italic"), QKeySequence::Italic);
    QFont italicFont = italic_->font();
    italicFont.setItalic(true);
    italic_->setFont(italicFont);
    underline_ = checkable(formatBar_, tr("U"), tr("Underline"), QKeySequence::Underline);
    QFont underlineFont = underline_->font();
    underlineFont.setUnderline(true);
    underline_->setFont(underlineFont);
    connect(bold_, &QAction::triggered, this, [this](bool on) {
        QTextCharFormat f;
        f.setFontWeight(on ? QFont::Bold : QFont::Normal);
        mergeFormat(f);
    });
    connect(italic_, &QAction::triggered, this, [this](bool on) {
        QTextCharFormat f;
        f.setFontItalic(on);
        mergeFormat(f);
    });
    connect(underline_, &QAction::triggered, this, [this](bool on) {
        QTextCharFormat f;
        f.setFontUnderline(on);
        mergeFormat(f);
    });

    formatBar_->addSeparator();
    auto* alignGroup = new QActionGroup(this);
    alignLeft_ = checkable(formatBar_, tr("Left"), tr("Align left"));
    alignCentre_ = checkable(formatBar_, tr("Centre"), tr("Centre"));
    alignRight_ = checkable(formatBar_, tr("Right"), tr("Align right"));
    alignJustify_ = checkable(formatBar_, tr("Justify"), tr("Justify"));
    const std::pair<QAction*, Qt::Alignment> alignments[] = {{alignLeft_, Qt::AlignLeft | Qt::AlignAbsolute},
                                                             {alignCentre_, Qt::AlignHCenter},
                                                             {alignRight_, Qt::AlignRight | Qt::AlignAbsolute},
                                                             {alignJustify_, Qt::AlignJustify}};
    for (const auto& [action, alignment] : alignments) {
        alignGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, a = alignment] { edit_->setAlignment(a); });
    }

    formatBar_->addSeparator();
    QStyle* st = style();
    QAction* undo = formatBar_->addAction(st->standardIcon(QStyle::SP_ArrowBack), tr("Undo"), edit_, &QTextEdit::undo);
    QAction* redo = formatBar_->addAction(st->standardIcon(QStyle::SP_ArrowForward), tr("Redo"), edit_, &QTextEdit::redo);
    undo->setEnabled(false);
    redo->setEnabled(false);
    connect(edit_, &QTextEdit::undoAvailable, undo, &QAction::setEnabled);
    connect(edit_, &QTextEdit::redoAvailable, redo, &QAction::setEnabled);
    QAction* cut = formatBar_->addAction(tr("Cut"), edit_, &QTextEdit::cut);
    QAction* copy = formatBar_->addAction(tr("Copy"), edit_, &QTextEdit::copy);
    formatBar_->addAction(tr("Paste"), edit_, &QTextEdit::paste);
    cut->setEnabled(false);
    copy->setEnabled(false);
    connect(edit_, &QTextEdit::copyAvailable, cut, &QAction::setEnabled);
    connect(edit_, &QTextEdit::copyAvailable, copy, &QAction::setEnabled);

    paragraph_ = toolBar_->addAction(tr("Paragraph"), this, [this] { ParagraphDialog::editParagraphs(edit_); });
    paragraph_->setToolTip(tr("Paragraph properties"));
    pageBreak_ = toolBar_->addAction(tr("Page break"), this, &RichEditor::askPageBreak);
    pageBreak_->setToolTip(tr("Insert Page Break"));
    wordWrap_ = toolBar_->addAction(tr("Wrap"), this, &RichEditor::toggleWordWrap);
    wordWrap_->setCheckable(true);
    wordWrap_->setChecked(edit_->wordWrap());
    // The view wraps like the fax page from the start; the hint says what a click does.
    wordWrap_->setToolTip(edit_->wordWrap() ? tr(kWordWrapOffHint) : tr(kWordWrapOnHint));
    defaultFont_ = toolBar_->addAction(tr("Default font"), this, [this] {
        chooseDefaultFont(this, hooks_.programDir);
    });
    defaultFont_->setToolTip(tr("Set the default font for the editor"));
    spellCheck_ = toolBar_->addAction(tr("Spelling"), this, [this] {
        if (hooks_.spellCheck)
            hooks_.spellCheck(edit_);
    });
    spellCheck_->setToolTip(tr("Check the spelling"));
    spellCheck_->setVisible(bool(hooks_.spellCheck));

    connect(edit_, &QTextEdit::currentCharFormatChanged, this, &RichEditor::syncFormatControls);
    connect(edit_, &QTextEdit::cursorPositionChanged, this, &RichEditor::syncAlignment);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(formatBar_);
    layout->addWidget(toolBar_);
    layout->addWidget(edit_, 1);

    if (hooks_.documentCreated)
        hooks_.documentCreated(edit_->document());
    syncFormatControls(edit_->currentCharFormat());
    syncAlignment();
}

QTextDocument* RichEditor::document() const { return edit_->document(); }

void RichEditor::startEmpty() {
    edit_->clear();
    useDefaultFont();
}

void RichEditor::useDefaultFont() {
    const QTextCharFormat f = richtext::defaultFontFormat(defaultFont());
    QFont font = document()->defaultFont();
    font.setFamilies(f.fontFamilies().toStringList());
    if (f.fontPointSize() > 0)
        font.setPointSizeF(f.fontPointSize());
    document()->setDefaultFont(font);
    edit_->setCurrentCharFormat(f);
    syncFormatControls(f);
}

void RichEditor::askPageBreak() {
    if (!askDefaultNo(this, tr("Add a page break here?"), tr("Page Break")))
        return;
    QTextCursor cursor = edit_->textCursor();
    richtext::setPageBreakBefore(cursor, true);
    edit_->setTextCursor(cursor);
    edit_->refreshLayout();
}

void RichEditor::toggleWordWrap() {
    const bool on = !edit_->wordWrap();
    edit_->setWordWrap(on);
    wordWrap_->setChecked(on);
    wordWrap_->setToolTip(on ? tr(kWordWrapOffHint) : tr(kWordWrapOnHint));
}

void RichEditor::mergeFormat(const QTextCharFormat& format) {
    QTextCursor cursor = edit_->textCursor();
    if (!cursor.hasSelection())
        cursor.select(QTextCursor::WordUnderCursor);
    cursor.mergeCharFormat(format);
    edit_->mergeCurrentCharFormat(format);
    edit_->setFocus();
}

void RichEditor::syncFormatControls(const QTextCharFormat& format) {
    const QStringList families = format.fontFamilies().toStringList();
    const QFont font = format.font();
    fontBox_->setCurrentFont(QFont(families.isEmpty() ? document()->defaultFont().family() : families.first()));
    const double points = format.fontPointSize() > 0 ? format.fontPointSize() : document()->defaultFont().pointSizeF();
    sizeBox_->setEditText(QString::number(points));
    bold_->setChecked(font.bold());
    italic_->setChecked(font.italic());
    underline_->setChecked(font.underline());
}

void RichEditor::syncAlignment() {
    const Qt::Alignment a = edit_->alignment();
    if (a & Qt::AlignHCenter)
        alignCentre_->setChecked(true);
    else if (a & Qt::AlignRight)
        alignRight_->setChecked(true);
    else if (a & Qt::AlignJustify)
        alignJustify_->setChecked(true);
    else
        alignLeft_->setChecked(true);
}

} // namespace workflow::compose
