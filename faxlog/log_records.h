// What happens to log records over their lives: new and cloned sent faxes, send attempts,
// received faxes, deletion of a received fax with its file, the calculated columns and
// the date-and-time caption.
#pragma once

#include "faxlog/dbe_table.h"
#include "faxlog/log_tables.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace faxlog {

struct SentFaxContent {
    std::string recipient;
    std::string subject;
    std::string phone;
    std::string rtfCover;
    std::string rtfDoc;
};

// The calculated columns: "Yes" or "No " (with the blank).
std::string sentYesNo(bool sent);
std::string isDeletedText(bool deleted);
// The current sent record's SentYesNo and the current record's ISDELETED.
std::string sentYesNo(TDbeTable& sent);
std::string isDeletedText(TDbeTable& t);

// "[clone]" followed by the old subject.
std::string cloneSubject(std::string_view subject);

// A new unsent record (appended and committed); it becomes the current record.
void appendSentFax(TDbeTable& sent, const SentFaxContent& c);
// Rewrites the editor's fields of the current record in place.
void updateSentFax(TDbeTable& sent, const SentFaxContent& c);
// The editor content a clone of the current record starts from.
SentFaxContent cloneOfCurrent(TDbeTable& sent);

// Records the outcome of a send attempt on the current record: PAGES and PHONE always,
// LASTRESULT unless the result is blank; a result of "OK" or "SENT" (any case, blanks
// around ignored) marks it sent at `now` (local date, "hh:mm").
void recordSendAttempt(TDbeTable& sent, int pages, std::string_view result, std::string_view phone,
                       std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// Appends a received fax: date and time of `now`, the remote station, the page count and
// the file name part of the fax file.
void appendReceivedFax(TDbeTable& received, std::string_view from, int pages,
                       const std::filesystem::path& faxFile,
                       std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// The receive directory's file for a FAXFILE value, matched without regard to case (the
// directory may be spelt receive, RECEIVE or Receive). Empty when FAXFILE is not a plain
// file name or nothing matches.
std::filesystem::path receivedFaxPath(const std::filesystem::path& programDir, std::string_view faxFile);

// Marks the current received record deleted, then removes its fax file; a missing or
// unremovable file is ignored. Returns the file removed (empty when none).
std::filesystem::path deleteReceivedFax(TDbeTable& received, const std::filesystem::path& programDir);

// Short date and time formats of the user's locale; the GUI passes Qt's, the CLI ISO.
struct DateTimeFormat {
    std::function<std::string(const XDate&)> shortDate;
    std::function<std::string(int hour, int minute)> shortTime;
    static DateTimeFormat iso();
};

// The current record's date and time as a caption: "not sent" for an unsent sent fax,
// else date + " at " + time; the time as stored when it is not "hh:mm", "unknown" for a
// date that cannot be formatted.
std::string formatDateTime(TDbeTable& t, LogTableKind kind, const DateTimeFormat& fmt);

} // namespace faxlog
