// Underlines the misspelt words of a document with the usual wavy line, over whatever
// formatting the text has.
#pragma once

#include "workflow/spelling/spell_checker.h"

#include <QSyntaxHighlighter>
#include <memory>

namespace spelling {

class SpellHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    SpellHighlighter(QTextDocument* document, std::shared_ptr<SpellChecker> checker);

    static QTextCharFormat misspeltFormat();

protected:
    void highlightBlock(const QString& text) override;

private:
    std::shared_ptr<SpellChecker> checker_;
};

} // namespace spelling
