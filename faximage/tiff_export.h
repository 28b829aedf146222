// Export of APF pages as a multi-page TIFF Class F file: CCITT G3 1-D, fill order
// LSB-to-MSB, 204 dots per inch across and 98 or 196 lines per inch down.
#pragma once

#include "faximage/mono_bitmap.h"

#include <filesystem>
#include <memory>

namespace faximage {

// Writes pages one at a time. Operations return 0 or a negative code (-8005 for a
// libtiff failure); a file that was not closed properly is removed.
class TiffFaxWriter {
public:
    TiffFaxWriter();
    ~TiffFaxWriter();
    TiffFaxWriter(const TiffFaxWriter&) = delete;
    TiffFaxWriter& operator=(const TiffFaxWriter&) = delete;

    int open(const std::filesystem::path& path, int pageCount);
    // `page` at its full line width (any sense); `fine` for 196 lines per inch.
    int addPage(const MonoBitmap& page, bool fine);
    int close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Pages `first`..`last` of an APF file (0 for `first` and `last`: every page) into a TIFF
// file, decoding one page at a time.
// `failedPage`, when given, names the page a failure concerns (0: the file as a whole).
int exportApfToTiff(const std::filesystem::path& apf, const std::filesystem::path& tiff,
                    int first = 0, int last = 0, int* failedPage = nullptr);

} // namespace faximage
