#include "faximage/fax_converter_engine.h"

#include "faximage/apf_file.h"
#include "faximage/text_codepage.h"

#include <algorithm>
#include <cstring>

namespace faximage {

std::string_view to_string(TFaxInputDocumentType type) {
    switch (type) {
    case TFaxInputDocumentType::idNone:
        return "idNone";
    case TFaxInputDocumentType::idText:
        return "idText";
    case TFaxInputDocumentType::idTextEx:
        return "idTextEx";
    case TFaxInputDocumentType::idTiff:
        return "idTiff";
    case TFaxInputDocumentType::idPcx:
        return "idPcx";
    case TFaxInputDocumentType::idDcx:
        return "idDcx";
    case TFaxInputDocumentType::idBmp:
        return "idBmp";
    case TFaxInputDocumentType::idBitmap:
        return "idBitmap";
    case TFaxInputDocumentType::idUser:
        return "idUser";
    case TFaxInputDocumentType::idTiffDocument:
        return "idTiffDocument";
    case TFaxInputDocumentType::idPdf:
        return "idPdf";
    }
    return "?";
}

std::string_view to_string(TFaxResolution r) {
    switch (r) {
    case TFaxResolution::frNormal:
        return "frNormal";
    case TFaxResolution::frHigh:
        return "frHigh";
    }
    return "?";
}

std::string_view to_string(TFaxWidth w) {
    switch (w) {
    case TFaxWidth::fwNormal:
        return "fwNormal";
    case TFaxWidth::fwWide:
        return "fwWide";
    }
    return "?";
}

// --- text operations --------------------------------------------------------------------

std::unique_ptr<ConvertState> createTextConverter() {
    auto state = std::make_unique<ConvertState>();
    state->width = 1728;
    state->leftMargin = 50;
    state->topMargin = 0;
    state->flags = 13;
    state->tabWidth = 4;
    state->linesPerPage = 0;
    return state;
}

std::unique_ptr<ConvertState> createTextConverter(const EnhFontSpec& font, bool fine, int& rc) {
    auto state = createTextConverter();
    rc = setEnhancedFont(*state, font, fine);
    return state;
}

int loadFaxFont(ConvertState& state, TFaxFont size, bool fine) {
    if (kFaxFontTable.size() != kFaxFontSize)
        return ec::FontFileNotFound;
    state.enhFont.reset();
    state.faxFont = FaxFont(size, fine);
    return 0;
}

int setEnhancedFont(ConvertState& state, const EnhFontSpec& font, bool fine) {
    auto f = std::make_unique<EnhancedFont>();
    if (int rc = f->open(font, fine ? 2.0 : 1.0); rc != 0)
        return rc;
    const int height = f->lineHeight();
    const int bitmapWidth = state.width - state.leftMargin;
    // The drawing bitmap of one text line may not pass 64 KiB.
    const std::size_t bytes = MonoBitmap::bytesForWidth(std::max(bitmapWidth, 0)) *
                              static_cast<std::size_t>(std::max(height, 0));
    if (height <= 0 || bytes > 65536)
        return ec::EnhFontTooBig;
    state.faxFont.reset();
    state.enhFont = std::move(f);
    state.enhLineHeight = height;
    state.enhFine = fine;
    return 0;
}

int textCellHeight(const ConvertState& state) {
    if (state.enhFont)
        return state.enhLineHeight;
    return state.faxFont ? state.faxFont->cellHeight() : 0;
}

namespace {

void drawFaxFontRow(const FaxFont& font, std::string_view text, int line,
                    std::span<std::uint8_t> raster) {
    const int cell = font.cellWidth();
    const int maxBits = static_cast<int>(raster.size()) * 8;
    int x = 0;
    for (char ch : text) {
        if (x + cell > maxBits)
            break;
        const auto glyph = font.glyphRow(static_cast<std::uint8_t>(ch), line);
        // OR the glyph's first `cell` bits in at bit x.
        for (int b = 0; b < cell; b += 8) {
            const int bits = std::min(8, cell - b);
            const auto v = static_cast<std::uint8_t>(glyph[static_cast<std::size_t>(b / 8)] &
                                                     (0xFF00u >> bits));
            if (!v)
                continue;
            const int at = x + b;
            raster[static_cast<std::size_t>(at >> 3)] |= static_cast<std::uint8_t>(v >> (at & 7));
            if ((at & 7) && (at >> 3) + 1 < static_cast<int>(raster.size()))
                raster[static_cast<std::size_t>((at >> 3) + 1)] |=
                    static_cast<std::uint8_t>(v << (8 - (at & 7)));
        }
        x += cell;
    }
}

} // namespace

void copyEnhancedRow(const ConvertState& state, const MonoBitmap& line, int row,
                     std::span<std::uint8_t> raster) {
    if (row < 0 || row >= line.height())
        return;
    const std::uint8_t* src = line.row(row);
    if (state.enhFine) {
        std::memcpy(raster.data(), src, std::min(line.stride(), raster.size()));
        return;
    }
    // Standard resolution: the first half of the row, each pixel twice across.
    const std::size_t half = line.stride() / 2;
    for (std::size_t i = 0; i < half && 2 * i + 1 < raster.size(); ++i) {
        std::uint16_t wide = 0;
        for (int b = 0; b < 8; ++b)
            if (src[i] & (0x80 >> b))
                wide = static_cast<std::uint16_t>(wide | (0xC000u >> (2 * b)));
        raster[2 * i] |= static_cast<std::uint8_t>(wide >> 8);
        raster[2 * i + 1] |= static_cast<std::uint8_t>(wide);
    }
}

namespace {

// One row of a system-font text line: drawn fresh for each call (the fax engine draws a
// line row by row, the text reader keeps its own bitmap).
void drawEnhancedRow(const ConvertState& state, std::string_view text, int row,
                     std::span<std::uint8_t> raster) {
    MonoBitmap bmp(std::max(state.width - state.leftMargin, 8), state.enhLineHeight);
    state.enhFont->draw(toCodePoints(text), bmp);
    copyEnhancedRow(state, bmp, row - 1, raster);
}

} // namespace

void drawTextRow(const ConvertState& state, std::string_view text, int row,
                 std::span<std::uint8_t> raster) {
    if (row < 1 || row > textCellHeight(state))
        return;
    if (state.enhFont)
        drawEnhancedRow(state, text, row, raster);
    else if (state.faxFont)
        drawFaxFontRow(*state.faxFont, text, row - 1, raster);
}

std::size_t codeRasterLine(ConvertState& state, std::span<const std::uint8_t> raster,
                           std::span<std::uint8_t> out) {
    return encodeMhLine(raster, {state.width, state.leftMargin, state.doubleWidth}, out);
}

std::span<const std::uint8_t> endOfPageBytes() { return kApfEndOfPage; }

// --- placement --------------------------------------------------------------------------

void placeImage(ConvertState& state, int w) {
    const int W = state.width;
    const int M = state.leftMargin;
    state.doubleWidth = (state.flags & coDoubleWidth) && !state.highRes && W - M >= 2 * w;
    state.halfHeight = (state.flags & coHalfHeight) && !state.highRes && !state.doubleWidth;
    state.centreOffset = 0;
    if ((state.flags & coCenterImage) && W - w > 15)
        state.centreOffset = state.doubleWidth ? (W - 2 * w) / 32 : (W - w) / 16;
}

void placeImageRow(const ConvertState& state, std::span<const std::uint8_t> row, int imageWidth,
                   std::span<std::uint8_t> raster) {
    const std::size_t offset = static_cast<std::size_t>(std::max(state.centreOffset, 0));
    if (offset >= raster.size())
        return;
    const std::size_t rowBytes = std::min(MonoBitmap::bytesForWidth(imageWidth), row.size());
    const std::size_t n = std::min(rowBytes, raster.size() - offset);
    if (n != 0)
        std::memcpy(raster.data() + offset, row.data(), n);
    // Pixels past the image width are white.
    const int rest = imageWidth % 8;
    if (rest && n == MonoBitmap::bytesForWidth(imageWidth))
        raster[offset + n - 1] &= static_cast<std::uint8_t>(0xFF00u >> rest);
}

// --- the driver -------------------------------------------------------------------------

namespace {

class Conversion {
public:
    Conversion(ConvertState& s, FaxInputReader& r) : s_(s), reader_(r) {}

