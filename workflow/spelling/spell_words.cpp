#include "workflow/spelling/spell_words.h"

namespace spelling {

namespace {

bool isLetter(QChar c) { return c.isLetter() || c.isMark(); }
bool isApostrophe(QChar c) { return c == QLatin1Char('\'') || c == QChar(0x2019); }

// A chunk without spaces that is an address rather than words.
bool isAddress(QStringView chunk) {
    return chunk.contains(QLatin1String("://")) || chunk.contains(QLatin1Char('@')) ||
           chunk.startsWith(QLatin1String("www."), Qt::CaseInsensitive);
}

} // namespace

QList<WordSpan> spellWords(const QString& text) {
    QList<WordSpan> words;
    const int n = int(text.size());
    int i = 0;
    while (i < n) {
        if (text[i].isSpace()) {
            ++i;
            continue;
        }
        int chunkEnd = i;
        while (chunkEnd < n && !text[chunkEnd].isSpace())
            ++chunkEnd;
        if (isAddress(QStringView(text).mid(i, chunkEnd - i))) {
            i = chunkEnd;
            continue;
        }
        while (i < chunkEnd) {
            if (!isLetter(text[i])) {
                ++i;
                continue;
            }
            const int start = i;
            while (i < chunkEnd && (isLetter(text[i]) ||
                                    (isApostrophe(text[i]) && i + 1 < chunkEnd && isLetter(text[i + 1]) &&
                                     i > start)))
                ++i;
            const bool digitBefore = start > 0 && (text[start - 1].isDigit() || text[start - 1] == QLatin1Char('_'));
            const bool digitAfter = i < n && (text[i].isDigit() || text[i] == QLatin1Char('_'));
            if (!digitBefore && !digitAfter)
                words.append({start, i - start});
            else
                while (i < chunkEnd && (text[i].isLetterOrNumber() || text[i] == QLatin1Char('_')))
                    ++i;
        }
    }
    return words;
}

} // namespace spelling
