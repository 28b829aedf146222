// What the main window needs of an open fax log table (sent or received): the rows the
// grid shows in the active order, the current record, the order switch of the command
// rules, and deleting. The window owns one per table; faxlog_table.h puts it on the engine.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace faxlog { class TDbeTable; }

namespace app {

enum class LogKind { Sent, Received };

const char* to_string(LogKind kind);

class LogTable {
public:
    virtual ~LogTable() = default;

    virtual LogKind kind() const = 0;
    virtual bool isOpen() const = 0;
    // Opened for reading only (its files could not be written): nothing changes it.
    virtual bool readOnly() const { return false; }
    // Records that opening recovered beyond a short header count (what an interrupted
    // append leaves), in words for the user; empty when there were none.
    virtual std::string recoveryNote() const { return {}; }

    // --- active order ---
    // Whether an index order (not natural order) is active.
    virtual bool indexOrderActive() = 0;
    virtual void useNaturalOrder() = 0;
    // The date order (tag DATESENT or DATETIME), positioned on its first record.
    virtual void useDateOrder() = 0;
    virtual bool hasTag(std::string_view tag) = 0;

    // --- visible rows (live records, active order) ---
    virtual int rowCount() = 0;
    // Field text of a row, trailing blanks removed; dates as "YYYYMMDD", logicals "T"/"F".
    virtual std::string field(int row, std::string_view name) = 0;

    // --- the current record ---
    // Whether the table stands on a record (not past the end).
    virtual bool hasCurrentRecord() = 0;
    // Row of the current record, -1 when it has none or it is not visible.
    virtual int currentRow() = 0;
    virtual void setCurrentRow(int row) = 0;
    virtual std::string currentField(std::string_view name) = 0;
    // Puts the deleted mark on the current record (it leaves every view); a received
    // fax's file in the receive directory goes with it. The next row becomes current.
    virtual void deleteCurrent() = 0;

    // Closes and opens the table again, keeping the current record when it still exists
    // (after another window changed it behind the grid).
    virtual bool reopen() = 0;
    virtual void close() = 0;

    // The table on the engine, for the windows that write records (null when the table
    // is not on the engine).
    virtual faxlog::TDbeTable* dbeTable() { return nullptr; }
};

// Opens (creating when missing) the sent or received table of a program directory; null
// when it can be neither opened nor created.
using LogTableOpener =
    std::function<std::unique_ptr<LogTable>(LogKind kind, const std::filesystem::path& programDir)>;

// Why a log table did not open, in words a user can act on.
struct LogOpenProblem {
    std::string file;        // the file at fault
    std::string detail;      // what is wrong with it
    bool repairable = false; // repair() can fix it
    bool readable = false;   // openReadOnly() works as the files are
};

// What start-up can do about a log table that did not open.
class LogOpenRescue {
public:
    virtual ~LogOpenRescue() = default;
    virtual LogOpenProblem diagnose(LogKind kind) = 0;
    // Keeps a copy of every file it changes first; *report says what was done and where
    // the copies are, or why it failed.
    virtual bool repair(LogKind kind, std::string* report) = 0;
    virtual std::unique_ptr<LogTable> openReadOnly(LogKind kind) = 0;
};

} // namespace app
