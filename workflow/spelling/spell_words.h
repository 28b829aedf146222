// The words of a text that spell checking looks at: runs of letters, with apostrophes
// inside them ("don't"); anything touching a digit ("3rd", "A4"), web and mail addresses
// are left alone.
#pragma once

#include <QList>
#include <QString>

namespace spelling {

struct WordSpan {
    int start = 0;  // in UTF-16 units of the text
    int length = 0;
    bool operator==(const WordSpan&) const = default;
};

QList<WordSpan> spellWords(const QString& text);

} // namespace spelling
