// What the editors put on paper: pasted rich text, page marks, a merged cover read back
// by OCR, and the pages of an inserted PDF against what the converter makes of it.
#include "compose_test_support.h"

#include "workflow/compose/compose_hooks.h"
#include "workflow/compose/fax_editor.h"
#include "workflow/compose/fax_text_edit.h"
#include "workflow/compose/inserted_pages.h"
#include "workflow/compose/rich_editor.h"
#include "workflow/render/fax_file_builder.h"
#include "workflow/richtext/editor_operations.h"
#include "workflow/richtext/page_painter.h"
#include "workflow/richtext/rtf_reader.h"
#include "workflow/richtext/rtf_writer.h"

#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QAbstractTextDocumentLayout>
#include <QTextDocument>
#include <QtTest>

#include <cmath>

using namespace workflow::compose;
namespace fs = std::filesystem;

namespace {

// FaxTextEdit exposes its paste for the test.
class PasteTarget : public FaxTextEdit {
public:
    using FaxTextEdit::canInsertFromMimeData;
    using FaxTextEdit::insertFromMimeData;
};

bool hasFormattedWord(const QTextDocument& doc, const QString& word, bool bold, bool italic) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.text().contains(word))
                return (f.charFormat().fontWeight() >= QFont::Bold) == bold && f.charFormat().fontItalic() == italic;
        }
    return false;
}

// Ink bounding box of a page, and the ink density of each cell of a grid laid over it:
// comparing two pages this way forgives the margins and scale each side chose.
struct InkGrid {
    QRect box;
    std::vector<double> cells;
};
constexpr int kGridColumns = 24;
constexpr int kGridRows = 32;

// The page builder's corner mark (a dot near the bottom right corner that keeps a blank
// page full length) is not ink of the page.
constexpr int kCornerMarkBand = 16;

InkGrid inkGrid(const faximage::MonoBitmap& page) {
    int left = page.width(), top = page.height(), right = -1, bottom = -1;
    for (int y = 0; y < page.height() - kCornerMarkBand; ++y)
        for (int x = 0; x < page.width() - kCornerMarkBand; ++x)
            if (page.isBlack(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    InkGrid g;
    g.cells.assign(kGridColumns * kGridRows, 0.0);
    if (right < 0)
        return g;
    g.box = QRect(QPoint(left, top), QPoint(right, bottom));
    std::vector<int> count(g.cells.size(), 0);
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) {
            const int cx = std::min(kGridColumns - 1, (x - left) * kGridColumns / g.box.width());
            const int cy = std::min(kGridRows - 1, (y - top) * kGridRows / g.box.height());
            const std::size_t i = std::size_t(cy * kGridColumns + cx);
            ++count[i];
            if (page.isBlack(x, y))
                g.cells[i] += 1;
        }
    for (std::size_t i = 0; i < g.cells.size(); ++i)
        g.cells[i] = count[i] ? g.cells[i] / count[i] : 0;
    return g;
}

// Three letter-size pages with a frame, a heavy diagonal band and large text.
void writeTestPdf(const QString& file) {
    QPdfWriter pdf(file);
    pdf.setPageSize(QPageSize(QPageSize::Letter));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(300);
    QPainter p(&pdf);
    for (int page = 1; page <= 3; ++page) {
        if (page > 1)
            pdf.newPage();
        const QRect r = p.viewport();
        p.fillRect(r, Qt::white);
        p.setPen(QPen(Qt::black, 24));
        p.drawRect(r.adjusted(150, 150, -150, -150));
        p.drawLine(r.left() + 300, r.top() + 300 * page, r.right() - 300, r.bottom() - 300);
        QFont f(QStringLiteral("Liberation Sans"));
        f.setPixelSize(150);
        p.setFont(f);
        p.drawText(QPoint(r.left() + 400, r.top() + 600), QStringLiteral("Page %1 of three").arg(page));
        p.fillRect(QRect(r.left() + 400, r.top() + 900 + 500 * page, 1200, 400), Qt::black);
    }
}

} // namespace

class ComposePagesTest : public QObject {
    Q_OBJECT
private slots:
    void pasteKeepsFormatting();
    void pageMarksFollowTheFaxPages();
    void mergedCoverReadsBackByOcr();
    void insertedPdfMatchesTheConverter();
};

