// The RTF reader on documents other programs wrote, and on input that is not sound.
#include "rich_test_support.h"

#include "workflow/richtext/rtf_reader.h"

#include <QBuffer>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>

#include <gtest/gtest.h>

#include <chrono>

using namespace workflow::richtext;
using namespace workflow::testing;

namespace {

QTextDocument* load(const std::string& file, QTextDocument& doc, RtfReadResult* result = nullptr) {
    const std::string bytes = readFile(richTextData(file));
    EXPECT_FALSE(bytes.empty()) << file;
    const RtfReadResult r = readRtf(bytes, doc);
    if (result)
        *result = r;
    return &doc;
}

QTextBlock blockStarting(const QTextDocument& doc, const QString& start) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        if (b.text().startsWith(start))
            return b;
    ADD_FAILURE() << "no paragraph starts with " << start.toStdString();
    return {};
}

// The character format at the first occurrence of `text`.
QTextCharFormat formatAt(const QTextDocument& doc, const QString& text) {
    const QTextCursor found = doc.find(text);
    EXPECT_FALSE(found.isNull()) << text.toStdString();
    QTextCursor c(const_cast<QTextDocument*>(&doc));
    c.setPosition(found.selectionStart() + 1);
    return c.charFormat();
}

bool pageBreakBefore(const QTextBlock& b) {
    return b.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
}

QTextTable* firstTable(QTextDocument& doc) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        if (auto* t = QTextCursor(b).currentTable())
            return t;
    return nullptr;
}

int imageCount(const QTextDocument& doc) {
    int n = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                ++n;
    return n;
}

} // namespace

// Both LibreOffice files come from one source document, directly and through .docx.
class LibreOfficeLetter : public ::testing::TestWithParam<std::string> {};

TEST_P(LibreOfficeLetter, TextParagraphsAndCharacterFormats) {
    QTextDocument doc;
    RtfReadResult result;
    load(GetParam(), doc, &result);
    EXPECT_EQ(result.status, RtfReadStatus::Ok);

    const QTextBlock title = blockStarting(doc, "Quarterly Shipping Notice");
    EXPECT_EQ(title.text(), "Quarterly Shipping Notice");
    EXPECT_TRUE(title.blockFormat().alignment() & Qt::AlignHCenter);
    const QTextCharFormat titleFormat = formatAt(doc, "Quarterly");
    EXPECT_EQ(titleFormat.fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(titleFormat.fontPointSize(), 14.0);
    EXPECT_EQ(titleFormat.fontFamilies().toStringList().value(0), "Arial");

    EXPECT_EQ(blockStarting(doc, "Dear customer").text(),
              "Dear customer, the italic words, the underlined words and the struck words sit in one paragraph.");
    EXPECT_TRUE(formatAt(doc, "italic").fontItalic());
    EXPECT_FALSE(formatAt(doc, "Dear").fontItalic());
    EXPECT_TRUE(formatAt(doc, "underlined").fontUnderline());
    EXPECT_TRUE(formatAt(doc, "struck").fontStrikeOut());
    EXPECT_DOUBLE_EQ(formatAt(doc, "Dear").fontPointSize(), 12.0);

    const QTextBlock right = blockStarting(doc, "Right aligned");
    EXPECT_EQ(right.text(), QString::fromUtf8("Right aligned line with a café and naïve €20 price."));
    EXPECT_TRUE(right.blockFormat().alignment() & Qt::AlignRight);

    const QTextBlock indented = blockStarting(doc, "Indented paragraph");
    EXPECT_NEAR(indented.blockFormat().leftMargin(), 96.0, 0.5); // one inch
    EXPECT_NEAR(indented.blockFormat().topMargin(), 24.0, 0.5);  // a quarter inch
    EXPECT_EQ(indented.text(), QString("Indented paragraph in Courier New ten point text.") + QChar(0x2028) +
                                   "Second line after a manual break.");
    const QTextCharFormat courier = formatAt(doc, "Courier New ten");
    EXPECT_EQ(courier.fontFamilies().toStringList().value(0), "Courier New");
    EXPECT_DOUBLE_EQ(courier.fontPointSize(), 10.0);
    EXPECT_FALSE(courier.hasProperty(QTextFormat::ForegroundBrush)); // colours dropped

    QTextTable* table = firstTable(doc);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rows(), 2);
    ASSERT_EQ(table->columns(), 2);
    auto cellText = [&](int r, int c) {
        QTextCursor a = table->cellAt(r, c).firstCursorPosition();
        a.setPosition(table->cellAt(r, c).lastCursorPosition().position(), QTextCursor::KeepAnchor);
        return a.selectedText();
    };
    EXPECT_EQ(cellText(0, 0), "Item");
    EXPECT_EQ(cellText(0, 1), "Count");
    EXPECT_EQ(cellText(1, 0), "Bolts");
    EXPECT_EQ(cellText(1, 1), "42");

    EXPECT_EQ(imageCount(doc), 1); // the PNG, not its metafile twin

    const QTextBlock second = blockStarting(doc, "Second page");
    EXPECT_EQ(second.text(), QString::fromUtf8("Second page begins here with a Greek word αβγ."));
    EXPECT_TRUE(pageBreakBefore(second));
    EXPECT_FALSE(pageBreakBefore(title));
    EXPECT_EQ(doc.lastBlock().text(), second.text()) << "the closing \\par starts no paragraph";
}

