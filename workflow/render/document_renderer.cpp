#include "workflow/render/document_renderer.h"

#include "workflow/render/fax_file_names.h"
#include "workflow/richtext/page_painter.h"

#include "faximage/bmp_writer.h"
#include "faximage/fax_converter.h"
#include "faximage/fax_errors.h"
#include "faximage/mono_bitmap.h"

#include <QPainter>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <system_error>

namespace workflow::render {

namespace {
constexpr int kCornerMarkInset = 5;
constexpr int kConvertAborted = -1003;
} // namespace

QRect pageContentRect() {
    return QRect(QPoint(kPageMarginPixels, kPageMarginPixels),
                 QPoint(kPageWidthPixels - kPageMarginPixels - 1, kPageHeightPixels - kPageMarginPixels - 1));
}

void rasterToPageBitmap(const QImage& grey, faximage::MonoBitmap& page) {
    // Text and rules are painted without smoothing, so they are pure black or white;
    // grey comes only from pictures, which an ordered dither turns into dot patterns.
    static constexpr std::array<std::array<int, 4>, 4> kBayer = {{
        {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}}};
    page.fillWhite();
    const int w = std::min(grey.width(), page.width());
    const int h = std::min(grey.height(), page.height());
    for (int y = 0; y < h; ++y) {
        const uchar* src = grey.constScanLine(y);
        std::uint8_t* dst = page.row(y);
        const auto& bayerRow = kBayer[static_cast<std::size_t>(y & 3)];
        for (int x = 0; x < w; ++x) {
            const int level = src[x];
            if (level == 255)
                continue;
            const int threshold = level == 0 ? 256 : (bayerRow[static_cast<std::size_t>(x & 3)] * 16 + 8);
            if (level < threshold)
                dst[x >> 3] = static_cast<std::uint8_t>(dst[x >> 3] | (0x80u >> (x & 7)));
        }
    }
    page.setBlack(page.width() - kCornerMarkInset, page.height() - kCornerMarkInset, true);
}

void renderDocument(QTextDocument& document, const std::filesystem::path& dir,
                    std::vector<std::filesystem::path>& pages, const RenderOptions& options) {
    const std::filesystem::path firstName = firstFreeFaxFile(dir);
    const std::filesystem::path bitmapFile = pageBitmapFile(dir);
    int k = static_cast<int>(pages.size());

    QImage raster(kPageWidthPixels, kPageHeightPixels, QImage::Format_Grayscale8);
    raster.setDotsPerMeterX(static_cast<int>(kFaxDotsPerInchAcross / 0.0254 + 0.5));
    raster.setDotsPerMeterY(static_cast<int>(kFaxLinesPerInchFine / 0.0254 + 0.5));
    raster.fill(Qt::white);
    faximage::MonoBitmap bitmap(kPageWidthPixels, kPageHeightPixels, faximage::PixelSense::OneIsBlack);

    faximage::TVelkFaxConverter converter;
    converter.SetOptions(faximage::coYield);
    converter.Resolution = faximage::TFaxResolution::frHigh;
    // The page bitmap carries its own margins; the converter adds none.
    converter.LeftMargin = 0;
    converter.TopMargin = 0;
    if (options.yield)
        converter.OnYield = options.yield;

    struct BitmapRemover {
        std::filesystem::path file;
        ~BitmapRemover() {
            std::error_code ec;
            std::filesystem::remove(file, ec); // failure to delete is of no consequence
        }
    } remover{bitmapFile};

    richtext::PagePainter painter(document, options.page);
    int start = 0;
    for (;;) {
        int next = 0;
        {
            QPainter p(&raster);
            p.setRenderHint(QPainter::Antialiasing, false);
            p.setRenderHint(QPainter::TextAntialiasing, false);
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
            next = painter.paintPage(p, start, pageContentRect(), kFaxDotsPerInchAcross, kFaxLinesPerInchFine);
        }
        ++k;
        const std::filesystem::path name = k == 1 ? firstName : pageFile(dir, k);
        rasterToPageBitmap(raster, bitmap);
        if (const int rc = faximage::writeBmpFile(bitmapFile, bitmap); rc != 0)
            faximage::raiseVelkError(rc);
        if (options.yield && !options.yield())
            faximage::raiseVelkError(kConvertAborted);
        converter.InputDocumentType = faximage::TFaxInputDocumentType::idBmp;
        converter.SetDocumentFile(bitmapFile.string());
        converter.OutFileName = name.string();
        converter.ConvertToFile();
        pages.push_back(name);
        raster.fill(Qt::white);
        if (next <= 0)
            break;
        start = next;
    }
}

} // namespace workflow::render
