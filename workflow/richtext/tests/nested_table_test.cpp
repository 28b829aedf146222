// Tables in table cells: read from LibreOffice's RTF, written back in the same form, and
// read by LibreOffice with the same cells.
#include "rich_test_support.h"

#include "workflow/richtext/rtf_reader.h"
#include "workflow/richtext/rtf_writer.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <gtest/gtest.h>

#include <functional>

using namespace workflow::richtext;
using namespace workflow::testing;

namespace {

std::string toStd(const QByteArray& b) { return std::string(b.constData(), static_cast<std::size_t>(b.size())); }

QString describeFrame(const QTextFrame* frame);

// A table as [row|row] with cells split by '|', nested tables inline.
QString describeTable(const QTextTable* t) {
    QString s = "[";
    for (int r = 0; r < t->rows(); ++r) {
        s += r ? "][" : "[";
        for (int c = 0; c < t->columns(); ++c) {
            if (c)
                s += "|";
            const QTextTableCell cell = t->cellAt(r, c);
            QStringList parts;
            for (auto it = cell.begin(); !it.atEnd(); ++it) {
                if (const auto* nested = qobject_cast<const QTextTable*>(it.currentFrame()))
                    parts << describeTable(nested);
                else if (it.currentBlock().isValid() && !it.currentBlock().text().isEmpty())
                    parts << it.currentBlock().text();
            }
            s += parts.join(u' ');
        }
    }
    return s + "]]";
}

QString describeFrame(const QTextFrame* frame) {
    QStringList parts;
    for (auto it = frame->begin(); !it.atEnd(); ++it) {
        if (const auto* t = qobject_cast<const QTextTable*>(it.currentFrame()))
            parts << describeTable(t);
        else if (it.currentBlock().isValid() && !it.currentBlock().text().isEmpty())
            parts << it.currentBlock().text();
    }
    return parts.join(u' ');
}

QString describe(const QTextDocument& doc) { return describeFrame(doc.rootFrame()); }

const QString kLetterTables =
    "Before table [[Outer A1|Outer B1 top [[In 1|In 2|In 3][In 4|In 5|In 6]] Outer B1 bottom]"
    "[Outer A2|Outer B2]] After table";

} // namespace

TEST(NestedTables, LibreOfficeDocumentReadsIntoNestedTables) {
    QTextDocument doc;
    const RtfReadResult r = readRtf(readFile(richTextData("lo_nested_tables.rtf")), doc);
    EXPECT_EQ(r.status, RtfReadStatus::Ok);
    EXPECT_EQ(describe(doc), kLetterTables);
}

TEST(NestedTables, WrittenInTheSameFormAndReadBackUnchanged) {
    QTextDocument doc;
    readRtf(readFile(richTextData("lo_nested_tables.rtf")), doc);
    const QByteArray written = writeRtf(doc);
    EXPECT_TRUE(written.contains("\\itap2"));
    EXPECT_TRUE(written.contains("\\nestcell"));
    EXPECT_TRUE(written.contains("{\\*\\nesttableprops\\trowd"));
    EXPECT_TRUE(written.contains("\\nestrow}{\\nonesttables\\par}"));
    QTextDocument again;
    readRtf(toStd(written), again);
    EXPECT_EQ(describe(again), kLetterTables);
    EXPECT_EQ(writeRtf(again), written) << "a second round changes nothing";
}

TEST(NestedTables, ThreeLevelsAndTablesAloneInACell) {
    // Built here: a cell holding only a table, whose cell holds only a table.
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText("Top");
    QTextTable* outer = c.insertTable(1, 2);
    outer->cellAt(0, 0).firstCursorPosition().insertText("left");
    QTextCursor inCell = outer->cellAt(0, 1).firstCursorPosition();
    QTextTable* middle = inCell.insertTable(2, 1);
    middle->cellAt(0, 0).firstCursorPosition().insertText("m1");
    QTextTable* inner = middle->cellAt(1, 0).firstCursorPosition().insertTable(1, 2);
    inner->cellAt(0, 0).firstCursorPosition().insertText("deep a");
    inner->cellAt(0, 1).firstCursorPosition().insertText("deep b");
    const QString expected = describe(doc);
    ASSERT_EQ(expected, "Top [[left|[[m1][[[deep a|deep b]]]]]]");

    const QByteArray written = writeRtf(doc);
    EXPECT_TRUE(written.contains("\\itap3"));
    QTextDocument back;
    readRtf(toStd(written), back);
    EXPECT_EQ(describe(back), expected);
}

TEST(NestedTables, ReadersWithoutNestingSeeTheCellsAsText) {
    // Our nested rows carry a \nonesttables paragraph; nest marks outside any table and
    // a \nestrow with no table open must not lose text or crash.
    QTextDocument doc;
    readRtf("{\\rtf1 a\\nestcell b\\nestrow c\\par\\pard\\intbl\\itap2 x\\nestrow y\\cell\\row}", doc);
    EXPECT_EQ(words(doc.toPlainText()).join(u' '), "a b c x y");
    readRtf("{\\rtf1\\pard\\intbl\\itap40 deep\\nestcell\\row after}", doc);
    EXPECT_TRUE(doc.toPlainText().contains("deep"));
    EXPECT_TRUE(doc.toPlainText().contains("after"));
}

TEST(NestedTables, CellsBeyondTheRowDefinitionKeepOneWidthPerColumn) {
    // The nested row defines one cell edge but gets more cells: a table with widths must
    // have one for every column, or Qt reads past the list when the table grows.
    QTextDocument doc;
    readRtf("{\\rtf\\itap2 a}\\nestcell}b\\cellx\\nestrow\\nestcell\\nestcell c", doc);
    int tables = 0;
    std::function<void(const QTextFrame*)> check = [&](const QTextFrame* frame) {
        for (const QTextFrame* f : frame->childFrames()) {
            if (const auto* t = qobject_cast<const QTextTable*>(f)) {
                ++tables;
                const auto widths = t->format().columnWidthConstraints();
                if (!widths.isEmpty()) {
                    EXPECT_EQ(widths.size(), t->columns());
                }
            }
            check(f);
        }
    };
    check(doc.rootFrame());
    EXPECT_EQ(tables, 2);
    QTextDocument back;
    readRtf(toStd(writeRtf(doc)), back);
    EXPECT_EQ(words(back.toPlainText()).join(u' '), words(doc.toPlainText()).join(u' '));
}

TEST(NestedTables, LibreOfficeReadsOurNestedTablesWithTheSameCells) {
    if (!requireProgram("soffice"))
        return;
    QTextDocument doc;
    readRtf(readFile(richTextData("lo_nested_tables.rtf")), doc);
    TempDir dir;
    writeFile(dir.path / "ours.rtf", toStd(writeRtf(doc)));
    int status = 0;
    runCommand("cd '" + dir.path.string() + "' && mkdir out && HOME='" + dir.path.string() +
                   "' timeout 180 soffice --headless --convert-to rtf --outdir out ours.rtf >/dev/null 2>&1",
               &status);
    ASSERT_EQ(status, 0);
    QTextDocument back;
    readRtf(readFile(dir.path / "out/ours.rtf"), back);
    EXPECT_EQ(describe(back), kLetterTables);
}
