#include "faxlog/log_records.h"

#include "faxlog/table_error.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace faxlog {
namespace {

std::string trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(b, e - b + 1));
}

std::string upper(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool equalNoCase(std::string_view a, std::string_view b) { return upper(std::string(a)) == upper(std::string(b)); }

struct LocalStamp {
    XDate date;
    std::string hhmm;
};

LocalStamp localStamp(std::chrono::system_clock::time_point now) {
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d:%02d", tm.tm_hour, tm.tm_min);
    return {XDate::fromYmd(tm.tm_year + 1900, static_cast<unsigned>(tm.tm_mon + 1),
                           static_cast<unsigned>(tm.tm_mday)),
            buf};
}

void writeContent(TDbeTable& t, const SentFaxContent& c) {
    t.replace("RECIPIENT", c.recipient);
    t.replace("SUBJECT", c.subject);
    t.replace("PHONE", c.phone);
    t.replaceMemo("RTFCOVER", c.rtfCover);
    t.replaceMemo("RTFDOC", c.rtfDoc);
}

} // namespace

std::string sentYesNo(bool sent) { return sent ? "Yes" : "No "; }
std::string isDeletedText(bool deleted) { return deleted ? "Yes" : "No "; }
std::string sentYesNo(TDbeTable& sent) { return sentYesNo(sent.getLogical("SENT")); }
std::string isDeletedText(TDbeTable& t) { return isDeletedText(t.deleted()); }

std::string cloneSubject(std::string_view subject) {
    std::string s(subject);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return "[clone]" + s;
}

void appendSentFax(TDbeTable& sent, const SentFaxContent& c) {
    sent.appendBlank();
    writeContent(sent, c);
    sent.replaceLogical("SENT", false);
    sent.commit();
}

void updateSentFax(TDbeTable& sent, const SentFaxContent& c) {
    writeContent(sent, c);
    sent.commit();
}

SentFaxContent cloneOfCurrent(TDbeTable& sent) {
    return {sent.getTrimString("RECIPIENT"), cloneSubject(sent.getTrimString("SUBJECT")),
            sent.getTrimString("PHONE"), sent.getMemo("RTFCOVER"), sent.getMemo("RTFDOC")};
}

void recordSendAttempt(TDbeTable& sent, int pages, std::string_view result, std::string_view phone,
                       std::chrono::system_clock::time_point now) {
    // PAGES holds two digits; a longer fax keeps the largest count the field can show
    // rather than losing the whole update.
    sent.replaceNumber("PAGES", std::clamp(pages, 0, 99));
    const std::string trimmed = trim(result);
    if (!trimmed.empty())
        sent.replace("LASTRESULT", trimmed);
    sent.replace("PHONE", phone);
    const std::string verdict = upper(trimmed);
    if (verdict == "SENT" || verdict == "OK") {
        const LocalStamp s = localStamp(now);
        sent.replaceLogical("SENT", true);
        sent.replaceDate("DATESENT", s.date);
        sent.replace("TIMESENT", s.hhmm);
    }
    sent.commit();
}

void appendReceivedFax(TDbeTable& received, std::string_view from, int pages, const std::filesystem::path& faxFile,
                       std::chrono::system_clock::time_point now) {
    const LocalStamp s = localStamp(now);
    received.appendBlank();
    received.replaceDate("DATEREC", s.date);
    received.replace("TIMEREC", s.hhmm);
    received.replace("FROM", from);
    received.replaceNumber("PAGES", std::clamp(pages, 0, 99));
    received.replace("FAXFILE", faxFile.filename().string());
    received.commit();
}

std::filesystem::path receivedFaxPath(const std::filesystem::path& programDir, std::string_view faxFile) {
    const std::string name = trim(faxFile);
    // The name comes from a table any tool may have edited: only a bare file name may lead
    // to a file we delete.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\\') != std::string::npos || name.find('\0') != std::string::npos)
        return {};
    std::error_code ec;
    for (const auto& d : std::filesystem::directory_iterator(programDir, ec)) {
        if (!equalNoCase(d.path().filename().string(), "receive") || !d.is_directory(ec))
            continue;
        for (const auto& f : std::filesystem::directory_iterator(d.path(), ec))
            if (equalNoCase(f.path().filename().string(), name) && f.is_regular_file(ec))
                return f.path();
    }
    return {};
}

std::filesystem::path deleteReceivedFax(TDbeTable& received, const std::filesystem::path& programDir) {
    const std::filesystem::path file = receivedFaxPath(programDir, received.getTrimString("FAXFILE"));
    received.deleteRecord();
    received.commit();
    if (file.empty())
        return {};
    std::error_code ec;
    return std::filesystem::remove(file, ec) ? file : std::filesystem::path();
}

DateTimeFormat DateTimeFormat::iso() {
    return {[](const XDate& d) { return d.iso(); },
            [](int h, int m) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "%02d:%02d", h, m);
                return std::string(buf);
            }};
}

std::string formatDateTime(TDbeTable& t, LogTableKind kind, const DateTimeFormat& fmt) {
    try {
        const bool sentTable = kind == LogTableKind::Sent;
        if (sentTable && !t.getLogical("SENT"))
            return "not sent";
        const std::string rawTime = t.getTrimString(sentTable ? "TIMESENT" : "TIMEREC");
        std::string time = rawTime;
        int h = 0, m = 0;
        char extra = 0;
        if (std::sscanf(rawTime.c_str(), "%d:%d%c", &h, &m, &extra) == 2 && h >= 0 && h < 24 && m >= 0 &&
            m < 60 && rawTime.size() <= 5)
            time = fmt.shortTime(h, m);
        const XDate d = t.getDate(sentTable ? "DATESENT" : "DATEREC");
        std::string date = d.empty() ? std::string() : fmt.shortDate(d);
        if (date.empty())
            date = "unknown";
        return date + " at " + time;
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace faxlog
