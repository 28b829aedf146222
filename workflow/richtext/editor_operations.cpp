#include "workflow/richtext/editor_operations.h"

#include <QTextBlockFormat>
#include <QTextCursor>

#include <cmath>

namespace workflow::richtext {

namespace {
constexpr double kFaxDotsPerInch = 200.0;
}

void setPageBreakBefore(QTextCursor& cursor, bool breakBefore) {
    QTextBlockFormat f = cursor.blockFormat();
    f.setPageBreakPolicy(breakBefore ? QTextFormat::PageBreak_AlwaysBefore : QTextFormat::PageBreak_Auto);
    cursor.setBlockFormat(f);
}

bool hasPageBreakBefore(const QTextCursor& cursor) {
    return cursor.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
}

QTextCharFormat defaultFontFormat(const DefaultFont& font) {
    QTextCharFormat f;
    f.setFontFamilies(QStringList{font.name});
    if (font.points > 0)
        f.setFontPointSize(font.points);
    f.setFontWeight(font.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(font.italic);
    f.setFontUnderline(font.underline);
    return f;
}

int faxZoomPercent(double screenDotsPerInch) {
    if (screenDotsPerInch <= 0)
        return 100;
    return static_cast<int>(std::trunc(kFaxDotsPerInch / screenDotsPerInch * 100.0));
}

} // namespace workflow::richtext
