#include "faximage/pdf_export.h"

#include "faximage/fax_errors.h"
#include "faximage/apf_file.h"
#include "faximage/mh_encoder.h"
#include "faximage/unpack_engine.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace faximage {

namespace {

constexpr std::array<std::uint8_t, 256> makeReversed() {
    std::array<std::uint8_t, 256> t{};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned r = 0;
        for (int i = 0; i < 8; ++i)
            if (b & (1u << i))
                r |= 0x80u >> i;
        t[b] = static_cast<std::uint8_t>(r);
    }
    return t;
}
constexpr auto kReversed = makeReversed();

// Cut (not rounded) to four decimals: a renderer at the fax's own resolution then makes
// exactly one pixel of each fax pixel instead of a page one pixel too large.
std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", std::floor(v * 10000.0) / 10000.0);
    return buf;
}

} // namespace

std::vector<std::uint8_t> pdfG3Stream(const MonoBitmap& page) {
    std::vector<std::uint8_t> out;
    MhLineLayout layout;
    layout.width = page.width();
    std::vector<std::uint8_t> coded(kMaxCodedLine);
    std::vector<std::uint8_t> row(MonoBitmap::bytesForWidth(page.width()));
    const bool flip = page.sense() == PixelSense::OneIsWhite; // the encoder wants 1 = black
    for (int y = 0; y < page.height(); ++y) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<std::uint8_t>(flip ? ~page.row(y)[i] : page.row(y)[i]);
        const std::size_t n = encodeMhLine(row, layout, coded);
        for (std::size_t i = 0; i < n; ++i)
            out.push_back(kReversed[coded[i]]);
    }
    return out;
}

PdfFaxWriter::~PdfFaxWriter() = default;

int PdfFaxWriter::fail(int code) {
    out_.discard();
    return code;
}

int PdfFaxWriter::write(const std::string& text) {
    const int rc = out_.file().writeAll(
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    pos_ += text.size();
    return rc == 0 ? 0 : fail(rc);
}

int PdfFaxWriter::write(const std::vector<std::uint8_t>& bytes) {
    const int rc = out_.file().writeAll(bytes);
    pos_ += bytes.size();
    return rc == 0 ? 0 : fail(rc);
}

int PdfFaxWriter::beginObject(int n) {
    if (offsets_.size() < static_cast<std::size_t>(n))
        offsets_.resize(static_cast<std::size_t>(n), 0);
    offsets_[static_cast<std::size_t>(n) - 1] = pos_;
    return write(std::to_string(n) + " 0 obj\n");
}

int PdfFaxWriter::open(const std::filesystem::path& path) {
    pos_ = 0;
    offsets_.clear();
    pageObjects_.clear();
    if (int rc = out_.open(path); rc != 0)
        return rc;
    // Object 1 is the catalogue, object 2 the page tree, written last.
    if (int rc = write(std::string("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n")); rc != 0)
        return rc;
    if (int rc = beginObject(1); rc != 0)
        return rc;
    return write("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
}

int PdfFaxWriter::addPage(const MonoBitmap& page, bool fine) {
    if (!out_.isOpen())
        return ec::BadHandle;
    if (page.empty())
        return ec::FaxBadFormat;
    const int pageObj = static_cast<int>(3 + 3 * pageObjects_.size());
    const std::string w = std::to_string(page.width());
    const std::string h = std::to_string(page.height());
    const std::string pw = number(page.width() * 72.0 / 204.0);
    const std::string ph = number(page.height() * 72.0 / (fine ? 196.0 : 98.0));
    const std::vector<std::uint8_t> image = pdfG3Stream(page);
    const std::string content = "q " + pw + " 0 0 " + ph + " 0 0 cm /Fax Do Q\n";

    int rc = beginObject(pageObj);
    if (rc == 0)
        rc = write("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + pw + " " + ph +
                   "] /Resources << /XObject << /Fax " + std::to_string(pageObj + 2) +
                   " 0 R >> >> /Contents " + std::to_string(pageObj + 1) + " 0 R >>\nendobj\n");
    if (rc == 0)
        rc = beginObject(pageObj + 1);
    if (rc == 0)
        rc = write("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                   "endstream\nendobj\n");
    if (rc == 0)
        rc = beginObject(pageObj + 2);
    if (rc == 0)
        rc = write("<< /Type /XObject /Subtype /Image /Width " + w + " /Height " + h +
                   " /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode"
                   " /DecodeParms << /K 0 /Columns " + w + " /Rows " + h +
                   " /EndOfLine true >> /Length " + std::to_string(image.size()) +
                   " >>\nstream\n");
    if (rc == 0)
        rc = write(image);
    if (rc == 0)
        rc = write(std::string("\nendstream\nendobj\n"));
    if (rc != 0)
        return rc;
    pageObjects_.push_back(pageObj);
    return 0;
}

int PdfFaxWriter::close() {
    if (!out_.isOpen())
        return ec::BadHandle;
    if (pageObjects_.empty())
        return fail(ec::FaxBadFormat);
    std::string kids;
    for (int n : pageObjects_)
        kids += std::to_string(n) + " 0 R ";
    if (int rc = beginObject(2); rc != 0)
        return rc;
    if (int rc = write("<< /Type /Pages /Kids [" + kids + "] /Count " +
                       std::to_string(pageObjects_.size()) + " >>\nendobj\n");
        rc != 0)
        return rc;
    const std::uint64_t xref = pos_;
    std::string table = "xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n";
    for (std::uint64_t off : offsets_) {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(off));
        table += entry;
    }
    table += "trailer\n<< /Size " + std::to_string(offsets_.size() + 1) +
             " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    if (int rc = write(table); rc != 0)
        return rc;
    if (int rc = out_.commit(); rc != 0)
        return fail(rc);
    return 0;
}

int exportApfToPdf(const std::filesystem::path& apf, const std::filesystem::path& pdf,
                   int first, int last, int* failedPage) {
    ApfFileHeader header;
    if (int rc = readFaxFileHeader(apf, header); rc != 0)
        return rc;
    if (first == 0 && last == 0) {
        first = 1;
        last = header.pageCount;
    }
    if (first < 1 || last < first || last > header.pageCount)
        return ec::FaxBadFormat;
    if (int rc = checkOutputTarget(pdf, {apf}); rc != 0)
        return rc;
    PdfFaxWriter writer;
    if (int rc = writer.open(pdf); rc != 0)
        return rc;
    for (int n = first; n <= last; ++n) {
        MonoBitmap page;
        ApfPageHeader ph;
        if (failedPage)
            *failedPage = n;
        if (int rc = unpackPageToRaster(apf, n, page, ph); rc != 0)
            return rc;
        if (int rc = writer.addPage(page, ph.highResolution()); rc != 0)
            return rc;
    }
    if (failedPage)
        *failedPage = 0;
    return writer.close();
}

} // namespace faximage
