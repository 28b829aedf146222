// The unpacker's procedural engine: an unpack state, the page decoder that feeds a line
// consumer, and the operations the viewer and the exports call directly.
//
// Operations return 0 or a negative error code (texts in fax_errors.h): -2 for an empty
// file name, -8001 "File is not an APF file" (bad signature, a page above PageCount, page
// data that ends before the page does), -100 for a line record cut off by the end of the
// file, -8 when a page grows beyond what a page raster may hold, -1002 for refused
// whitespace settings, -1003 when the caller's yield asks to quit, negated file-system
// codes for open and read errors. Damaged lines are never an error: they are dropped
// and counted.
#pragma once

#include "faximage/apf_file.h"
#include "faximage/mh_decoder.h"
#include "faximage/mono_bitmap.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>

namespace faximage {

// Unpack-state flags.
inline constexpr unsigned ufYield = 1;
inline constexpr unsigned ufDoubleHeight = 2; // standard-resolution lines delivered twice
inline constexpr unsigned ufHalfWidth = 4;    // standard-resolution lines halved in width
inline constexpr unsigned ufAbort = 8;

// Line-consumer flags; a plain line has neither.
inline constexpr unsigned ulPageStart = 1;
inline constexpr unsigned ulPageEnd = 2;

struct UnpackStatus {
    int page = 0;
    std::int64_t bytesRead = 0;   // of the page's data, never above imageLength
    std::int64_t imageLength = 0; // the page's ImageLength
};

// Receives page start, lines and page end; returns 0 or an error code that stops the
// page. A blank line from whitespace squeezing comes with no bytes.
using UnpackLineConsumer =
    std::function<int(unsigned flags, std::span<const std::uint8_t> line, int page)>;

struct UnpackState {
    UnpackState() = default;
    UnpackState(const UnpackState&) = delete;
    UnpackState& operator=(const UnpackState&) = delete;

    unsigned flags() const { return flags_; }
    // Double height and half width exclude each other: setting one clears the other.
    void setFlag(unsigned flag, bool on);
    bool hasFlag(unsigned flag) const { return (flags_ & flag) != 0; }

    // Squeezing is on when both are non-zero. Refused (-1002): to > from, a negative
    // value, or from = 0 with to != 0.
    int setWhitespace(int from, int to);
    int whitespaceFrom() const { return wsFrom_; }
    int whitespaceTo() const { return wsTo_; }

    // Factors for bitmaps and exports; 0 (or less) is read as 1.
    void setScaling(int horizMult, int horizDiv, int vertMult, int vertDiv);
    int horizMult = 1, horizDiv = 1, vertMult = 1, vertDiv = 1;
    bool scaled() const { return horizMult != horizDiv || vertMult != vertDiv; }

    bool invert = false; // lines delivered with 1 = white
    UnpackLineConsumer consumer;
    // Called after every 16th whole line with the yield flag: 0, or -1003 to quit.
    std::function<int()> yield;
    // Progress while a page's data is read.
    std::function<void(const UnpackStatus&)> status;

    // The page being decoded.
    ApfFileHeader fileHeader;
    ApfPageInfo page;
    std::int64_t bytesRead = 0;

    // Counters of the page being decoded.
    int linesDecoded = 0;   // whole lines, blank ones included
    int linesDelivered = 0; // lines the consumer received (doubling included)
    int blankRun = 0;       // blank lines held back by squeezing
    int badCodes = 0;

    MhDecoder decoder;
    std::array<std::uint8_t, kMhMaxLineBytes> lineBuffer{};
    std::array<std::uint8_t, kApfMaxLineRecord> inputBuffer{};

private:
    unsigned flags_ = ufYield;
    int wsFrom_ = 0, wsTo_ = 0;
};

// The file header of an APF file: -2 for an empty name, -8001 for a bad signature.
int readFaxFileHeader(const std::filesystem::path& name, ApfFileHeader& header);

// Decodes page `page` (1-based; 0 is read as 1): the consumer receives the page start,
// the lines and the page end.
int unpackPage(UnpackState& state, const std::filesystem::path& name, int page);

// The page as the bitmap collector packs it: rows as wide as the rightmost ink (in whole
// 16-pixel steps), scaled by the state's factors. With `invert` the bitmap holds
// 1 = white. A page without lines gives an empty bitmap.
int unpackPageToBitmap(UnpackState& state, const std::filesystem::path& name, int page,
                       bool invert, MonoBitmap& bitmap);

// The page at its full line width in fax convention, one row per coded line: no
// squeezing, doubling or scaling (for TIFF and PDF export).
int unpackPageToRaster(const std::filesystem::path& name, int page, MonoBitmap& raster,
                       ApfPageHeader& pageHeader);

// The exports of the unpacker: the packed (and scaled) page rows written as a PCX file,
// a one-page DCX file or a BMP file.
int unpackPageToPcx(UnpackState& state, const std::filesystem::path& name, int page,
                    const std::filesystem::path& out);
int unpackPageToDcx(UnpackState& state, const std::filesystem::path& name, int page,
                    const std::filesystem::path& out);
int unpackPageToBmp(UnpackState& state, const std::filesystem::path& name, int page,
                    const std::filesystem::path& out);

} // namespace faximage
