// Modified Huffman (T.4 one-dimensional) decoding of a page's bit stream into raster
// lines, tolerant of damage.
//
// The decoder behaves as a walk down a code tree per colour, one bit at a time, with
// these rules:
//  - a bit string that can no longer become a code of the current colour is a bad code:
//    it is counted, decoding restarts at the root and 1 bits are skipped up to the next
//    0 bit (resynchronisation);
//  - eleven or more 0 bits followed by a 1 are an EOL, so any amount of fill is accepted;
//  - runs before the page's first EOL are ignored;
//  - at an EOL the line is handed on only when its runs add up to exactly 1728 or 2048
//    pixels; anything else (a 1727-pixel line, a line garbled by noise) is dropped,
//    unless the page asks for short lines to be padded: then a line shorter than the
//    page is handed on filled up with white, as other fax readers show it;
//  - three EOLs in a row end the page.
// It does the walk with lookup tables generated at compile time from mh_codes.h (8 bits,
// then 5 more for the long codes), which gives the same results much faster.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace faximage {

inline constexpr int kMhMaxLinePixels = 2048;
inline constexpr std::size_t kMhMaxLineBytes = kMhMaxLinePixels / 8;

class MhLineSink {
public:
    virtual ~MhLineSink() = default;
    // One whole line, 1 = black, most significant bit leftmost: 216 or 256 bytes.
    // Returning false stops decoding (feed() then returns MhFeedResult::Stopped).
    virtual bool onLine(std::span<const std::uint8_t> line) = 0;
};

enum class MhFeedResult {
    NeedInput, // every bit was used; feed more or call finish()
    PageEnd,   // three EOLs in a row
    Stopped,   // the sink said stop
};

class MhDecoder {
public:
    MhDecoder() { startPage(); }

    // White, empty line, waiting for the first EOL; counters cleared. With
    // `padShortLinesTo` (1728 or 2048) a line closed by an EOL with fewer pixels than
    // that is handed on padded with white instead of being dropped.
    void startPage(int padShortLinesTo = 0);

    // Decodes `data`, continuing the bit stream of earlier calls. Bits after the end of
    // the page (or after a stop) are left unused.
    MhFeedResult feed(std::span<const std::uint8_t> data, MhLineSink& sink);

    // End of the page data. A line the data ends in is delivered when its runs already
    // make a whole line: encoders that leave out the closing EOLs (TIFF strips) still
    // lose no line. Returns false when the sink said stop.
    bool finish(MhLineSink& sink);

    // Invalid codes met on this page.
    int badCodes() const { return badCodes_; }
    // Lines closed by an EOL but dropped for their length.
    int droppedLines() const { return droppedLines_; }
    // Lines handed to the sink.
    int lines() const { return lines_; }
    // Of those, lines that were padded to the page width.
    int paddedLines() const { return paddedLines_; }

private:
    enum class Mode : std::uint8_t { Code, Fill, Resync };

    bool endLine(MhLineSink& sink); // at an EOL
    MhFeedResult run(const std::uint8_t* p, const std::uint8_t* end, MhLineSink& sink);

    std::uint64_t acc_ = 0; // unused bits, next bit in bit 0
    int bits_ = 0;
    Mode mode_ = Mode::Code;
    bool black_ = false;
    bool waiting_ = true;
    bool ended_ = false;
    int eolRun_ = 0;
    int pos_ = 0; // pixels on the line so far; past kMhMaxLinePixels the line is lost
    int badCodes_ = 0;
    int droppedLines_ = 0;
    int lines_ = 0;
    int paddedLines_ = 0;
    int padTo_ = 0;
    std::uint8_t line_[kMhMaxLineBytes + 8] = {};
};

} // namespace faximage
