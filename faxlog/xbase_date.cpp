#include "faxlog/xbase_date.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <vector>

namespace faxlog {

XDate XDate::fromYmd(int year, unsigned month, unsigned day) {
    const std::chrono::year_month_day ymd{std::chrono::year{year}, std::chrono::month{month},
                                          std::chrono::day{day}};
    if (year < 1 || year > 9999 || !ymd.ok())
        return {};
    return XDate{std::chrono::sys_days{ymd}};
}

XDate XDate::today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return fromYmd(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                   static_cast<unsigned>(local.tm_mday));
}

XDate XDate::fromDtos(std::string_view text) {
    if (text.size() != 8)
        return {};
    int v[8];
    for (std::size_t i = 0; i < 8; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return {};
        v[i] = text[i] - '0';
    }
    const int year = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
    return fromYmd(year, static_cast<unsigned>(v[4] * 10 + v[5]),
                   static_cast<unsigned>(v[6] * 10 + v[7]));
}

XDate XDate::fromMdy(std::string_view text) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            cur += c;
        } else if (!cur.empty()) {
            parts.push_back(cur);
            cur.clear();
        } else if (c != ' ' && !parts.empty()) {
            return {}; // two separators in a row
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    if (parts.size() != 3 || parts[0].size() > 2 || parts[1].size() > 2 ||
        (parts[2].size() != 2 && parts[2].size() != 4))
        return {};
    int year = std::stoi(parts[2]);
    if (parts[2].size() == 2) {
        // A fixed 19xx century would put "01/01/30" a hundred years back; a window around
        // the current year gives what a person typing a two-digit year means.
        const int thisYear = static_cast<int>(today().ymd().year());
        const int last = thisYear + 20;
        year += (last / 100) * 100;
        if (year > last)
            year -= 100;
    }
    return fromYmd(year, static_cast<unsigned>(std::stoi(parts[0])),
                   static_cast<unsigned>(std::stoi(parts[1])));
}

std::string XDate::dtos() const {
    if (empty())
        return std::string(8, ' ');
    const auto d = ymd();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02u%02u", static_cast<int>(d.year()),
                  static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day()));
    return buf;
}

std::string XDate::mdy() const {
    if (empty())
        return "  /  /    ";
    const auto d = ymd();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02u/%02u/%04d", static_cast<unsigned>(d.month()),
                  static_cast<unsigned>(d.day()), static_cast<int>(d.year()));
    return buf;
}

std::string XDate::iso() const {
    if (empty())
        return {};
    const auto d = ymd();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(d.year()),
                  static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day()));
    return buf;
}

long XDate::julianDay() const {
    if (empty())
        return 0;
    // 1970-01-01 is Julian day 2440588.
    return static_cast<long>(day_->time_since_epoch().count()) + 2440588L;
}

} // namespace faxlog
