#include "faxengine/modem_response.h"

#include <cctype>

namespace faxengine {

std::string_view trimView(std::string_view s) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && space(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string cleanReport(std::string_view s) {
    s = trimView(s);
    std::size_t cut = s.find(':');
    if (cut == std::string_view::npos)
        cut = s.find('=');
    if (cut != std::string_view::npos)
        s.remove_prefix(cut + 1);
    s = trimView(s);
    return std::string(s.substr(0, 128));
}

std::string cleanStationId(std::string_view s) {
    std::string id = cleanReport(s);
    if (!id.empty() && id.front() == '"')
        id.front() = ' ';
    while (!id.empty() && !std::isalnum(static_cast<unsigned char>(id.back())))
        id.pop_back();
    return std::string(trimView(id));
}

int numericReportValue(std::string_view s) {
    const std::size_t colon = s.find(':');
    if (colon == std::string_view::npos)
        return 0;
    std::string_view v = trimView(s.substr(colon + 1, 3));
    int n = 0;
    for (char c : v) {
        if (c < '0' || c > '9')
            break;
        n = n * 10 + (c - '0');
    }
    return n;
}

} // namespace faxengine
