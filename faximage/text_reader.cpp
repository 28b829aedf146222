// Text input (idText with the fax font, idTextEx with a system font): text lines become
// one raster line per font row; form feeds and the lines-per-page limit end pages.
#include "faximage/fax_converter_engine.h"
#include "faximage/line_reader.h"
#include "faximage/text_codepage.h"

#include <optional>

namespace faximage {

namespace {

constexpr std::size_t kMaxExpandedLine = 255;
constexpr std::size_t kMaxHeldBack = 255;

class TextReader final : public FaxInputReader {
public:
    int open(const std::filesystem::path& name, ConvertState& s) override {
        if (!s.faxFont && !s.enhFont)
            if (int rc = loadFaxFont(s, TFaxFont::ffStandard, s.highRes); rc != 0)
                return rc;
        if (int rc = lines_.open(name); rc != 0)
            return rc;
        s.bytesTotal = static_cast<std::int64_t>(lines_.fileSize());
        s.bytesRead = 0;
        if (s.enhFont)
            enhLine_ = MonoBitmap(std::max(s.width - s.leftMargin, 8), s.enhLineHeight);
        return 0;
    }

    int getLine(ConvertState& s, std::span<std::uint8_t> raster, bool& endOfPage,
                bool& morePages) override {
        endOfPage = false;
        morePages = false;
        if (row_ < rows_) {
            drawRow(s, raster);
            return 0;
        }
        if (pageBreakPending_) {
            pageBreakPending_ = false;
            return endPage(endOfPage, morePages, true);
        }
        std::string raw;
        if (carried_) {
            raw = std::move(*carried_);
            carried_.reset();
        } else if (heldBack_) {
            raw = std::move(*heldBack_);
            heldBack_.reset();
        } else {
            const int rc = lines_.nextLine(raw);
            if (rc < 0)
                return rc;
            s.bytesRead = static_cast<std::int64_t>(lines_.position());
            if (rc == 0) {
                if (!producedOnPage_) { // an empty page still gets one white line
                    producedOnPage_ = true;
                    return 0;
                }
                return endPage(endOfPage, morePages, false);
            }
        }
        if (s.linesPerPage > 0 && linesOnPage_ + 1 > s.linesPerPage) {
            carried_ = std::move(raw);
            return endPage(endOfPage, morePages, true);
        }
        if (const auto ff = raw.find('\f'); ff != std::string::npos) {
            // The rest goes to the next page, drawn there as its first line (it may
            // hold further form feeds).
            std::string rest = raw.substr(ff + 1, kMaxHeldBack);
            raw.resize(ff);
            pageBreakPending_ = true;
            if (!rest.empty())
                heldBack_ = std::move(rest);
        }
        ++linesOnPage_;
        producedOnPage_ = true;
        prepare(s, raw);
        drawRow(s, raster);
        return 0;
    }

    void close() override { lines_.close(); }

private:
    int endPage(bool& endOfPage, bool& morePages, bool more) {
        endOfPage = true;
        morePages = more;
        linesOnPage_ = 0;
        producedOnPage_ = false;
        return 0;
    }

    void prepare(const ConvertState& s, const std::string& raw) {
        const std::string text = s.enhFont ? raw : toCp1252(raw);
        const std::size_t tab = static_cast<std::size_t>(s.tabWidth > 0 ? s.tabWidth : 4);
        line_.clear();
        for (char c : text) {
            if (line_.size() >= kMaxExpandedLine)
                break;
            if (c == '\t') {
                do
                    line_.push_back(' ');
                while (line_.size() % tab != 0 && line_.size() < kMaxExpandedLine);
            } else {
                line_.push_back(c);
            }
        }
        if (s.faxFont) {
            const int cell = s.faxFont->cellWidth();
            const int maxChars = s.width / cell - s.leftMargin / cell;
            if (maxChars >= 0 && line_.size() > static_cast<std::size_t>(maxChars))
                line_.resize(static_cast<std::size_t>(maxChars));
        } else {
            enhLine_.fillWhite();
            s.enhFont->draw(toCodePoints(line_), enhLine_);
        }
        rows_ = textCellHeight(s);
        row_ = 0;
    }

    void drawRow(const ConvertState& s, std::span<std::uint8_t> raster) {
        if (s.enhFont)
            copyEnhancedRow(s, enhLine_, row_, raster);
        else
            drawTextRow(s, line_, row_ + 1, raster);
        ++row_;
    }

    TLineReader lines_;
    std::string line_;
    int row_ = 0;
    int rows_ = 0;
    bool pageBreakPending_ = false;
    std::optional<std::string> heldBack_;
    std::optional<std::string> carried_;
    int linesOnPage_ = 0;
    bool producedOnPage_ = false;
    MonoBitmap enhLine_;
};

} // namespace

std::unique_ptr<FaxInputReader> makeTextReader() { return std::make_unique<TextReader>(); }

} // namespace faximage
