// Calendar dates as xBase tables hold them: a day, or the empty date.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace faxlog {

class XDate {
public:
    XDate() = default; // the empty date
    explicit XDate(std::chrono::sys_days day) : day_(day) {}
    static XDate fromYmd(int year, unsigned month, unsigned day); // empty when not a real day
    static XDate today();                                          // local calendar day

    // "YYYYMMDD" as stored in a D field; blanks, or anything that is not a real day, is empty.
    static XDate fromDtos(std::string_view text);
    // Month/day/year with any non-digit separator; a two-digit year falls in the hundred
    // years ending twenty years after the current year. Not a date: empty.
    static XDate fromMdy(std::string_view text);

    bool empty() const { return !day_.has_value(); }
    std::chrono::sys_days day() const { return *day_; }
    std::chrono::year_month_day ymd() const { return std::chrono::year_month_day{*day_}; }
    std::string dtos() const;     // "YYYYMMDD", or eight blanks when empty
    std::string mdy() const;      // "MM/DD/YYYY", or blanks in that shape when empty
    std::string iso() const;      // "YYYY-MM-DD", or "" when empty
    long julianDay() const;       // astronomical day number; 0 when empty

    friend bool operator==(const XDate&, const XDate&) = default;
    // The empty date sorts before every day.
    friend auto operator<=>(const XDate& a, const XDate& b) {
        if (a.empty() || b.empty())
            return b.empty() <=> a.empty();
        return *a.day_ <=> *b.day_;
    }

private:
    std::optional<std::chrono::sys_days> day_;
};

} // namespace faxlog
