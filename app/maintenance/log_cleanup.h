// What the cleanup utility does to a log table, without windows: the conditions of its
// delete commands as xBase expressions, and deleting by condition or the current record
// (a received fax's file goes with its record).
#pragma once

#include "faxlog/dbe_table.h"
#include "faxlog/log_tables.h"
#include "faxlog/xbase_date.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace maintenance {

enum class CleanupPage { Outgoing, Incoming };

faxlog::LogTableKind tableKind(CleanupPage page);
// The word the questions use: "outgoing" or "received".
const char* pageWord(CleanupPage page);
// The date field the before-date command compares: DATESENT or DATEREC.
const char* dateField(CleanupPage page);

inline constexpr const char* kSentCondition = ".not. EMPTY(DATESENT)";
inline constexpr const char* kUnsentCondition = "EMPTY(DATESENT)";
inline constexpr const char* kAllCondition = ".true.";

// The date field is before `date` and not empty. The year is written in full so that
// a date is never read back in the wrong century.
std::string beforeDateCondition(CleanupPage page, const faxlog::XDate& date);

// A string literal for `text`, in a delimiter the text does not contain; a text holding
// every delimiter becomes a concatenation of literals.
std::string xbaseString(std::string_view text);

enum class MatchField { From, Recipient, Phone };
const char* to_string(MatchField field); // the field name

// The field, trimmed and upper-cased, equals the trimmed upper-cased text (exact) or
// contains it. Empty for a blank text: nothing is to be deleted.
std::string matchCondition(MatchField field, std::string_view text, bool exact);

// Puts the deleted mark on every record for which `condition` is true and that does not
// carry it yet, visiting marked records too; received faxes lose their files after the
// marks are on disk. Returns the number of records marked. The condition is checked
// before anything changes: a faulty one throws faxlog::ExpressionError and deletes
// nothing. The table keeps its order and, where it still can, its current record.
long deleteWhere(faxlog::TDbeTable& table, faxlog::TDbeEnv& env, CleanupPage page,
                 std::string_view condition, const std::filesystem::path& programDir);

// Deletes the current record (and a received fax's file), then goes to the record that
// followed it, if any.
void deleteCurrent(faxlog::TDbeTable& table, CleanupPage page, const std::filesystem::path& programDir);

} // namespace maintenance
