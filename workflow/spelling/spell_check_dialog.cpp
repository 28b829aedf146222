#include "workflow/spelling/spell_check_dialog.h"

#include "workflow/spelling/spell_service.h"
#include "workflow/spelling/spell_words.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>
#include <QVBoxLayout>

namespace spelling {

namespace {

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

SpellCheckDialog::SpellCheckDialog(QTextEdit* editor, std::shared_ptr<SpellChecker> checker, QWidget* parent)
    : QDialog(parent), editor_(editor), checker_(std::move(checker)) {
    setObjectName(QStringLiteral("SpellCheckDialog"));
    setWindowTitle(tr("Spell Check"));

    NotFoundEdit = new QLineEdit(this);
    NotFoundEdit->setObjectName(QStringLiteral("NotFoundEdit"));
    NotFoundEdit->setReadOnly(true);
    ChangeToEdit = new QLineEdit(this);
    ChangeToEdit->setObjectName(QStringLiteral("ChangeToEdit"));
    SuggestionList = new QListWidget(this);
    SuggestionList->setObjectName(QStringLiteral("SuggestionList"));
    SuggestionList->setMinimumHeight(SuggestionList->fontMetrics().height() * 7);

    ChangeButton = makeButton(this, "ChangeButton", tr("&Change"));
    ChangeButton->setDefault(true);
    ChangeAllButton = makeButton(this, "ChangeAllButton", tr("Change A&ll"));
    IgnoreButton = makeButton(this, "IgnoreButton", tr("&Ignore"));
    IgnoreAllButton = makeButton(this, "IgnoreAllButton", tr("I&gnore All"));
    AddButton = makeButton(this, "AddButton", tr("&Add to Dictionary"));
    CloseButton = makeButton(this, "CloseButton", tr("Close"));
    LanguageLabel = new QLabel(tr("Dictionary: %1").arg(QString::fromStdString(checker_->language())), this);
    LanguageLabel->setObjectName(QStringLiteral("LanguageLabel"));

    auto* notFoundLabel = new QLabel(tr("&Not in dictionary:"), this);
    notFoundLabel->setBuddy(NotFoundEdit);
    auto* changeToLabel = new QLabel(tr("Change &to:"), this);
    changeToLabel->setBuddy(ChangeToEdit);
    auto* suggestionsLabel = new QLabel(tr("&Suggestions:"), this);
    suggestionsLabel->setBuddy(SuggestionList);

    auto* fields = new QGridLayout;
    fields->addWidget(notFoundLabel, 0, 0);
    fields->addWidget(NotFoundEdit, 0, 1);
    fields->addWidget(changeToLabel, 1, 0);
    fields->addWidget(ChangeToEdit, 1, 1);
    fields->addWidget(suggestionsLabel, 2, 0, Qt::AlignTop);
    fields->addWidget(SuggestionList, 2, 1);
    fields->addWidget(LanguageLabel, 3, 0, 1, 2);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {ChangeButton, ChangeAllButton, IgnoreButton, IgnoreAllButton, AddButton})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(CloseButton);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addLayout(buttons);

    const bool editable = !editor_->isReadOnly();
    ChangeButton->setEnabled(editable);
    ChangeAllButton->setEnabled(editable);

