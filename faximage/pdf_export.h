// Export of APF pages as a PDF document: one page per fax page, sized from the fax
// resolution (204 dots per inch across, 98 or 196 lines per inch down), each holding
// one CCITT G3 1-D image stream, so the file stays about as small as the fax.
#pragma once

#include "faximage/mono_bitmap.h"
#include "faximage/staged_output.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace faximage {

// Writes pages one at a time; only the page being added is in memory. Operations
// return 0 or a negative code; the file takes the place of an existing one only at a
// successful close().
class PdfFaxWriter {
public:
    PdfFaxWriter() = default;
    ~PdfFaxWriter();
    PdfFaxWriter(const PdfFaxWriter&) = delete;
    PdfFaxWriter& operator=(const PdfFaxWriter&) = delete;

    int open(const std::filesystem::path& path);
    // `page` at its full line width (any sense); `fine` for 196 lines per inch.
    int addPage(const MonoBitmap& page, bool fine);
    int close();

private:
    int write(const std::string& text);
    int write(const std::vector<std::uint8_t>& bytes);
    int beginObject(int number);
    int fail(int code);

    StagedOutput out_;
    std::uint64_t pos_ = 0;
    std::vector<std::uint64_t> offsets_; // by object number - 1
    std::vector<int> pageObjects_;
};

// Pages `first`..`last` of an APF file (0 for both: every page) as a PDF file.
// `failedPage`, when given, names the page a failure concerns (0: the file as a whole).
int exportApfToPdf(const std::filesystem::path& apf, const std::filesystem::path& pdf,
                   int first = 0, int last = 0, int* failedPage = nullptr);

// The MH coding of `page` as a PDF CCITT filter reads it: EOL before every line, most
// significant bit first.
std::vector<std::uint8_t> pdfG3Stream(const MonoBitmap& page);

} // namespace faximage
