#include "print_tags.h"

#include <cctype>
#include <ctime>

namespace workflow::printing {

namespace {

bool isTagChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

std::string tagValue(char letter, const CaptionValues& v) {
    switch (std::toupper(static_cast<unsigned char>(letter))) {
    case 'D':
        return v.date;
    case 'F':
        return v.fileName;
    case 'N':
        return std::to_string(v.pageCount);
    case 'P':
        return std::to_string(v.page);
    case 'T':
        return v.time;
    default:
        return {};
    }
}

std::string formatNow(const char* format) {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[128];
    const std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
    return std::string(buf, n);
}

} // namespace

std::string expandCaption(std::string_view caption, const CaptionValues& values) {
    std::string out;
    out.reserve(caption.size() + 32);
    std::size_t i = 0;
    while (i < caption.size()) {
        const std::size_t dollar = caption.find('$', i);
        if (dollar == std::string_view::npos) {
            out.append(caption.substr(i));
            break;
        }
        out.append(caption.substr(i, dollar - i));
        std::size_t end = dollar + 1;
        while (end < caption.size() && isTagChar(caption[end]))
            ++end;
        if (end > dollar + 1)
            out += tagValue(caption[dollar + 1], values);
        i = end;
    }
    return out;
}

std::string localShortDate() { return formatNow("%x"); }
std::string localLongTime() { return formatNow("%X"); }

} // namespace workflow::printing
