// A log of known records for the maintenance tests: sent faxes across two years, unsent
// ones, and received faxes with their files in the receive directory.
#pragma once

#include "faxlog/dbe_table.h"
#include "faxlog/dbf_record.h"
#include "faxlog/log_records.h"
#include "faxlog/log_tables.h"
#include "faxlog/work_area.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace maintenance::test {

struct SentRow {
    const char* recipient;
    const char* phone;
    int year, month, day; // 0: not sent
    const char* time;
};

// Record numbers 1..7 in this order.
inline constexpr SentRow kSent[] = {
    {"John Smith", "555-0101", 2025, 3, 10, "10:00"},
    {"SMITHSON", "555-0102", 2025, 12, 31, "23:59"},
    {"Smith", "555-0103", 2026, 1, 15, "09:30"},
    {"Ann Other", "555-0104", 0, 0, 0, ""},
    {"Bob \"Quote\" O'Neil [x]", "555-0105", 0, 0, 0, ""},
    {"  smith ", "555-0103", 2026, 6, 1, "08:00"},
    {"Carol", "555-0107", 2024, 12, 31, "12:00"},
};

struct ReceivedRow {
    const char* from;
    int year, month, day;
    const char* file;
};

inline constexpr ReceivedRow kReceived[] = {
    {"+1 555 0201", 2025, 5, 5, "FAX0001.APF"},
    {"ACME SALES", 2025, 12, 31, "FAX0002.APF"},
    {"acme", 2026, 1, 1, "FAX0003.APF"},
    {"Other", 2026, 2, 2, "FAX0004.APF"},
};

inline void writeKnownLog(faxlog::DbeEngine& engine, const std::filesystem::path& dir) {
    faxlog::TDbeTable sent(engine), received(engine);
    faxlog::openLogTable(sent, faxlog::LogTableKind::Sent, dir);
    for (const SentRow& r : kSent) {
        faxlog::appendSentFax(sent, {r.recipient, std::string("About ") + r.phone, r.phone, "{\\rtf1 cover}",
                                     "{\\rtf1 doc}"});
        if (r.year) {
            sent.replaceLogical("SENT", true);
            sent.replaceDate("DATESENT", faxlog::XDate::fromYmd(r.year, unsigned(r.month), unsigned(r.day)));
            sent.replace("TIMESENT", r.time);
            sent.replace("LASTRESULT", "OK");
        }
        sent.commit();
    }
    std::filesystem::create_directories(dir / "receive");
    faxlog::openLogTable(received, faxlog::LogTableKind::Received, dir);
    for (const ReceivedRow& r : kReceived) {
        std::ofstream(dir / "receive" / r.file) << "fax";
        faxlog::appendReceivedFax(received, r.from, 1, dir / "receive" / r.file);
        received.replaceDate("DATEREC", faxlog::XDate::fromYmd(r.year, unsigned(r.month), unsigned(r.day)));
        received.commit();
    }
}

// Record numbers carrying the deleted mark.
inline std::set<long> deletedRecords(faxlog::TDbeTable& t) {
    std::set<long> out;
    const faxlog::WorkArea* area = t.engine().area(t.workArea());
    for (std::uint32_t r = 1; r <= area->dbf().recordCount(); ++r)
        if (area->dbf().record(r)[0] == faxlog::kDeletedMark)
            out.insert(long(r));
    return out;
}

inline std::set<std::string> filesLeft(const std::filesystem::path& dir) {
    std::set<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir / "receive"))
        out.insert(e.path().filename().string());
    return out;
}

} // namespace maintenance::test
