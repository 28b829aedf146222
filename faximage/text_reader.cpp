// Text input (idText with the fax font, idTextEx with a system font): text lines become
// one raster line per font row; form feeds and the lines-per-page limit end pages. A line
// wider than the page is wrapped onto the lines below it, never cut.
#include "faximage/fax_converter_engine.h"
#include "faximage/line_reader.h"
#include "faximage/text_codepage.h"
#include "faximage/text_wrap.h"

#include <deque>
#include <optional>

namespace faximage {

namespace {

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
        if (pieces_.empty()) {
            if (pageBreakPending_) {
                pageBreakPending_ = false;
                return endPage(endOfPage, morePages, true);
            }
            std::string raw;
            if (heldBack_) {
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
            if (const auto ff = raw.find('\f'); ff != std::string::npos) {
                // The rest goes to the next page, drawn there as its first line (it may
                // hold further form feeds).
                std::string rest = raw.substr(ff + 1);
                raw.resize(ff);
                pageBreakPending_ = true;
                if (!rest.empty())
                    heldBack_ = std::move(rest);
            }
            split(s, raw);
        }
        // Every piece of a wrapped line counts as a line of the page.
        if (s.linesPerPage > 0 && linesOnPage_ + 1 > s.linesPerPage)
            return endPage(endOfPage, morePages, true);
        ++linesOnPage_;
        producedOnPage_ = true;
        prepare(s, pieces_.front());
        pieces_.pop_front();
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

    // Expands tabs and wraps the line into the pieces drawn one below the other.
    void split(const ConvertState& s, const std::string& raw) {
        const std::string text = s.enhFont ? raw : toCp1252(raw);
        const std::size_t tab = static_cast<std::size_t>(s.tabWidth > 0 ? s.tabWidth : 4);
        std::string expanded;
        for (char c : text) {
            if (c == '\t') {
                do
                    expanded.push_back(' ');
                while (expanded.size() % tab != 0);
            } else {
                expanded.push_back(c);
            }
        }
        if (s.faxFont) {
            // One character per byte of the fax font's code page.
            std::u32string chars;
            for (char c : expanded)
                chars.push_back(static_cast<unsigned char>(c));
            const int cell = s.faxFont->cellWidth();
            const auto maxChars = static_cast<std::size_t>(std::max(s.width / cell - s.leftMargin / cell, 1));
            for (auto& piece : wrapTextLine(chars, [maxChars](std::u32string_view t) {
                     return std::min(t.size(), maxChars);
                 }))
                pieces_.push_back(std::move(piece));
        } else {
            // In standard resolution only the left half of the drawing is used, each
            // pixel twice across.
            const int page = std::max(s.width - s.leftMargin, 8);
            const int usable = s.enhFine ? page : page / 2;
            const EnhancedFont& font = *s.enhFont;
            for (auto& piece : wrapTextLine(toCodePoints(expanded), [&font, usable](std::u32string_view t) {
                     return font.fitCount(t, usable);
                 }))
                pieces_.push_back(std::move(piece));
        }
    }

    void prepare(const ConvertState& s, const std::u32string& piece) {
        if (s.faxFont) {
            line_.clear();
            for (char32_t c : piece)
                line_.push_back(static_cast<char>(c));
        } else {
            enhLine_.fillWhite();
            s.enhFont->draw(piece, enhLine_);
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
    std::deque<std::u32string> pieces_; // of the current text line, still to draw
    int linesOnPage_ = 0;
    bool producedOnPage_ = false;
    MonoBitmap enhLine_;
};

} // namespace

std::unique_ptr<FaxInputReader> makeTextReader() { return std::make_unique<TextReader>(); }

} // namespace faximage
