#include "workflow/compose/inserted_pages.h"

#include "workflow/richtext/editor_operations.h"
#include "workflow/richtext/rich_units.h"

#include "faximage/fax_converter_engine.h"
#include "faximage/fax_errors.h"

#include <QFileInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUuid>

#include <cmath>
#include <cstring>

namespace workflow::compose {

namespace {

constexpr int kFaxLinePixels = 1728;
constexpr double kFaxDotsAcross = 204.0;
constexpr double kFineLinesPerInch = 196.0;
constexpr double kScreenDotsPerInch = 96.0;
constexpr int kMaxPages = 500;

std::unique_ptr<faximage::FaxInputReader> readerFor(const QString& suffix) {
    if (suffix == QLatin1String("pdf"))
        return faximage::makePdfReader();
    if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff"))
        return faximage::makeTiffDocumentReader();
    if (suffix == QLatin1String("dcx"))
        return faximage::makeDcxReader();
    if (suffix == QLatin1String("pcx"))
        return faximage::makePcxReader();
    if (suffix == QLatin1String("bmp"))
        return faximage::makeBmpReader();
    return nullptr;
}

QImage monoFromRows(const std::vector<std::vector<std::uint8_t>>& rows) {
    QImage image(kFaxLinePixels, std::max<int>(1, int(rows.size())), QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image.fill(0);
    const std::size_t bytes = std::size_t(kFaxLinePixels / 8);
    for (std::size_t y = 0; y < rows.size(); ++y)
        std::memcpy(image.scanLine(int(y)), rows[y].data(), std::min(bytes, rows[y].size()));
    return image;
}

FilePages readWithFaxReader(faximage::FaxInputReader& reader, const std::filesystem::path& file) {
    FilePages result;
    faximage::ConvertState state;
    state.highRes = true;
    state.flags = 0; // the picture is placed by the document, not centred on a line
    state.width = kFaxLinePixels;
    state.leftMargin = 0;
    if (int rc = reader.open(file, state); rc != 0) {
        result.error = QString::fromStdString(faximage::errorText(rc));
        return result;
    }
    std::vector<std::vector<std::uint8_t>> rows;
    bool more = true;
    while (true) {
        std::fill(state.raster.begin(), state.raster.end(), 0);
        bool endOfPage = false;
        more = false;
        if (int rc = reader.getLine(state, state.raster, endOfPage, more); rc != 0) {
            result.error = QString::fromStdString(faximage::errorText(rc));
            break;
        }
        if (!endOfPage) {
            rows.emplace_back(state.raster.begin(), state.raster.begin() + kFaxLinePixels / 8);
            continue;
        }
        FilePage page;
        page.image = monoFromRows(rows);
        page.widthInches = kFaxLinePixels / kFaxDotsAcross;
        page.heightInches = page.image.height() / kFineLinesPerInch;
        result.pages.push_back(std::move(page));
        rows.clear();
        if (!more || result.pages.size() >= kMaxPages)
            break;
    }
    reader.close();
    return result;
}

} // namespace

FilePages readFilePages(const std::filesystem::path& file) {
    const QString suffix = QFileInfo(QString::fromStdString(file.string())).suffix().toLower();
    if (auto reader = readerFor(suffix))
        return readWithFaxReader(*reader, file);
    FilePages result;
    QImage image(QString::fromStdString(file.string()));
    if (image.isNull()) {
        result.error = QObject::tr("The file is not a PDF, TIFF or image this program reads.");
        return result;
    }
    const double dpiX = image.dotsPerMeterX() > 0 ? image.dotsPerMeterX() * 0.0254 : kScreenDotsPerInch;
    const double dpiY = image.dotsPerMeterY() > 0 ? image.dotsPerMeterY() * 0.0254 : kScreenDotsPerInch;
    FilePage page;
    page.widthInches = image.width() / dpiX;
    page.heightInches = image.height() / dpiY;
    page.image = std::move(image);
    result.pages.push_back(std::move(page));
    return result;
}

QImage fitToPage(const FilePage& source, const richtext::PageSetup& page) {
    const double areaWidth = (page.paperWidthTw - page.marginLeftTw - page.marginRightTw) /
                             double(richtext::kTwipsPerInch);
    const double areaHeight = (page.paperHeightTw - page.marginTopTw - page.marginBottomTw) /
                                  double(richtext::kTwipsPerInch) - kInsertedPageSlackInches;
    const double w = std::max(source.widthInches, 0.01);
    const double h = std::max(source.heightInches, 0.01);
    const double scale = std::min({1.0, areaWidth / w, std::max(areaHeight, 0.5) / h});
    const int pw = std::max(1, int(std::lround(w * scale * kInsertedPageDpi)));
    const int ph = std::max(1, int(std::lround(h * scale * kInsertedPageDpi)));
    // Grey resampling keeps thin strokes; the threshold makes it a fax picture again.
    QImage grey = source.image.convertToFormat(QImage::Format_Grayscale8)
                      .scaled(pw, ph, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage mono(pw, ph, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.fill(0);
    for (int y = 0; y < ph; ++y) {
        const uchar* in = grey.constScanLine(y);
        uchar* out = mono.scanLine(y);
        for (int x = 0; x < pw; ++x)
            if (in[x] < 128)
                out[x >> 3] |= uchar(0x80 >> (x & 7));
    }
    const int dotsPerMetre = int(std::lround(kInsertedPageDpi / 0.0254));
    mono.setDotsPerMeterX(dotsPerMetre);
    mono.setDotsPerMeterY(dotsPerMetre);
    return mono;
}

int insertPages(QTextCursor& cursor, const std::vector<FilePage>& pages, const richtext::PageSetup& page) {
    QTextDocument* doc = cursor.document();
    if (pages.empty() || !doc)
        return 0;
    cursor.beginEditBlock();
    const bool startOfEmpty = doc->characterCount() <= 1;
    QTextBlockFormat pictureBlock;
    pictureBlock.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
    int inserted = 0;
    for (const FilePage& source : pages) {
        const QImage picture = fitToPage(source, page);
        if (!(startOfEmpty && inserted == 0))
            cursor.insertBlock();
        QTextBlockFormat f = pictureBlock;
        f.setPageBreakPolicy(startOfEmpty && inserted == 0 ? QTextFormat::PageBreak_Auto
                                                          : QTextFormat::PageBreak_AlwaysBefore);
        cursor.setBlockFormat(f);
        const QString name = QStringLiteral("inserted-page-%1.png").arg(QUuid::createUuid().toString(QUuid::Id128));
        doc->addResource(QTextDocument::ImageResource, QUrl(name), picture);
        QTextImageFormat image;
        image.setName(name);
        image.setWidth(picture.width() * kScreenDotsPerInch / kInsertedPageDpi);
        image.setHeight(picture.height() * kScreenDotsPerInch / kInsertedPageDpi);
        cursor.insertImage(image);
        ++inserted;
    }
    // Text that followed the cursor goes on after the pictures, on a page of its own.
    if (!cursor.atEnd()) {
        cursor.insertBlock();
        QTextBlockFormat f;
        f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        cursor.setBlockFormat(f);
    }
    cursor.endEditBlock();
    return inserted;
}

} // namespace workflow::compose
