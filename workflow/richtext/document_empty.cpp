#include "workflow/richtext/document_empty.h"

#include <QTextDocument>

namespace workflow::richtext {

namespace {
constexpr int kLongDocumentChars = 256;
constexpr int kLinesExamined = 201;

bool blankOfSpaces(QStringView line) {
    for (QChar c : line)
        if (c != u' ')
            return false;
    return true;
}
} // namespace

bool isDocumentEmpty(const QTextDocument& document) {
    const QString text = document.toPlainText(); // paragraph and line separators become '\n'
    if (text.isEmpty())
        return true;
    if (text.size() >= kLongDocumentChars)
        return false;
    int lineNo = 0;
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (lineNo++ >= kLinesExamined)
            break;
        if (!blankOfSpaces(line))
            return false;
    }
    return true;
}

} // namespace workflow::richtext
