// idPdf: PDF pages rasterised with poppler, one page at a time, at fax density (scaled
// down when a page is wider than the line), thresholded with a small ordered dither so
// grey areas keep some tone.
#include "faximage/fax_converter_engine.h"

#include <poppler-document.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace faximage {

namespace {

const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
constexpr double kFaxDpiAcross = 204.0;

class PdfReader final : public FaxInputReader {
public:
    int open(const std::filesystem::path& name, ConvertState& s) override {
        if (name.empty() || !std::filesystem::exists(name))
            return -2;
        doc_.reset(poppler::document::load_from_file(name.string()));
        if (!doc_ || doc_->is_locked() || doc_->pages() < 1)
            return ec::BadGraphicsFormat;
        page_ = 0;
        s.bytesTotal = doc_->pages();
        s.bytesRead = 0;
        return startPage(s);
    }

    int getLine(ConvertState& s, std::span<std::uint8_t> raster, bool& endOfPage,
                bool& morePages) override {
        endOfPage = false;
        morePages = false;
        if (row_ >= image_.height()) {
            endOfPage = true;
            s.bytesRead = page_ + 1;
            if (page_ + 1 < doc_->pages()) {
                ++page_;
                morePages = true;
                return startPage(s);
            }
            return 0;
        }
        std::fill(line_.begin(), line_.end(), 0);
        const auto* row = reinterpret_cast<const std::uint8_t*>(image_.const_data()) +
                          static_cast<std::size_t>(row_) * static_cast<std::size_t>(image_.bytes_per_row());
        for (int x = 0; x < image_.width(); ++x) {
            if (row[x] * 16 < 255 * (kBayer[row_ & 3][x & 3] * 2 + 1) / 2)
                line_[static_cast<std::size_t>(x >> 3)] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        }
        placeImageRow(s, line_, image_.width(), raster);
        ++row_;
        return 0;
    }

    void close() override {
        image_ = poppler::image();
        doc_.reset();
    }

private:
    int startPage(ConvertState& s) {
        std::unique_ptr<poppler::page> page(doc_->create_page(page_));
        if (!page)
            return ec::BadGraphicsFormat;
        const poppler::rectf box = page->page_rect(poppler::media_box);
        const double inchesWide = std::max(box.width() / 72.0, 0.1);
        const int usable = std::max(s.width - s.leftMargin, 64);
        const double xres = std::min(kFaxDpiAcross, usable / inchesWide);
        const double yres = xres * (s.highRes ? 196.0 : 98.0) / kFaxDpiAcross;
        poppler::page_renderer renderer;
        renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
        renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
        renderer.set_image_format(poppler::image::format_gray8);
        image_ = renderer.render_page(page.get(), xres, yres);
        if (!image_.is_valid() || image_.width() <= 0)
            return ec::BadGraphicsFormat;
        line_.assign(MonoBitmap::bytesForWidth(image_.width()), 0);
        row_ = 0;
        placeImage(s, image_.width());
        return 0;
    }

    std::unique_ptr<poppler::document> doc_;
    int page_ = 0;
    poppler::image image_;
    int row_ = 0;
    std::vector<std::uint8_t> line_;
};

} // namespace

std::unique_ptr<FaxInputReader> makePdfReader() { return std::make_unique<PdfReader>(); }

} // namespace faximage
