// What the editors (fax editor, cover template editor) ask of the rich-text engine
// beyond reading and writing: a page-break mark, the default font as current format,
// and the zoom at which a screen shows a page as large as the fax has it.
#pragma once

#include <QString>
#include <QTextCharFormat>

class QTextCursor;

namespace workflow::richtext {

// Marks the paragraph at the cursor to begin a new page (or clears the mark).
void setPageBreakBefore(QTextCursor& cursor, bool breakBefore = true);
bool hasPageBreakBefore(const QTextCursor& cursor);

struct DefaultFont {
    QString name = QStringLiteral("Times New Roman");
    double points = 12;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};
// The character format new text gets in an empty cover or document.
QTextCharFormat defaultFontFormat(const DefaultFont& font);

// Trunc(200 / dpi * 100): 208 at 96 dots per inch, 166 at 120.
int faxZoomPercent(double screenDotsPerInch);

} // namespace workflow::richtext
