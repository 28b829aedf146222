#include "workflow/viewer/fax_export.h"

#include "faximage/dcx_writer.h"
#include "faximage/fax_errors.h"
#include "faximage/fax_unpacker.h"
#include "faximage/pdf_export.h"
#include "faximage/staged_output.h"
#include "faximage/tiff_export.h"

#include <algorithm>
#include <cctype>

namespace workflow::viewer {

namespace fi = faximage;

std::string_view to_string(ExportFormat format) {
    switch (format) {
    case ExportFormat::Bmp:
        return "BMP";
    case ExportFormat::Pcx:
        return "PCX";
    case ExportFormat::Dcx:
        return "DCX";
    case ExportFormat::Pdf:
        return "PDF";
    case ExportFormat::Tiff:
        return "TIFF";
    }
    return "?";
}

std::optional<ExportFormat> exportFormatFor(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".bmp")
        return ExportFormat::Bmp;
    if (ext == ".pcx")
        return ExportFormat::Pcx;
    if (ext == ".dcx")
        return ExportFormat::Dcx;
    if (ext == ".pdf")
        return ExportFormat::Pdf;
    if (ext == ".tif" || ext == ".tiff")
        return ExportFormat::Tiff;
    return std::nullopt;
}

bool holdsManyPages(ExportFormat format) {
    switch (format) {
    case ExportFormat::Bmp:
    case ExportFormat::Pcx:
        return false;
    case ExportFormat::Dcx:
    case ExportFormat::Pdf:
    case ExportFormat::Tiff:
        return true;
    }
    return false;
}

namespace {

ExportResult failure(int code, int page, const ExportRequest& r) {
    ExportResult res;
    res.code = code;
    res.failedPage = page;
    res.message = fi::errorText(code);
    if (page > 0)
        res.message += " (page " + std::to_string(page) + " of " + r.fax.string() + ")";
    return res;
}

// Several pages into one DCX file, each as the unpacker packs it for a page export.
ExportResult exportDcxRange(const ExportRequest& r) {
    if (int rc = fi::checkOutputTarget(r.out, {r.fax}); rc != 0)
        return failure(rc, 0, r);
    fi::DcxWriter dcx;
    if (int rc = dcx.open(r.out); rc != 0)
        return failure(rc, 0, r);
    for (int n = r.firstPage; n <= r.lastPage; ++n) {
        fi::UnpackState s;
        s.setFlag(fi::ufYield, false);
        s.setFlag(fi::ufDoubleHeight, true);
        if (int rc = s.setWhitespace(r.whitespaceFrom, r.whitespaceTo); rc != 0)
            return failure(rc, 0, r);
        fi::MonoBitmap rows;
        if (int rc = fi::unpackPageToBitmap(s, r.fax, n, false, rows); rc != 0)
            return failure(rc, n, r);
        if (rows.empty())
            return failure(fi::ec::FaxBadFormat, n, r);
        if (int rc = dcx.addPage(rows); rc != 0)
            return failure(rc, n, r);
    }
    if (int rc = dcx.close(); rc != 0)
        return failure(rc, 0, r);
    return {};
}

} // namespace

ExportResult exportFax(const ExportRequest& r) {
    const int first = std::max(r.firstPage, 1);
    const int last = std::max(r.lastPage, first);
    int failedPage = 0;
    switch (r.format) {
    case ExportFormat::Pdf:
        if (int rc = fi::exportApfToPdf(r.fax, r.out, first, last, &failedPage); rc != 0)
            return failure(rc, failedPage, r);
        return {};
    case ExportFormat::Tiff:
        if (int rc = fi::exportApfToTiff(r.fax, r.out, first, last, &failedPage); rc != 0)
            return failure(rc, failedPage, r);
        return {};
    case ExportFormat::Dcx:
        if (last > first) {
            ExportRequest range = r;
            range.firstPage = first;
            range.lastPage = last;
            return exportDcxRange(range);
        }
        break;
    case ExportFormat::Bmp:
    case ExportFormat::Pcx:
        break;
    }
    // One page through the unpacker component, as the page export commands do.
    fi::TVelkFaxUnpacker unpacker;
    unpacker.SetOptions(0);
    unpacker.WhitespaceCompression = r.whitespaceFrom != 0 || r.whitespaceTo != 0;
    unpacker.WhitespaceFrom = r.whitespaceFrom;
    unpacker.WhitespaceTo = r.whitespaceTo;
    unpacker.SetInFileName(r.fax.string());
    unpacker.OutFileName = r.out.string();
    try {
        switch (r.format) {
        case ExportFormat::Bmp:
            unpacker.UnpackPageToBmp(first);
            break;
        case ExportFormat::Pcx:
            unpacker.UnpackPageToPcx(first);
            break;
        case ExportFormat::Dcx:
        case ExportFormat::Pdf:
        case ExportFormat::Tiff:
            unpacker.UnpackPageToDcx(first);
            break;
        }
    } catch (const std::exception& e) {
        ExportResult res;
        res.code = fi::codeFromException(e);
        res.failedPage = first;
        res.message = e.what();
        return res;
    }
    return {};
}

} // namespace workflow::viewer
