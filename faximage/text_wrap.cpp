#include "faximage/text_wrap.h"

#include <algorithm>

namespace faximage {

namespace {
bool isBlank(char32_t c) { return c == U' '; }
} // namespace

std::vector<std::u32string> wrapTextLine(std::u32string_view text, const FitCount& fitCount) {
    std::vector<std::u32string> pieces;
    std::u32string_view rest = text;
    do {
        std::size_t n = std::min(fitCount(rest), rest.size());
        if (n == rest.size()) {
            pieces.emplace_back(rest);
            break;
        }
        n = std::max<std::size_t>(n, 1); // a character wider than the page goes alone
        // The last blank at or before the first character that does not fit, provided
        // something other than blanks comes before it (indentation is no break point).
        std::size_t cut = n;
        std::size_t resume = n;
        const auto blank = rest.substr(0, n + 1).find_last_of(U' ');
        const auto firstInk = std::find_if_not(rest.begin(), rest.end(), isBlank) - rest.begin();
        if (blank != std::u32string_view::npos && static_cast<std::ptrdiff_t>(blank) > firstInk) {
            cut = blank;
            while (cut > 0 && isBlank(rest[cut - 1]))
                --cut;
            resume = blank;
        }
        pieces.emplace_back(rest.substr(0, cut));
        rest.remove_prefix(resume);
        while (!rest.empty() && isBlank(rest.front()))
            rest.remove_prefix(1);
    } while (!rest.empty());
    return pieces;
}

} // namespace faximage
