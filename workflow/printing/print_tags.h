// Header and footer captions: "$" tags replaced by the values of the page being printed.
#pragma once

#include <string>
#include <string_view>

namespace workflow::printing {

// What the tags of a caption stand for, already formatted.
struct CaptionValues {
    std::string date;     // $D: today, the locale's short date
    std::string fileName; // $F: the fax file being printed
    int pageCount = 0;    // $N
    int page = 0;         // $P
    std::string time;     // $T: now, the locale's long time
};

// Replaces every tag of `caption`. A tag is "$", the letter after it (either case) and
// the letters and digits that follow ("$Page" is a tag for P); a blank or punctuation ends
// it, so "$P," keeps its comma. D, F, N, P and T insert their value; any other letter,
// or none, inserts nothing. Inserted values are never read as tags again, so a file
// name holding "$F" cannot make the expansion run forever.
std::string expandCaption(std::string_view caption, const CaptionValues& values);

// Today's date and the current time in the locale's short date and long time formats.
std::string localShortDate();
std::string localLongTime();

} // namespace workflow::printing
