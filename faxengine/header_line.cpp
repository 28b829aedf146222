// Header line and text cover lines: expansion, drawing with the converter's fonts and
// sending as coded lines.
#include "faxengine/header_line.h"

#include "faxengine/fax_session.h"
#include "faximage/mh_encoder.h"

#include <cctype>
#include <ctime>
#include <vector>

namespace faxengine {

std::string expandHeaderText(std::string_view text, const HeaderValues& v) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '$') {
            out.push_back(text[i++]);
            continue;
        }
        const std::size_t end = std::min(text.find(' ', i), text.size());
        const char key = i + 1 < end ? static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 1]))) : '\0';
        switch (key) {
        case 'D': out += v.date; break;
        case 'T': out += v.time; break;
        case 'I': out += v.stationId; break;
        case 'F': out += v.sender; break;
        case 'R': out += v.recipient; break;
        case 'S': out += v.title; break;
        case 'N': out += v.pages; break;
        case 'P': out += v.page; break;
        default: break;
        }
        i = end;
    }
    return out;
}

namespace {
std::string formatNow(const char* fmt) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[64];
    const std::size_t n = std::strftime(buf, sizeof buf, fmt, &tm);
    return std::string(buf, n);
}
} // namespace

std::string shortDateNow() { return formatNow("%x"); }
std::string timeNow() { return formatNow("%X"); }

std::string FaxSession::ExpandHeader(std::string_view text) const {
    HeaderValues v;
    v.date = shortDateNow();
    v.time = timeNow();
    v.stationId = stationId;
    v.sender = headerSender;
    v.recipient = headerRecipient;
    v.title = headerTitle;
    v.pages = std::to_string(pageCount + coverCount);
    if (coverCount == 0)
        v.page = std::to_string(currentPage);
    else
        v.page = sendingCover ? "1" : std::to_string(currentPage + 1);
    return expandHeaderText(text, v);
}

int FaxSession::PrepareConverter(bool enhanced) {
    if (!converter || converterEnhanced != enhanced) {
        converter = faximage::createTextConverter();
        converterEnhanced = enhanced;
    }
    return 0;
}

namespace {
// Draws `text` with the given fax font row by row; each row coded and sent (twice in
// fine resolution, where the font's cells are drawn for normal rows).
int sendTextRows(FaxSession& s, faximage::TFaxFont font,
                 const std::optional<faximage::EnhFontSpec>& enhanced, std::string_view text) {
    if (!s.converter)
        s.PrepareConverter(s.converterEnhanced);
    auto& conv = *s.converter;
    if (s.converterEnhanced && enhanced) {
        if (int rc = faximage::setEnhancedFont(conv, *enhanced, false); rc != 0)
            return rc;
    } else {
        conv.enhFont.reset(); // the fax font's cell, not a system font's line height
        if (int rc = faximage::loadFaxFont(conv, font, false); rc != 0)
            return rc;
    }
    const int rows = faximage::textCellHeight(conv);
    std::vector<std::uint8_t> raster(faximage::kRasterBufferSize);
    std::vector<std::uint8_t> coded(faximage::kMaxCodedLine);
    for (int row = 1; row <= rows; ++row) {
        std::fill(raster.begin(), raster.end(), 0);
        faximage::drawTextRow(conv, text, row, raster);
        const std::size_t n = faximage::codeRasterLine(conv, raster, coded);
        const int times = s.resolution == '1' ? 2 : 1;
        for (int t = 0; t < times; ++t)
            if (int rc = s.WriteCodedLine(std::span(coded.data(), n)); rc != 0)
                return rc;
    }
    return 0;
}
} // namespace

int FaxSession::SendHeaderLine() {
    return sendTextRows(*this, faximage::TFaxFont::ffSmall, enhHeaderFont, ExpandHeader(headerLine));
}

int FaxSession::SendTextLine(std::string_view line) {
    return sendTextRows(*this, faximage::TFaxFont::ffStandard, enhCoverFont, ExpandHeader(line));
}

} // namespace faxengine