    int run(const std::filesystem::path& input, const std::filesystem::path& output) {
        input_ = input;
        output_ = output;
        if (int rc = writer_.create(output, {input}); rc != 0)
            return failed(rc, output);
        if (report(true, false))
            return ec::ConvertAbort;
        if (int rc = reader_.open(input, s_); rc != 0)
            return failed(rc, input);
        readerOpen_ = true;
        bool more = true;
        while (more) {
            if (int rc = page(more); rc != 0)
                return rc;
        }
        if (report(false, true))
            return ec::ConvertAbort;
        reader_.close();
        readerOpen_ = false;
        if (int rc = writer_.close(s_.stationId); rc != 0)
            return failed(rc, output);
        return 0;
    }

    ~Conversion() {
        if (readerOpen_)
            reader_.close();
        // An unclosed writer deletes its partial file.
    }

private:
    std::uint16_t pageFlags() const {
        return static_cast<std::uint16_t>((s_.highRes ? kApfHighResolution : 0) |
                                          (s_.width == 2048 ? kApfWide : 0));
    }

    int page(bool& more) {
        ++s_.currentPage;
        s_.currentLine = 0;
        // The classic blank line is 1728 pixels; a wide page needs a 2048-pixel one, or
        // receivers see a short line.
        static constexpr std::array<std::uint8_t, 6> kWideBlank = {0x00, 0x80, 0x80,
                                                                   0xCC, 0x0A, 0x00};
        const std::span<const std::uint8_t> blank =
            s_.width == 2048 ? std::span<const std::uint8_t>(kWideBlank) : kApfBlankLine;
        for (int i = 0; i < s_.topMargin; ++i)
            if (int rc = writer_.appendLine(blank, pageFlags()); rc != 0)
                return failed(rc, output_);
        bool endOfPage = false;
        if (int rc = nextLine(endOfPage, more); rc != 0)
            return rc;
        while (!endOfPage) {
            if (!(s_.halfHeight && s_.currentLine % 2 == 0)) {
                const std::size_t n = codeRasterLine(s_, s_.raster, s_.codeBuffer);
                if (int rc = writer_.appendLine(std::span(s_.codeBuffer).first(n), pageFlags());
                    rc != 0)
                    return failed(rc, output_);
            }
            if (int rc = nextLine(endOfPage, more); rc != 0)
                return rc;
            if ((s_.flags & coYieldOften) && (s_.flags & coYield) && s_.currentLine % 16 == 0)
                if (int rc = yield(); rc != 0)
                    return rc;
        }
        if (int rc = writer_.endPage(pageFlags()); rc != 0)
            return failed(rc, output_);
        if (s_.flags & coYield)
            if (int rc = yield(); rc != 0)
                return rc;
        return 0;
    }

