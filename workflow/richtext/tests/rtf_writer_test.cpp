// The RTF writer: what it writes reads back the same here, in LibreOffice and in unrtf.
#include "rich_test_support.h"

#include "workflow/richtext/merge_field.h"
#include "workflow/richtext/rtf_reader.h"
#include "workflow/richtext/rtf_writer.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace workflow::richtext;
using namespace workflow::testing;

namespace {

const std::vector<std::string> kSamples = {"lo_letter.rtf", "lo_letter_via_docx.rtf", "lo_plain.rtf",
                                           "wordpad_minutes.rtf"};

std::string toStd(const QByteArray& b) { return std::string(b.constData(), static_cast<std::size_t>(b.size())); }

struct FragmentSummary {
    QString text;
    bool bold, italic, underline, strike;
    double points;
    QString family;
    bool operator==(const FragmentSummary&) const = default;
};

struct BlockSummary {
    QString text;
    int align;
    int left, right, indent, top, bottom;
    bool pageBreak;
    std::vector<FragmentSummary> fragments;
    bool operator==(const BlockSummary&) const = default;
};

std::vector<BlockSummary> summarise(const QTextDocument& doc) {
    std::vector<BlockSummary> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const QTextBlockFormat f = b.blockFormat();
        BlockSummary s{b.text(),
                       static_cast<int>(f.alignment() & Qt::AlignHorizontal_Mask),
                       qRound(f.leftMargin()),
                       qRound(f.rightMargin()),
                       qRound(f.textIndent()),
                       qRound(f.topMargin()),
                       qRound(f.bottomMargin()),
                       bool(f.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore),
                       {}};
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat c = it.fragment().charFormat();
            FragmentSummary fs{it.fragment().text(), c.fontWeight() >= QFont::DemiBold, c.fontItalic(),
                               c.fontUnderline(), c.fontStrikeOut(), c.fontPointSize(),
                               c.fontFamilies().toStringList().value(0)};
            // Adjacent runs of one format may be split differently; join them.
            if (!s.fragments.empty()) {
                FragmentSummary prev = s.fragments.back();
                prev.text = fs.text;
                if (prev == fs) {
                    s.fragments.back().text += fs.text;
                    continue;
                }
            }
            s.fragments.push_back(fs);
        }
        out.push_back(s);
    }
    return out;
}

// unrtf writes text as Latin-1: other characters come out as '?', some as nothing or
// as a stand-in. Only what Latin-1 can carry is compared.
QString latin1Part(const QString& text) {
    QString s;
    for (QChar c : text)
        if (c == u'\n' || (c.unicode() >= 0x20 && c.unicode() < 0x80 && c != u'?') || (c.unicode() >= 0xA0 && c.unicode() <= 0xFF && c != QChar(0xAC)))
            s.append(c);
        else if (c.isSpace())
            s.append(u' ');
    return s;
}

// Text as another program writes it out, with our pictures and its headers left aside.
QStringList oracleWords(const QString& output) {
    QString text = output;
    text.remove(QRegularExpression(QStringLiteral("###[^\n]*|-{10,}")));
    return words(text);
}

} // namespace

class WrittenRtf : public ::testing::TestWithParam<std::string> {};

TEST_P(WrittenRtf, ReadsBackWithTheSameTextAndFormats) {
    QTextDocument original;
    readRtf(readFile(richTextData(GetParam())), original);
    const QByteArray written = writeRtf(original);
    QTextDocument again;
    const RtfReadResult r = readRtf(toStd(written), again);
    EXPECT_EQ(r.status, RtfReadStatus::Ok);
    EXPECT_EQ(again.toPlainText(), original.toPlainText());
    const auto a = summarise(original), b = summarise(again);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        EXPECT_TRUE(a[i] == b[i]) << "paragraph " << i << ": " << a[i].text.toStdString();
    // A second round changes nothing at all.
    EXPECT_EQ(writeRtf(again), written);
}

