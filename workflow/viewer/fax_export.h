// The viewer's export command without the window: a page as BMP, PCX or DCX through the
// unpacker, or a range of pages as a multi-page DCX, PDF or TIFF (Class F) file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace workflow::viewer {

enum class ExportFormat { Bmp, Pcx, Dcx, Pdf, Tiff };

std::string_view to_string(ExportFormat format);

// The format a file name asks for by its extension (any case), none for others.
std::optional<ExportFormat> exportFormatFor(const std::filesystem::path& file);

// Whether the format holds more than one page.
bool holdsManyPages(ExportFormat format);

struct ExportRequest {
    std::filesystem::path fax; // the APF file shown
    std::filesystem::path out;
    ExportFormat format = ExportFormat::Bmp;
    int firstPage = 1; // a one-page format writes firstPage alone
    int lastPage = 1;
    // The viewer's blank-line squeezing, handed to the unpacker (0, 0: off).
    int whitespaceFrom = 0;
    int whitespaceTo = 0;
};

struct ExportResult {
    int code = 0;       // 0 or a negative code
    int failedPage = 0; // the page a failure concerns, 0 for the file as a whole
    std::string message; // the code's text with what it concerns
    bool ok() const { return code == 0; }
};

ExportResult exportFax(const ExportRequest& request);

} // namespace workflow::viewer
