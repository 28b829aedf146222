#include "faximage/tiff_export.h"

#include "faximage/fax_errors.h"
#include "faximage/apf_file.h"
#include "faximage/staged_output.h"
#include "faximage/unpack_engine.h"

#include <tiffio.h>

#include <cerrno>
#include <unistd.h>
#include <vector>

namespace faximage {

struct TiffFaxWriter::Impl {
    TIFF* tif = nullptr; // writes through its own copy of the staged file's descriptor
    StagedOutput out;
    int pageCount = 0;
    int pages = 0;

    void drop() {
        if (tif)
            TIFFClose(tif);
        tif = nullptr;
        out.discard();
    }

    // libtiff reports a failed write without its cause; errno still holds it, and a full
    // disk must not read as a graphics failure.
    int failed(int savedErrno) {
        drop();
        return savedErrno != 0 ? -fileErrorCode(savedErrno) : ec::CantMakeBitmap;
    }
};

TiffFaxWriter::TiffFaxWriter() : impl_(std::make_unique<Impl>()) {}

TiffFaxWriter::~TiffFaxWriter() {
    if (impl_->tif)
        impl_->drop();
}

int TiffFaxWriter::open(const std::filesystem::path& path, int pageCount) {
    impl_->drop();
    impl_->pageCount = pageCount;
    impl_->pages = 0;
    if (int rc = impl_->out.open(path); rc != 0)
        return rc;
    const int fd = ::dup(impl_->out.file().descriptor());
    if (fd < 0)
        return impl_->failed(errno);
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    impl_->tif = TIFFFdOpen(fd, path.c_str(), "w");
    if (!impl_->tif) {
        ::close(fd);
        return impl_->failed(0);
    }
    return 0;
}

int TiffFaxWriter::addPage(const MonoBitmap& page, bool fine) {
    TIFF* t = impl_->tif;
    if (!t)
        return ec::BadHandle;
    if (page.empty())
        return ec::FaxBadFormat;
    const auto w = static_cast<std::uint32_t>(page.width());
    const auto h = static_cast<std::uint32_t>(page.height());
    bool ok = TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE) &&
              TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w) && TIFFSetField(t, TIFFTAG_IMAGELENGTH, h) &&
              TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1) &&
              TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3) &&
              TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, 0) && // 1-D, no fill bits
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) &&
              TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h) &&
              TIFFSetField(t, TIFFTAG_XRESOLUTION, 204.0f) &&
              TIFFSetField(t, TIFFTAG_YRESOLUTION, fine ? 196.0f : 98.0f) &&
              TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
              TIFFSetField(t, TIFFTAG_PAGENUMBER, static_cast<std::uint16_t>(impl_->pages),
                           static_cast<std::uint16_t>(impl_->pageCount)) &&
              TIFFSetField(t, TIFFTAG_CLEANFAXDATA, CLEANFAXDATA_CLEAN);
    errno = 0;
    std::vector<std::uint8_t> line(MonoBitmap::bytesForWidth(page.width()));
    const bool flip = page.sense() == PixelSense::OneIsWhite; // MinIsWhite: 1 = black
    for (std::uint32_t y = 0; ok && y < h; ++y) {
        const std::uint8_t* src = page.row(static_cast<int>(y));
        for (std::size_t i = 0; i < line.size(); ++i)
            line[i] = static_cast<std::uint8_t>(flip ? ~src[i] : src[i]);
        ok = TIFFWriteScanline(t, line.data(), y, 0) >= 0;
    }
    ok = ok && TIFFWriteDirectory(t);
    if (!ok)
        return impl_->failed(errno);
    ++impl_->pages;
    return 0;
}

int TiffFaxWriter::close() {
    if (!impl_->tif)
        return ec::BadHandle;
    if (impl_->pages == 0) { // a TIFF file needs an image
        impl_->drop();
        return ec::FaxBadFormat;
    }
    errno = 0;
    const bool flushed = TIFFFlush(impl_->tif) == 1;
    if (!flushed)
        return impl_->failed(errno);
    TIFFClose(impl_->tif);
    impl_->tif = nullptr;
    return impl_->out.commit();
}

int exportApfToTiff(const std::filesystem::path& apf, const std::filesystem::path& tiff,
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
    if (int rc = checkOutputTarget(tiff, {apf}); rc != 0)
        return rc;
    TiffFaxWriter writer;
    if (int rc = writer.open(tiff, last - first + 1); rc != 0)
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
