// What is wrong with a log table that would not open, and the repairs that keep every
// record that is still whole: a table whose last record was cut short, a memo file that
// went missing. A repair first keeps a copy of each file it changes beside it.
#pragma once

#include "faxlog/log_tables.h"

#include <filesystem>
#include <string>
#include <vector>

namespace faxlog {

enum class LogFault {
    None,            // the table opens
    TruncatedRecord, // the header counts more records than the file holds whole
    MissingMemo,     // the table has memo fields but its memo file is gone
    ReadOnly,        // the files may be read but not written
    InUse,           // another program holds the table
    Unusable,        // anything else (not a table, a damaged header, no such directory)
};
const char* to_string(LogFault f);

struct LogDiagnosis {
    LogFault fault = LogFault::None;
    std::filesystem::path file; // the file at fault
    std::string detail;         // what is wrong, in words
    bool repairable = false;    // repairLogTable can fix it
    bool readable = false;      // openLogTableForReading works as the files are
};

// Looks at the files of one log table (after its open failed with `openError`).
LogDiagnosis diagnoseLogTable(const std::filesystem::path& dir, LogTableKind kind,
                              const std::string& openError = {});

// Repairs what the diagnosis found repairable. The copies it kept go to *backups. False,
// with the reason in *error, when it could not.
bool repairLogTable(const std::filesystem::path& dir, LogTableKind kind, const LogDiagnosis& d,
                    std::vector<std::filesystem::path>* backups = nullptr, std::string* error = nullptr);

} // namespace faxlog
