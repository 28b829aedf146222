#include "faxengine/rtc_finder.h"

namespace faxengine {

std::optional<std::uint8_t> RtcFinder::Feed(std::uint8_t byte) {
    if (found_)
        return std::nullopt;
    for (int bit = 0; bit < 8; ++bit) {
        if (((byte >> bit) & 1) == 0) {
            ++zeros_;
            continue;
        }
        if (zeros_ >= kEolZeros) {
            eols_ = dataSinceEol_ ? 1 : eols_ + 1;
            dataSinceEol_ = false;
            if (eols_ == kEolsInRtc) {
                found_ = true;
                return static_cast<std::uint8_t>(byte & ((2u << bit) - 1u));
            }
        } else {
            dataSinceEol_ = true;
        }
        zeros_ = 0;
    }
    return std::nullopt;
}

} // namespace faxengine