TEST_P(WrittenRtf, LibreOfficeAndUnrtfReadTheSameText) {
    const bool haveOffice = requireProgram("soffice");
    const bool haveUnrtf = requireProgram("unrtf");
    QTextDocument doc;
    readRtf(readFile(richTextData(GetParam())), doc);
    const QStringList expected = words(doc.toPlainText());
    TempDir dir;
    const auto file = dir.path / "written.rtf";
    writeFile(file, toStd(writeRtf(doc)));

    if (haveOffice) {
        int status = 0;
        runCommand("cd '" + dir.path.string() + "' && HOME='" + dir.path.string() +
                       "' timeout 180 soffice --headless --convert-to 'txt:Text (encoded):UTF8' written.rtf "
                       ">/dev/null 2>&1",
                   &status);
        EXPECT_EQ(status, 0);
        std::string text = readFile(dir.path / "written.txt");
        if (text.rfind("\xEF\xBB\xBF", 0) == 0)
            text.erase(0, 3);
        EXPECT_EQ(oracleWords(QString::fromUtf8(text)).join(u' '), expected.join(u' ')) << "LibreOffice";
    }
    if (haveUnrtf) {
        int status = 0;
        const std::string text = runCommand("unrtf --nopict --text '" + file.string() + "' 2>/dev/null", &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(oracleWords(latin1Part(QString::fromLatin1(text))).join(u' '),
                  words(latin1Part(doc.toPlainText())).join(u' '))
            << "unrtf";
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, WrittenRtf, ::testing::ValuesIn(kSamples));

TEST(RtfWriter, LibreOfficeKeepsParagraphFormatting) {
    if (!requireProgram("soffice"))
        return;
    // LibreOffice reads our RTF and writes its own; reading that back here must give the
    // same paragraph formats as ours did.
    QTextDocument doc;
    readRtf(readFile(richTextData("wordpad_minutes.rtf")), doc);
    TempDir dir;
    writeFile(dir.path / "ours.rtf", toStd(writeRtf(doc)));
    int status = 0;
    runCommand("cd '" + dir.path.string() + "' && mkdir out && HOME='" + dir.path.string() +
                   "' timeout 180 soffice --headless --convert-to rtf --outdir out ours.rtf >/dev/null 2>&1",
               &status);
    ASSERT_EQ(status, 0);
    QTextDocument back;
    readRtf(readFile(dir.path / "out/ours.rtf"), back);
    const auto a = summarise(doc), b = summarise(back);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].text, b[i].text);
        EXPECT_EQ(a[i].align, b[i].align) << i;
        EXPECT_EQ(a[i].left, b[i].left) << i;
        EXPECT_EQ(a[i].right, b[i].right) << i;
        EXPECT_EQ(a[i].pageBreak, b[i].pageBreak) << i;
    }
}

TEST(RtfWriter, EscapesAndCharactersOutsideTheCodePage) {
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QString::fromUtf8("{braces} \\ back, tab\there, café €5, 日本, emoji 😀"));
    const QByteArray rtf = writeRtf(doc);
    EXPECT_TRUE(rtf.contains("\\{braces\\}"));
    EXPECT_TRUE(rtf.contains("caf\\'e9"));
    EXPECT_TRUE(rtf.contains("\\'805"));
    EXPECT_TRUE(rtf.contains("\\u26085?"));
    QTextDocument back;
    readRtf(toStd(rtf), back);
    EXPECT_EQ(back.toPlainText(), doc.toPlainText());
}

TEST(RtfWriter, MergeFieldsAreStandardFieldsOthersShowAsText) {
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText("To: ");
    insertMergeField(c, MergeField::Recipient);
    c.insertText(" fax ");
    insertMergeField(c, MergeField::FaxNumber);
    const QByteArray rtf = writeRtf(doc);
    EXPECT_TRUE(rtf.contains("{\\field{\\*\\fldinst  MERGEFIELD RECIPIENT }{\\fldrslt "));

    QTextDocument back;
    readRtf(toStd(rtf), back);
    const auto runs = fieldRuns(back);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].field, MergeField::Recipient);
    EXPECT_EQ(runs[1].field, MergeField::FaxNumber);
    EXPECT_EQ(back.toPlainText(), "To: [RECIPIENT] fax [FAX#]");

    if (requireProgram("unrtf")) {
        TempDir dir;
        writeFile(dir.path / "f.rtf", toStd(rtf));
        const std::string text = runCommand("unrtf --nopict --text '" + (dir.path / "f.rtf").string() + "' 2>/dev/null");
        EXPECT_EQ(oracleWords(QString::fromLatin1(text)), words("To: [RECIPIENT] fax [FAX#]"));
    }
}
