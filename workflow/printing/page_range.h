// The pages a print job covers: 1-based and inclusive, as typed ("2-5", "3", "4-", "-2").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace workflow::printing {

struct PageRange {
    int first = 1;
    int last = 1;
    int count() const { return last - first + 1; }
    bool operator==(const PageRange&) const = default;
};

struct PageRangeParse {
    std::optional<PageRange> range;
    std::string error; // why the text was refused, for the user
};

// Parses `text` against a fax of `pageCount` pages. An open end runs to the first or
// last page; an empty text means every page. Refused: no pages at all, page 0, a page
// beyond the count, first after last, anything but digits around one "-".
PageRangeParse parsePageRange(std::string_view text, int pageCount);

// The range actually printed for the numbers a caller gave (0 meaning "from the start"
// or "to the end"); nullopt when it lies outside 1..pageCount or is reversed.
std::optional<PageRange> resolvePageRange(int first, int last, int pageCount);

} // namespace workflow::printing
