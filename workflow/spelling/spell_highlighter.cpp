#include "workflow/spelling/spell_highlighter.h"

#include "workflow/spelling/spell_service.h"
#include "workflow/spelling/spell_words.h"

namespace spelling {

SpellHighlighter::SpellHighlighter(QTextDocument* document, std::shared_ptr<SpellChecker> checker)
    : QSyntaxHighlighter(document), checker_(std::move(checker)) {
    setObjectName(QStringLiteral("SpellHighlighter"));
    connect(&SpellNotifier::instance(), &SpellNotifier::acceptedWordsChanged, this, &SpellHighlighter::rehighlight);
}

QTextCharFormat SpellHighlighter::misspeltFormat() {
    QTextCharFormat f;
    f.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    f.setUnderlineColor(Qt::red);
    return f;
}

void SpellHighlighter::highlightBlock(const QString& text) {
    if (!checker_ || !checker_->available())
        return;
    const QTextCharFormat bad = misspeltFormat();
    for (const WordSpan& w : spellWords(text))
        if (!checker_->check(text.mid(w.start, w.length).toStdString()))
            setFormat(w.start, w.length, bad);
}

} // namespace spelling