INSTANTIATE_TEST_SUITE_P(Files, LibreOfficeLetter,
                         ::testing::Values("lo_letter.rtf", "lo_letter_via_docx.rtf"));

TEST(RtfReader, LibreOfficePlainTextKeepsEmptyLinesTabsAndEscapes) {
    QTextDocument doc;
    load("lo_plain.rtf", doc);
    EXPECT_EQ(doc.toPlainText(), "Plain text memo\n\nLine three after an empty line.\n"
                                 "\tTabbed line with symbols: 50% & <tags> {braces} back\\slash");
}

TEST(RtfReader, WindowsRichEditDocument) {
    QTextDocument doc;
    RtfReadResult result;
    load("wordpad_minutes.rtf", doc, &result);
    EXPECT_EQ(result.status, RtfReadStatus::Ok);
    EXPECT_EQ(result.skippedPictures, 0);

    const QTextBlock title = blockStarting(doc, "Meeting Minutes");
    EXPECT_TRUE(title.blockFormat().alignment() & Qt::AlignHCenter);
    EXPECT_EQ(title.blockFormat().lineHeightType(), QTextBlockFormat::ProportionalHeight);
    EXPECT_NEAR(title.blockFormat().lineHeight(), 115.0, 0.1);
    EXPECT_EQ(formatAt(doc, "Meeting").fontWeight(), QFont::Bold);
    EXPECT_NE(formatAt(doc, "Attendees").fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(formatAt(doc, "Attendees").fontPointSize(), 11.0);

    EXPECT_EQ(blockStarting(doc, "Attendees").text(),
              QString::fromUtf8("Attendees: Renée, Jürgen and Zoë.") + QChar(0x2028) +
                  "Next line in the same paragraph.");
    const QTextBlock quoted = blockStarting(doc, "Quoted remark");
    EXPECT_NEAR(quoted.blockFormat().leftMargin(), 48.0, 0.5);
    EXPECT_NEAR(quoted.blockFormat().rightMargin(), 48.0, 0.5);
    EXPECT_TRUE(formatAt(doc, "underline").fontUnderline());
    EXPECT_FALSE(formatAt(doc, " and").fontUnderline());
    EXPECT_TRUE(formatAt(doc, "strike").fontStrikeOut());

    const QTextBlock tabs = blockStarting(doc, "Col A");
    EXPECT_EQ(tabs.text(), "Col A\tCol B\tCol C");
    ASSERT_EQ(tabs.blockFormat().tabPositions().size(), 2);
    EXPECT_NEAR(tabs.blockFormat().tabPositions()[1].position, 192.0, 0.5);

    EXPECT_EQ(blockStarting(doc, "Unicode").text(),
              QString::fromUtf8("Unicode: “quoted” and אב letters."));
    EXPECT_EQ(blockStarting(doc, "Visible after").text(), "Visible after unknown.");
    EXPECT_TRUE(doc.find("must not show").isNull());
    EXPECT_EQ(imageCount(doc), 1);

    const QTextBlock two = blockStarting(doc, "Page two");
    EXPECT_TRUE(pageBreakBefore(two));
    EXPECT_EQ(formatAt(doc, "Right in").fontFamilies().toStringList().value(0), "Courier New");
    EXPECT_TRUE(blockStarting(doc, "Right in").blockFormat().alignment() & Qt::AlignRight);
}

TEST(RtfReader, TextThatIsNotRtfIsReadAsPlainTextWithAMessage) {
    QTextDocument doc;
    const RtfReadResult r = readRtf("Dear Sir,\r\nthis memo was typed as text.\r\n", doc);
    EXPECT_EQ(r.status, RtfReadStatus::NotRtf);
    EXPECT_FALSE(r.message().isEmpty());
    EXPECT_EQ(doc.toPlainText(), "Dear Sir,\nthis memo was typed as text.");

    const RtfReadResult latin = readRtf("Caf\xe9", doc); // not UTF-8: windows-1252
    EXPECT_EQ(doc.toPlainText(), QString::fromUtf8("Café"));
    EXPECT_EQ(latin.status, RtfReadStatus::NotRtf);

    EXPECT_EQ(readRtf("  \r\n", doc).status, RtfReadStatus::Empty);
    EXPECT_TRUE(doc.isEmpty());
}

TEST(RtfReader, EveryCutOfARealDocumentReadsWithoutHarm) {
    const std::string whole = readFile(richTextData("wordpad_minutes.rtf"));
    QTextDocument doc;
    for (std::size_t cut = 6; cut < whole.size(); cut += 7) {
        const RtfReadResult r = readRtf(std::string_view(whole).substr(0, cut), doc);
        EXPECT_EQ(r.status, RtfReadStatus::Truncated) << "cut at " << cut;
    }
    readRtf(std::string_view(whole).substr(0, whole.find("Page two") + 4), doc);
    EXPECT_TRUE(doc.toPlainText().endsWith("Page"));
}

TEST(RtfReader, HostileStructureEndsQuickly) {
    QTextDocument doc;
    const auto started = std::chrono::steady_clock::now();

    std::string deep = "{\\rtf1 " + std::string(200000, '{') + "deep text" + std::string(200000, '}') + "}";
    EXPECT_EQ(readRtf(deep, doc).status, RtfReadStatus::Ok);
    EXPECT_EQ(doc.toPlainText(), "deep text");

    std::string unclosed = "{\\rtf1 " + std::string(100000, '{') + "open";
    EXPECT_EQ(readRtf(unclosed, doc).status, RtfReadStatus::Truncated);
    EXPECT_EQ(doc.toPlainText(), "open");

    // Stray braces, a \bin longer than the file, huge numbers, a word of 10000 letters, a
    // \u outside UTF-16 (its fallback "e" is still dropped). The cut picture stays as a box.
    const std::string odd = "{\\rtf1 a}}}b\\fs99999999999999 c\\" + std::string(10000, 'x') +
                            " d\\u-99999999999 e{\\pict\\pngblip\\bin999999999 zz";
    readRtf(odd, doc);
    EXPECT_EQ(doc.toPlainText(), QString("abcd") + QChar(QChar::ObjectReplacementCharacter));

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 30.0) << "a spin, not slowness, breaks this bound";
}

TEST(RtfReader, JpegAndDibPicturesTakeTheirSizeFromTheGoal) {
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::darkGray);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "JPEG"));
    const std::string rtf = "{\\rtf1 {\\pict\\jpegblip\\picw40\\pich20\\picwgoal1440\\pichgoal720\\picscalex50 " +
                            jpeg.toHex().toStdString() + "}\\par}";
    QTextDocument doc;
    const RtfReadResult r = readRtf(rtf, doc);
    EXPECT_EQ(r.skippedPictures, 0);
    ASSERT_EQ(imageCount(doc), 1);
    QTextCursor c(&doc);
    c.setPosition(1);
    const QTextImageFormat f = c.charFormat().toImageFormat();
    EXPECT_DOUBLE_EQ(f.width(), 48.0);  // one inch at half scale
    EXPECT_DOUBLE_EQ(f.height(), 48.0); // half an inch
    EXPECT_FALSE(doc.resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>().isNull());
}
