// The header line (and text cover lines): "$x" tokens replaced by session values.
#pragma once

#include <string>
#include <string_view>

namespace faxengine {

struct HeaderValues {
    std::string date;      // $D
    std::string time;      // $T
    std::string stationId; // $I
    std::string sender;    // $F
    std::string recipient; // $R
    std::string title;     // $S
    std::string pages;     // $N
    std::string page;      // $P
};

// A token runs from '$' to the next space and is replaced whole; unknown letters give
// an empty value.
std::string expandHeaderText(std::string_view text, const HeaderValues& v);

// Today's date and time in the user's short formats.
std::string shortDateNow();
std::string timeNow();

} // namespace faxengine
