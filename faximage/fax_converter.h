// TVelkFaxConverter: turns one input document (text, a text drawn with a system font,
// TIFF, PCX, DCX, BMP, caller-supplied lines, and beyond those whole TIFF documents and
// PDF) into an APF fax file. Errors are raised as EVelkException subclasses.
#pragma once

#include "faximage/fax_converter_engine.h"

#include <filesystem>
#include <functional>
#include <string>

namespace faximage {

class TVelkFaxConverter;

using TFaxStatusEvent =
    std::function<void(TVelkFaxConverter& f, bool starting, bool ending, int pagesConverted,
                       int linesConverted, std::int32_t bytesConverted,
                       std::int32_t bytesToConvert, bool& abort)>;
using TFaxOpenFileEvent = std::function<void(TVelkFaxConverter& f, const std::string& fname)>;
using TFaxCloseFileEvent = std::function<void(TVelkFaxConverter& f)>;
// Fills `data` (raster convention: 1 = black, MSB leftmost) and sets len to the bytes used.
using TFaxReadLineEvent = std::function<void(TVelkFaxConverter& f, std::span<std::uint8_t> data,
                                             int& len, bool& endOfPage, bool& morePages)>;

class TVelkCustomFaxConverter {
public:
    TVelkCustomFaxConverter() = default;
    virtual ~TVelkCustomFaxConverter() = default;

    TFaxInputDocumentType InputDocumentType = TFaxInputDocumentType::idNone;
    TFaxResolution Resolution = TFaxResolution::frNormal;
    TFaxWidth Width = TFaxWidth::fwNormal;
    int TopMargin = 0;
    int LeftMargin = 50;
    int LinesPerPage = 60;
    int TabStop = 4;
    EnhFontSpec EnhFont;
    std::string FontFile = "APFAX.FNT"; // kept for callers; the built-in font is used
    TFaxFont FontType = TFaxFont::ffStandard;
    std::string OutFileName;
    std::string DefUserExtension;
    std::string StationID; // not published; first 20 characters go into the file header

    TFaxStatusEvent OnStatus;
    TFaxOpenFileEvent OnOpenUserFile;
    TFaxReadLineEvent OnReadUserLine;
    TFaxCloseFileEvent OnCloseUserFile;
    // Runs pending events of the caller's loop where the converter yields; returns false
    // to stop with -1003.
    std::function<bool()> OnYield;

    unsigned Options() const { return options_; }
    // coYieldOften without coYield adds coYield.
    void SetOptions(unsigned options);

    const std::string& DocumentFile() const { return documentFile_; }
    // A new, non-empty name also sets OutFileName to it with the extension ".APF".
    void SetDocumentFile(const std::string& name);

    // Converts DocumentFile into OutFileName. An OutFileName naming a directory or a
    // device is refused; errors name the file they concern.
    void ConvertToFile();

    // The names a conversion reads and writes: DocumentFile and OutFileName with their
    // default extensions added.
    std::string inputName() const;
    std::string outputName(const std::string& input) const;

private:
    unsigned options_ = coDoubleWidth | coCenterImage | coYield;
    std::string documentFile_;
};

class TVelkFaxConverter : public TVelkCustomFaxConverter {};

// The default extension of an input type ("TXT", "TIF", ...), empty for none.
std::string defaultExtension(TFaxInputDocumentType type, const std::string& userExtension);

} // namespace faximage
