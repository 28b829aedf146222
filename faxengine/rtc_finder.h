// Finds the end of a received page: the RTC, six EOLs in a row (T.4 4.1.4), in MH page
// data as the modem hands it over (first bit in the least significant bit). What a modem
// delivers after the RTC, as the carrier drops, is noise that other decoders would read
// as one more line, so the receiver stores the page up to its RTC and no further.
#pragma once

#include <cstdint>
#include <optional>

namespace faxengine {

class RtcFinder {
public:
    // Feeds one byte of page data. When the RTC ends inside it, returns the byte with the
    // bits after the RTC cleared; the page's data ends there.
    std::optional<std::uint8_t> Feed(std::uint8_t byte);
    bool Found() const { return found_; }
    void Reset() { *this = RtcFinder{}; }

    static constexpr int kEolsInRtc = 6;
    static constexpr int kEolZeros = 11; // at least 11 zeros, fill included, then a 1

private:
    int zeros_ = 0;
    int eols_ = 0;              // EOLs in a row so far
    bool dataSinceEol_ = true;  // a line's code between this EOL and the last
    bool found_ = false;
};

} // namespace faxengine
