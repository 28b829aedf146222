// Rendered fax pages are readable by a machine nobody here wrote: tesseract reads the
// pages of a built fax file and its text must match what was typed.
#include "rich_test_support.h"

#include "workflow/render/fax_file_builder.h"
#include "workflow/richtext/merge_field.h"

#include "faximage/apf_file.h"
#include "faximage/mono_bitmap.h"
#include "faximage/unpack_engine.h"

#include <QFontInfo>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <iostream>

using namespace workflow::render;
using namespace workflow::richtext;
using namespace workflow::testing;
namespace fs = std::filesystem;

namespace {

struct TextRun {
    QString family;
    double points;
    QString text;
    bool newPage = false;
};

void addParagraph(QTextCursor& c, const TextRun& run, bool first) {
    if (!first)
        c.insertBlock();
    QTextBlockFormat bf;
    bf.setBottomMargin(6);
    if (run.newPage)
        bf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    c.setBlockFormat(bf);
    QTextCharFormat cf;
    cf.setFontFamilies(QStringList{run.family});
    cf.setFontPointSize(run.points);
    c.insertText(run.text, cf);
}

int editDistance(const QString& a, const QString& b) {
    std::vector<int> prev(static_cast<std::size_t>(b.size()) + 1), cur(prev.size());
    for (std::size_t j = 0; j < prev.size(); ++j)
        prev[j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        cur[0] = static_cast<int>(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int sub = prev[static_cast<std::size_t>(j - 1)] + (a[i - 1] == b[j - 1] ? 0 : 1);
            cur[static_cast<std::size_t>(j)] =
                std::min({sub, prev[static_cast<std::size_t>(j)] + 1, cur[static_cast<std::size_t>(j - 1)] + 1});
        }
        std::swap(prev, cur);
    }
    return prev.back();
}

QString normalised(const QString& s) { return words(s).join(u' '); }

// The page as a PNG at the page bitmap's size (fine resolution is 200 dpi both ways
// for our purposes).
void savePage(const fs::path& apf, int page, const fs::path& png) {
    faximage::MonoBitmap raster;
    faximage::ApfPageHeader header;
    ASSERT_EQ(faximage::unpackPageToRaster(apf, page, raster, header), 0);
    QImage image(raster.width(), raster.height(), QImage::Format_Grayscale8);
    for (int y = 0; y < raster.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < raster.width(); ++x)
            line[x] = raster.isBlack(x, y) ? 0 : 255;
    }
    image.setDotsPerMeterX(7874);
    image.setDotsPerMeterY(7874);
    ASSERT_TRUE(image.save(QString::fromStdString(png.string())));
}

} // namespace

TEST(FontNames, CommonWindowsFontsResolveToMetricCompatibleFonts) {
    EXPECT_EQ(QFontInfo(QFont("Arial")).family(), "Liberation Sans");
    EXPECT_EQ(QFontInfo(QFont("Times New Roman")).family(), "Liberation Serif");
    EXPECT_EQ(QFontInfo(QFont("Courier New")).family(), "Liberation Mono");
}

TEST(Ocr, RenderedPagesReadBackAsTheTypedText) {
    if (!requireProgram("tesseract"))
        return;
    TempDir dir;

    // A cover from a template with merge fields, filled in.
    QTextDocument cover;
    {
        QTextCursor c(&cover);
        addParagraph(c, {"Arial", 14, "FAX COVER SHEET"}, true);
        addParagraph(c, {"Times New Roman", 12, "To: "}, false);
        insertMergeField(c, MergeField::Recipient);
        addParagraph(c, {"Times New Roman", 12, "Fax number: "}, false);
        insertMergeField(c, MergeField::FaxNumber);
        addParagraph(c, {"Times New Roman", 12, "Subject: "}, false);
        insertMergeField(c, MergeField::Subject);
        mergeFields(cover, [](MergeField f) {
            switch (f) {
            case MergeField::Recipient: return QStringLiteral("Margaret Hamilton");
            case MergeField::FaxNumber: return QStringLiteral("555 0147");
            case MergeField::Subject: return QStringLiteral("Quarterly inventory report");
            case MergeField::Date:
            case MergeField::Time: break;
            }
            return QString();
        });
    }
    const std::vector<TextRun> body = {
        {"Arial", 14, "Inventory summary for the northern warehouse"},
        {"Times New Roman", 12, "The shipment of copper fittings arrived on Tuesday morning and was counted twice."},
        {"Courier New", 10, "Item 4411 brass valves 120 units"},
        {"Courier New", 10, "Item 4412 steel flanges 75 units"},
        {"Arial", 11, "Please confirm the figures before the end of the week."},
        {"Times New Roman", 13, "A second page begins here after a hard page break.", true},
        {"Arial", 10, "Small print at ten points should still be legible to a reader."},
    };
    QTextDocument doc;
    {
        QTextCursor c(&doc);
        bool first = true;
        for (const TextRun& r : body) {
            addParagraph(c, r, first);
            first = false;
        }
    }

    const BuildResult built = buildFaxFile(cover, doc, dir.path);
    ASSERT_EQ(built.pageCount, 3);

    const QString expectedPages[3] = {
        cover.toPlainText(),
        [&] {
            QStringList t;
            for (std::size_t i = 0; i < 5; ++i)
                t << body[i].text;
            return t.join(u'\n');
        }(),
        body[5].text + "\n" + body[6].text,
    };
    int errors = 0, characters = 0;
    for (int page = 1; page <= 3; ++page) {
        const fs::path png = dir.path / ("page" + std::to_string(page) + ".png");
        savePage(built.file, page, png);
        int status = 0;
        const std::string text = runCommand(
            "tesseract '" + png.string() + "' - --dpi 200 -l eng --psm 4 2>/dev/null", &status);
        ASSERT_EQ(status, 0);
        const QString got = normalised(QString::fromUtf8(text));
        const QString want = normalised(expectedPages[page - 1]);
        const int e = editDistance(got, want);
        errors += e;
        characters += static_cast<int>(want.size());
        EXPECT_LT(e * 100.0 / want.size(), 2.0) << "page " << page << " read as: " << got.toStdString();
    }
    const double cer = errors * 100.0 / characters;
    std::cout << "character error rate " << cer << " % (" << errors << " of " << characters << ")\n";
    EXPECT_LT(cer, 2.0);
}
