#include "page_range.h"

#include <charconv>

namespace workflow::printing {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// A page number, or nullopt for anything but plain digits.
std::optional<int> number(std::string_view s) {
    s = trim(s);
    if (s.empty() || s.size() > 6)
        return std::nullopt;
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return v;
}

} // namespace

std::optional<PageRange> resolvePageRange(int first, int last, int pageCount) {
    if (pageCount <= 0)
        return std::nullopt;
    const int f = first == 0 ? 1 : first;
    const int l = last == 0 ? pageCount : last;
    if (f < 1 || l > pageCount || f > l)
        return std::nullopt;
    return PageRange{f, l};
}

PageRangeParse parsePageRange(std::string_view text, int pageCount) {
    PageRangeParse r;
    if (pageCount <= 0) {
        r.error = "the fax has no pages";
        return r;
    }
    text = trim(text);
    int first = 0, last = 0;
    if (!text.empty()) {
        const std::size_t dash = text.find('-');
        if (dash == std::string_view::npos) {
            const auto n = number(text);
            if (!n) {
                r.error = "not a page range: " + std::string(text);
                return r;
            }
            first = last = *n;
            if (*n == 0) {
                r.error = "pages are counted from 1";
                return r;
            }
        } else {
            const std::string_view a = trim(text.substr(0, dash));
            const std::string_view b = trim(text.substr(dash + 1));
            const auto fa = a.empty() ? std::optional<int>(0) : number(a);
            const auto fb = b.empty() ? std::optional<int>(0) : number(b);
            if (!fa || !fb || (a.empty() && b.empty())) {
                r.error = "not a page range: " + std::string(text);
                return r;
            }
            if ((!a.empty() && *fa == 0) || (!b.empty() && *fb == 0)) {
                r.error = "pages are counted from 1";
                return r;
            }
            first = *fa;
            last = *fb;
        }
    }
    r.range = resolvePageRange(first, last, pageCount);
    if (!r.range)
        r.error = "pages " + std::string(text) + " are not within 1-" + std::to_string(pageCount);
    return r;
}

} // namespace workflow::printing