void ComposePagesTest::pasteKeepsFormatting() {
    PasteTarget edit;
    QMimeData rtf;
    rtf.setData(QStringLiteral("text/rtf"),
                "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 plain {\\b heavy} and {\\i slanted}\\par}");
    QVERIFY(edit.canInsertFromMimeData(&rtf));
    edit.insertFromMimeData(&rtf);
    QVERIFY2(edit.toPlainText().contains(QStringLiteral("plain heavy and slanted")), qPrintable(edit.toPlainText()));
    QVERIFY(hasFormattedWord(*edit.document(), QStringLiteral("heavy"), true, false));
    QVERIFY(hasFormattedWord(*edit.document(), QStringLiteral("slanted"), false, true));

    // Offered both, RTF wins over HTML; HTML alone keeps its formatting too.
    PasteTarget both;
    QMimeData two;
    two.setData(QStringLiteral("text/rtf"), "{\\rtf1\\ansi {\\b fromrtf}\\par}");
    two.setHtml(QStringLiteral("<i>fromhtml</i>"));
    both.insertFromMimeData(&two);
    QVERIFY(both.toPlainText().contains(QStringLiteral("fromrtf")));
    QVERIFY(!both.toPlainText().contains(QStringLiteral("fromhtml")));
    PasteTarget html;
    QMimeData h;
    h.setHtml(QStringLiteral("<p>some <b>strong</b> words</p>"));
    html.insertFromMimeData(&h);
    QVERIFY(hasFormattedWord(*html.document(), QStringLiteral("strong"), true, false));
}

void ComposePagesTest::pageMarksFollowTheFaxPages() {
    FaxTextEdit edit;
    edit.resize(900, 700);
    QTextCursor c(edit.document());
    QTextCharFormat f;
    f.setFontPointSize(12);
    for (int i = 0; i < 150; ++i) {
        if (i)
            c.insertBlock();
        c.insertText(QStringLiteral("Line %1 of a long fax document").arg(i), f);
    }
    edit.refreshLayout();
    const double pageHeight = 10.0 * edit.logicalDpiY();
    std::vector<double> breaks = edit.pageBreakPositions();
    // About 50 lines of 12-point text fit on a 10-inch text area.
    QVERIFY2(breaks.size() >= 2 && breaks.size() <= 4, qPrintable(QString::number(breaks.size())));
    for (std::size_t i = 1; i < breaks.size(); ++i) {
        QVERIFY(breaks[i] - breaks[i - 1] <= pageHeight + 0.5);
        QVERIFY(breaks[i] - breaks[i - 1] > pageHeight * 0.9);
    }
    // A hard page break adds a mark where its paragraph starts.
    QTextCursor second(edit.document()->findBlockByNumber(10));
    workflow::richtext::setPageBreakBefore(second);
    edit.refreshLayout();
    const std::vector<double> withBreak = edit.pageBreakPositions();
    QCOMPARE(withBreak.size(), breaks.size() + 1);

    // The marks stand where the built fax's pages start: the line under each mark is the
    // first line of a page the renderer paints.
    QList<int> renderedLines;
    {
        std::unique_ptr<QTextDocument> copy(edit.document()->clone());
        workflow::richtext::PagePainter painter(*copy, edit.page());
        for (int start = painter.nextPageStart(0); start > 0; start = painter.nextPageStart(start))
            renderedLines << copy->findBlock(start).blockNumber();
    }
    for (int zoom : {100, 150, 75}) {
        edit.setZoom(zoom);
        QList<int> markedLines;
        for (double y : edit.pageBreakPositions()) {
            const int at = edit.document()->documentLayout()->hitTest(QPointF(2, y + 2), Qt::FuzzyHit);
            markedLines << edit.document()->findBlock(at).blockNumber();
        }
        QVERIFY2(markedLines == renderedLines, qPrintable(QStringLiteral("zoom %1").arg(zoom)));
    }
    edit.setZoom(100);

    // Zoom scales the layout, and the marks with it.
    edit.setZoom(70);
    const std::vector<double> zoomed = edit.pageBreakPositions();
    QCOMPARE(zoomed.size(), withBreak.size());
    QVERIFY(std::abs(zoomed.front() - withBreak.front() * 0.7) < withBreak.front() * 0.05);
}