    connect(ChangeButton, &QPushButton::clicked, this, &SpellCheckDialog::ChangeButtonClick);
    connect(ChangeAllButton, &QPushButton::clicked, this, &SpellCheckDialog::ChangeAllButtonClick);
    connect(IgnoreButton, &QPushButton::clicked, this, &SpellCheckDialog::IgnoreButtonClick);
    connect(IgnoreAllButton, &QPushButton::clicked, this, &SpellCheckDialog::IgnoreAllButtonClick);
    connect(AddButton, &QPushButton::clicked, this, &SpellCheckDialog::AddButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &SpellCheckDialog::reject);
    connect(SuggestionList, &QListWidget::currentTextChanged, ChangeToEdit, &QLineEdit::setText);
    connect(SuggestionList, &QListWidget::itemDoubleClicked, this, [this] {
        if (ChangeButton->isEnabled())
            ChangeButtonClick();
    });
}

bool SpellCheckDialog::findNext() {
    QTextDocument* doc = editor_->document();
    for (QTextBlock block = doc->findBlock(position_); block.isValid(); block = block.next()) {
        const QString text = block.text();
        const QList<WordSpan> words = spellWords(text);
        for (qsizetype i = 0; i < words.size(); ++i) {
            const WordSpan& w = words[i];
            const int start = block.position() + w.start;
            if (start < position_)
                continue;
            const QString word = text.mid(w.start, w.length);
            if (checker_->check(word.toStdString()))
                continue;
            if (const auto it = changeAll_.constFind(word); it != changeAll_.constEnd() && !editor_->isReadOnly()) {
                // Changed without asking; the rest of this block has moved.
                replaceAt(start, w.length, *it);
                position_ = start + int(it->size());
                return findNext();
            }
            wordStart_ = start;
            word_ = word;
            QTextCursor c(doc);
            c.setPosition(start);
            c.setPosition(start + w.length, QTextCursor::KeepAnchor);
            editor_->setTextCursor(c);
            editor_->ensureCursorVisible();

            NotFoundEdit->setText(word);
            SuggestionList->clear();
            for (const std::string& s : checker_->suggest(word.toStdString()))
                SuggestionList->addItem(QString::fromStdString(s));
            if (SuggestionList->count() > 0)
                SuggestionList->setCurrentRow(0);
            else
                ChangeToEdit->setText(word);
            ChangeToEdit->setFocus();
            return true;
        }
    }
    wordStart_ = -1;
    word_.clear();
    return false;
}

void SpellCheckDialog::replaceAt(int start, int length, const QString& text) {
    QTextDocument* doc = editor_->document();
    QTextCursor probe(doc);
    probe.setPosition(start + 1);
    const QTextCharFormat format = probe.charFormat();
    QTextCursor c(doc);
    c.setPosition(start);
    c.setPosition(start + length, QTextCursor::KeepAnchor);
    c.insertText(text, format);
}

int SpellCheckDialog::replaceEverywhere(const QString& word, const QString& text, int position) {
    int shift = 0;
    QTextDocument* doc = editor_->document();
    QTextCursor group(doc);
    group.beginEditBlock();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const QString blockText = block.text();
        const QList<WordSpan> words = spellWords(blockText);
        // From the end, so that earlier positions in the block stay where they are.
        for (qsizetype i = words.size() - 1; i >= 0; --i) {
            const WordSpan& w = words[i];
            if (blockText.mid(w.start, w.length) != word)
                continue;
            const int start = block.position() + w.start;
            replaceAt(start, w.length, text);
            if (start < position)
                shift += int(text.size()) - w.length;
        }
    }
    group.endEditBlock();
    return shift;
}

void SpellCheckDialog::advance() {
    if (findNext())
        return;
    QMessageBox::information(this, tr("Spell Check"), tr("The spelling check is complete."));
    accept();
}

void SpellCheckDialog::ChangeButtonClick() {
    if (wordStart_ < 0 || editor_->isReadOnly())
        return;
    const QString replacement = ChangeToEdit->text();
    replaceAt(wordStart_, int(word_.size()), replacement);
    position_ = wordStart_ + int(replacement.size());
    advance();
}

void SpellCheckDialog::ChangeAllButtonClick() {
    if (wordStart_ < 0 || editor_->isReadOnly())
        return;
    const QString replacement = ChangeToEdit->text();
    changeAll_.insert(word_, replacement);
    const int shift = replaceEverywhere(word_, replacement, wordStart_);
    position_ = wordStart_ + shift + int(replacement.size());
    advance();
}

void SpellCheckDialog::IgnoreButtonClick() {
    if (wordStart_ < 0)
        return;
    position_ = wordStart_ + int(word_.size());
    advance();
}

void SpellCheckDialog::IgnoreAllButtonClick() {
    if (wordStart_ < 0)
        return;
    checker_->ignoreForSession(word_.toStdString());
    emit SpellNotifier::instance().acceptedWordsChanged();
    position_ = wordStart_ + int(word_.size());
    advance();
}

void SpellCheckDialog::AddButtonClick() {
    if (wordStart_ < 0)
        return;
    std::string error;
    if (!checker_->addToUserDictionary(word_.toStdString(), &error))
        QMessageBox::warning(this, tr("Spell Check"),
                             tr("\"%1\" is accepted for now but could not be kept in the user dictionary:\n%2")
                                 .arg(word_, QString::fromStdString(error)));
    emit SpellNotifier::instance().acceptedWordsChanged();
    position_ = wordStart_ + int(word_.size());
    advance();
}

} // namespace spelling
