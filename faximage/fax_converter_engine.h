// The converter's procedural engine: a conversion state, one input reader per document
// type (open / get next raster line / close), the line encoder and the APF writer, and
// the text operations the fax engine uses for header lines and text covers.
//
// Operations return 0 or a negative error code (texts in fax_errors.h).
#pragma once

#include "faximage/fax_errors.h"
#include "faximage/enhanced_font.h"
#include "faximage/fax_font.h"
#include "faximage/mh_encoder.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace faximage {

enum class TFaxInputDocumentType {
    idNone,
    idText,
    idTextEx,
    idTiff,
    idPcx,
    idDcx,
    idBmp,
    idBitmap,
    idUser,
    // Beyond the classic set: every image of a TIFF (any bilevel compression libtiff
    // reads, G3 and G4 included) and PDF documents.
    idTiffDocument,
    idPdf,
};
std::string_view to_string(TFaxInputDocumentType type);

// TFaxCvtOptions bit values.
inline constexpr unsigned coDoubleWidth = 1;
inline constexpr unsigned coHalfHeight = 2;
inline constexpr unsigned coCenterImage = 4;
inline constexpr unsigned coYield = 8;
inline constexpr unsigned coYieldOften = 16;

enum class TFaxResolution { frNormal, frHigh };
enum class TFaxWidth { fwNormal, fwWide };
std::string_view to_string(TFaxResolution r);
std::string_view to_string(TFaxWidth w);

inline constexpr std::size_t kRasterBufferSize = 4096;

struct ConvertStatus {
    bool starting = false;
    bool ending = false;
    int pagesConverted = 0;
    int linesConverted = 0;
    std::int64_t bytesConverted = 0;
    std::int64_t bytesToConvert = 0;
};

struct ConvertState;

// An input reader. getLine receives the raster cleared to white; a line returned with
// endOfPage set is not used.
class FaxInputReader {
public:
    virtual ~FaxInputReader() = default;
    virtual int open(const std::filesystem::path& name, ConvertState& state) = 0;
    virtual int getLine(ConvertState& state, std::span<std::uint8_t> raster, bool& endOfPage,
                        bool& morePages) = 0;
    virtual void close() {}
};

struct ConvertState {
    bool highRes = false;
    bool doubleWidth = false;  // decided by the image reader at open
    bool halfHeight = false;   // decided by the image reader at open
    unsigned flags = coDoubleWidth | coCenterImage | coYield;
    int width = 1728;
    int leftMargin = 50;
    int topMargin = 0;
    int linesPerPage = 0;
    int tabWidth = 4;
    int currentPage = 0;
    int currentLine = 0;
    int centreOffset = 0;      // bytes image rows are shifted right
    std::int64_t bytesRead = 0;
    std::int64_t bytesTotal = 0;
    std::string stationId;
    // After a failed conversion: the file the failure concerns (input or output).
    std::filesystem::path failedFile;

    // Text fonts: the fax font for idText, a system font for idTextEx.
    std::optional<FaxFont> faxFont;
    std::unique_ptr<EnhancedFont> enhFont;
    int enhLineHeight = 0;
    bool enhFine = false;

    // Called after pages (and every 16 lines with coYieldOften) so the caller can run
    // pending events; returns 0 or -1003 to stop.
    std::function<int()> yield;
    // Progress; returning true aborts the conversion with -8003.
    std::function<bool(const ConvertStatus&)> status;

    std::array<std::uint8_t, kMaxCodedLine> codeBuffer{};
    std::array<std::uint8_t, kRasterBufferSize> raster{};
};

// --- operations for the fax engine: header lines and text covers --------------------

// A text converter state: width 1728, margin 50, no top margin, flags 13, tabs of 4, no
// line limit. With an enhanced font spec the font is prepared for it.
std::unique_ptr<ConvertState> createTextConverter();
std::unique_ptr<ConvertState> createTextConverter(const EnhFontSpec& font, bool fine, int& rc);

// Loads the fax font (0, or -8052 when its table is unusable).
int loadFaxFont(ConvertState& state, TFaxFont size, bool fine);
// Prepares a system font as for idTextEx (0 or -8055).
int setEnhancedFont(ConvertState& state, const EnhFontSpec& font, bool fine);
// Raster lines per text line of the loaded font.
int textCellHeight(const ConvertState& state);
// Draws row `row` (1-based, up to the cell height) of `text` into `raster` from its left
// edge; rows above the cell height draw nothing. Tabs are not expanded here.
void drawTextRow(const ConvertState& state, std::string_view text, int row,
                 std::span<std::uint8_t> raster);
// Copies row `row` (0-based) of a drawn system-font line into the raster: unchanged in
// fine resolution, else its first half with every pixel twice across.
void copyEnhancedRow(const ConvertState& state, const MonoBitmap& line, int row,
                     std::span<std::uint8_t> raster);
// Codes a raster line with the state's width and margin; returns the byte count.
std::size_t codeRasterLine(ConvertState& state, std::span<const std::uint8_t> raster,
                           std::span<std::uint8_t> out);
// The 12-byte end-of-page record.
std::span<const std::uint8_t> endOfPageBytes();

// --- the conversion ---------------------------------------------------------------------

// Image placement from the image width in pixels: double width, half height, centring.
void placeImage(ConvertState& state, int imageWidth);
// Copies one image row (1 = black, `imageWidth` pixels) into the raster at the centre
// offset; pixels past the image width stay white.
void placeImageRow(const ConvertState& state, std::span<const std::uint8_t> row, int imageWidth,
                   std::span<std::uint8_t> raster);

// Runs a whole conversion of `input` into the APF file `output`. The output takes the
// place of an existing file only when complete; an output that is the input is refused
// (-8056). After any error the target is as it was and state.failedFile names the file
// the error concerns.
int convertFile(ConvertState& state, FaxInputReader& reader, const std::filesystem::path& input,
                const std::filesystem::path& output);

// Readers.
std::unique_ptr<FaxInputReader> makeTextReader();          // idText and idTextEx
std::unique_ptr<FaxInputReader> makeTiffReader();          // idTiff (first image)
std::unique_ptr<FaxInputReader> makePcxReader();           // idPcx
std::unique_ptr<FaxInputReader> makeDcxReader();           // idDcx
std::unique_ptr<FaxInputReader> makeBmpReader();           // idBmp
std::unique_ptr<FaxInputReader> makeTiffDocumentReader();  // idTiffDocument
std::unique_ptr<FaxInputReader> makePdfReader();           // idPdf

} // namespace faximage