void ComposePagesTest::mergedCoverReadsBackByOcr() {
    QTemporaryDir temp;
    const fs::path dir = temp.path().toStdString();
    ComposeHooks hooks;
    hooks.programDir = dir;
    TFaxEditor editor(hooks, nullptr);
    compose_test::fiveFieldTemplate(*editor.richCover()->document());
    editor.recipient()->setText(QStringLiteral("Ada Example"));
    editor.faxNumber()->setText(QStringLiteral("555 0100"));
    editor.subject()->setText(QStringLiteral("Quarterly figures"));
    editor.mergeCover();
    const faxlog::SentFaxContent stored = editor.content();

    // Rendered from the stored cover, as the send job does.
    QTextDocument cover, body;
    workflow::richtext::readRtf(stored.rtfCover, cover);
    const workflow::render::BuildResult built = workflow::render::buildFaxFile(cover, body, dir);
    QCOMPARE(built.pageCount, 1);
    const auto pages = compose_test::decodePages(built.file);
    QCOMPARE(int(pages.size()), 1);
    const fs::path png = dir / "cover.png";
    QVERIFY(compose_test::savePng(pages[0], png));
    const compose_test::Run ocr = compose_test::runProgram(
        QStringLiteral("tesseract"), {QString::fromStdString(png.string()), QStringLiteral("-"), QStringLiteral("--dpi"),
                                      QStringLiteral("200"), QStringLiteral("-l"), QStringLiteral("eng"),
                                      QStringLiteral("--psm"), QStringLiteral("4")});
    QVERIFY2(ocr.ran && ocr.status == 0, "tesseract must be installed (scripts/setup)");
    QVERIFY2(ocr.out.contains(QStringLiteral("Ada Example")), qPrintable(ocr.out));
    QVERIFY2(ocr.out.contains(QStringLiteral("Quarterly figures")), qPrintable(ocr.out));
    QVERIFY2(ocr.out.contains(QStringLiteral("555 0100")), qPrintable(ocr.out));
}

void ComposePagesTest::insertedPdfMatchesTheConverter() {
    QTemporaryDir temp;
    const fs::path dir = temp.path().toStdString();
    const QString pdf = temp.filePath(QStringLiteral("three.pdf"));
    writeTestPdf(pdf);

    // A file that is no document inserts nothing and says why.
    const QString junk = temp.filePath(QStringLiteral("junk.pdf"));
    {
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is not a PDF file at all");
    }
    const FilePages none = readFilePages(junk.toStdString());
    QVERIFY(!none.error.isEmpty());
    QVERIFY(none.pages.empty());

    const FilePages read = readFilePages(pdf.toStdString());
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(int(read.pages.size()), 3);

    // Inserted after a line of text: the text keeps page 1, each picture gets its own.
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("Attached: three pages"));
    QCOMPARE(insertPages(c, read.pages), 3);
    QByteArray rtf = workflow::richtext::writeRtf(doc);
    qInfo("RTF with three inserted letter pages: %lld bytes", static_cast<long long>(rtf.size()));
    // One-bit PNG pictures keep the memo small: well under 200 KB per page here.
    QVERIFY(rtf.size() < 3 * 200 * 1024);

    // Through the memo format, as the fax is built from the stored record.
    QTextDocument stored, noCover;
    workflow::richtext::readRtf(std::string_view(rtf.constData(), std::size_t(rtf.size())), stored);
    const workflow::render::BuildResult built = workflow::render::buildFaxFile(noCover, stored, dir);
    QCOMPARE(built.pageCount, 4);
    const auto ours = compose_test::decodePages(built.file);

    const fs::path converted = dir / "converted.apf";
    const compose_test::Run cli = compose_test::runProgram(
        QStringLiteral(PARVANE_CLI), {QStringLiteral("convert"), pdf, QString::fromStdString(converted.string()),
                                      QStringLiteral("--fine"), QStringLiteral("--type"), QStringLiteral("pdf")});
    QVERIFY2(cli.ran && cli.status == 0, qPrintable(cli.out));
    const auto theirs = compose_test::decodePages(converted);
    QCOMPARE(int(theirs.size()), 3);
    QCOMPARE(int(ours.size()), 4);

    for (int i = 0; i < 3; ++i) {
        const InkGrid a = inkGrid(ours[std::size_t(i) + 1]);
        const InkGrid b = inkGrid(theirs[std::size_t(i)]);
        QVERIFY(!a.box.isEmpty() && !b.box.isEmpty());
        // The picture is the converter's page scaled to fit the 7.5 x 9.6 inch area.
        const double scale = double(a.box.width()) / b.box.width();
        QVERIFY2(scale > 0.80 && scale < 0.95, qPrintable(QString::number(scale)));
        const double aspectA = double(a.box.height()) / a.box.width();
        const double aspectB = double(b.box.height()) / b.box.width();
        // Pages built from rich text are drawn at the fax page's own dots and lines per inch,
        // so the picture keeps the shape the converter gives the same page.
        QVERIFY2(std::abs(aspectA / aspectB - 1.0) < 0.02, qPrintable(QString::number(aspectA / aspectB)));
        double diff = 0;
        for (std::size_t k = 0; k < a.cells.size(); ++k)
            diff += std::abs(a.cells[k] - b.cells[k]);
        diff /= double(a.cells.size());
        qInfo("page %d: scale %.3f, mean ink difference per cell %.4f", i + 1, scale, diff);
        // Tolerance: resampling moves stroke edges by a pixel or so; a wrong page, a
        // missing band or a shifted picture gives differences many times larger.
        QVERIFY2(diff < 0.02, qPrintable(QString::number(diff)));
    }
}

QTEST_MAIN(ComposePagesTest)
#include "compose_pages_test.moc"
