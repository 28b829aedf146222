// The editors' operations, and that what they set survives the RTF round trip.
#include "workflow/richtext/editor_operations.h"
#include "workflow/richtext/rtf_reader.h"
#include "workflow/richtext/rtf_writer.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace workflow::richtext;

TEST(EditorOperations, PageBreakMarkAndDefaultFontSurviveSaving) {
    QTextDocument doc;
    QTextCursor c(&doc);
    c.setCharFormat(defaultFontFormat({"Courier New", 11, true, false, true}));
    c.insertText("first");
    c.insertBlock();
    c.insertText("second");
    setPageBreakBefore(c);
    EXPECT_TRUE(hasPageBreakBefore(c));

    const QByteArray rtf = writeRtf(doc);
    QTextDocument back;
    readRtf(std::string_view(rtf.constData(), static_cast<std::size_t>(rtf.size())), back);
    ASSERT_EQ(back.blockCount(), 2);
    EXPECT_FALSE(QTextCursor(back.firstBlock()).blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
    QTextCursor second(back.lastBlock());
    EXPECT_TRUE(hasPageBreakBefore(second));
    second.movePosition(QTextCursor::NextCharacter);
    const QTextCharFormat f = second.charFormat();
    EXPECT_EQ(f.fontFamilies().toStringList().value(0), "Courier New");
    EXPECT_DOUBLE_EQ(f.fontPointSize(), 11.0);
    EXPECT_EQ(f.fontWeight(), QFont::Bold);
    EXPECT_TRUE(f.fontUnderline());
    EXPECT_FALSE(f.fontItalic());

    setPageBreakBefore(second, false);
    EXPECT_FALSE(hasPageBreakBefore(second));
}

TEST(EditorOperations, FaxZoomForScreenResolutions) {
    EXPECT_EQ(faxZoomPercent(96), 208);
    EXPECT_EQ(faxZoomPercent(120), 166);
    EXPECT_EQ(faxZoomPercent(200), 100);
    EXPECT_EQ(faxZoomPercent(0), 100);
}
