// The four fax log tables: names, fields in stored order, the index tags created when a
// table is opened without them and the full set a rebuild creates, and the operations
// that open (creating when missing) and create them.
#pragma once

#include "faxlog/dbe_table.h"
#include "faxlog/dbf_schema.h"
#include "faxlog/table_indexes.h"

#include <filesystem>
#include <string>
#include <vector>

namespace faxlog {

enum class LogTableKind { Sent, Received, Cover, Phone };
const char* to_string(LogTableKind k);

struct LogTableDef {
    LogTableKind kind;
    const char* fileName;            // in the program directory
    std::vector<FieldDef> fields;    // stored order, 0 decimals
    TagDef openTag;                  // created at open when the table lacks it
    std::vector<TagDef> rebuildTags; // created by Rebuild indexes, in this order
    // Cover and phone tables use their tag from the moment they are open; the sent and
    // received tables only while they hold a visible record.
    bool orderAlways;
};

const LogTableDef& logTableDef(LogTableKind k);
const std::vector<LogTableKind>& allLogTables();

// The condition every log tag and the open-time query carry.
inline constexpr const char* kNotDeleted = ".not. deleted()";

// Creates the table file (and memo file) in dir; false, with the reason in *error, when it
// fails or the file is not there afterwards.
bool createLogTable(DbeEngine& engine, const LogTableDef& def, const std::filesystem::path& dir,
                    std::string* error = nullptr);

// Opens a log table into t exclusively: creates it when missing, recreates the open-time
// tag when the index lacks it (every defined tag when the index file was damaged), moves
// to the first record and sets the not-deleted query; cover and phone tables then select
// their tag. False (reason in *error) on any failure. What opening repaired on its own
// (records recovered beyond a short count, an index rebuilt) goes to *notices.
bool openLogTable(TDbeTable& t, LogTableKind kind, const std::filesystem::path& dir,
                  std::string* error = nullptr, std::vector<std::string>* notices = nullptr);

// The same for a reader: read-only, creates nothing on disk (a missing table is an
// error; missing tags live in memory only).
bool openLogTableForReading(TDbeTable& t, LogTableKind kind, const std::filesystem::path& dir,
                            std::string* error = nullptr, std::vector<std::string>* notices = nullptr);

// The active-order rule: a log table's tag while it has a visible record (moving to the
// first record when the order changes), natural order while it is empty.
void applyActiveOrder(TDbeTable& t, LogTableKind kind);

// True when both log tables have the tag that only a rebuild creates ("DATEND").
bool hasRebuildTags(TDbeTable& t);

} // namespace faxlog
