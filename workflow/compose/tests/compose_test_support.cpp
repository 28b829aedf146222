#include "compose_test_support.h"

#include "workflow/richtext/merge_field.h"

#include "faximage/apf_file.h"
#include "faximage/unpack_engine.h"

#include <QImage>
#include <QProcess>
#include <QTextCursor>
#include <QTextDocument>

namespace compose_test {

Run runProgram(const QString& program, const QStringList& args, int timeoutMs) {
    Run r;
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return r;
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.ran = true;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    return r;
}

void fiveFieldTemplate(QTextDocument& document) {
    using workflow::richtext::MergeField;
    QTextCursor c(&document);
    QTextCharFormat f;
    f.setFontFamilies(QStringList{QStringLiteral("Liberation Sans")});
    f.setFontPointSize(14);
    c.setCharFormat(f);
    const std::pair<const char*, MergeField> lines[] = {{"To: ", MergeField::Recipient},
                                                        {"Fax: ", MergeField::FaxNumber},
                                                        {"Subject: ", MergeField::Subject},
                                                        {"Date: ", MergeField::Date},
                                                        {"Time: ", MergeField::Time}};
    bool first = true;
    for (const auto& [label, field] : lines) {
        if (!first)
            c.insertBlock();
        first = false;
        c.insertText(QString::fromLatin1(label), f);
        workflow::richtext::insertMergeField(c, field);
    }
}

std::vector<faximage::MonoBitmap> decodePages(const std::filesystem::path& apf) {
    std::vector<faximage::MonoBitmap> pages;
    faximage::ApfReader reader;
    if (reader.open(apf) != 0)
        return pages;
    const int count = reader.pageCount();
    for (int page = 1; page <= count; ++page) {
        faximage::MonoBitmap raster;
        faximage::ApfPageHeader header;
        if (faximage::unpackPageToRaster(apf, page, raster, header) != 0)
            break;
        pages.push_back(std::move(raster));
    }
    return pages;
}

bool savePng(const faximage::MonoBitmap& page, const std::filesystem::path& png) {
    QImage image(page.width(), page.height(), QImage::Format_Grayscale8);
    for (int y = 0; y < page.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < page.width(); ++x)
            line[x] = page.isBlack(x, y) ? 0 : 255;
    }
    image.setDotsPerMeterX(7874);
    image.setDotsPerMeterY(7874);
    return image.save(QString::fromStdString(png.string()));
}

} // namespace compose_test