    int nextLine(bool& endOfPage, bool& more) {
        std::fill(s_.raster.begin(), s_.raster.end(), 0);
        ++s_.currentLine;
        more = false;
        if (int rc = reader_.getLine(s_, s_.raster, endOfPage, more); rc != 0)
            return failed(rc, input_);
        return report(false, false) ? ec::ConvertAbort : 0;
    }

    bool report(bool starting, bool ending) {
        if (!s_.status)
            return false;
        return s_.status({starting, ending, s_.currentPage, s_.currentLine, s_.bytesRead,
                          s_.bytesTotal});
    }

    int yield() { return s_.yield ? s_.yield() : 0; }

    int failed(int rc, const std::filesystem::path& file) {
        s_.failedFile = file;
        return rc;
    }

    ConvertState& s_;
    FaxInputReader& reader_;
    std::filesystem::path input_, output_;
    ApfWriter writer_;
    bool readerOpen_ = false;
};

} // namespace

int convertFile(ConvertState& state, FaxInputReader& reader, const std::filesystem::path& input,
                const std::filesystem::path& output) {
    state.currentPage = 0;
    state.currentLine = 0;
    state.bytesRead = 0;
    state.bytesTotal = 0;
    state.failedFile.clear();
    Conversion conversion(state, reader);
    return conversion.run(input, output);
}

} // namespace faximage
