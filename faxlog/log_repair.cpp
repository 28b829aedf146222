#include "faxlog/log_repair.h"

#include "faxlog/dbf_file.h"
#include "faxlog/dbf_record.h"
#include "faxlog/fpt_file.h"
#include "faxlog/table_error.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace faxlog {
namespace {

constexpr std::size_t kCountOffset = 4;
constexpr std::size_t kHeaderLengthOffset = 8;
constexpr std::size_t kRecordLengthOffset = 10;

bool hasMemo(const LogTableDef& def) {
    for (const auto& f : def.fields)
        if (f.type == FieldType::Memo)
            return true;
    return false;
}

// Writing needs the file and its directory (indexes and packs write beside the table).
bool writable(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return ::access(file.parent_path().c_str(), W_OK) == 0;
    }
    return errno != EACCES && errno != EROFS && errno != EPERM;
}

bool readableAsIs(const std::filesystem::path& dir, LogTableKind kind) {
    DbeEngine engine;
    TDbeEnv env(engine);
    env.start();
    env.setDeleted(true);
    TDbeTable t(engine);
    return openLogTableForReading(t, kind, dir);
}

std::string stampNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &local);
    return buf;
}

// A copy beside the file that no earlier copy is overwritten by.
std::filesystem::path keepCopy(const std::filesystem::path& file) {
    const std::string base = file.string() + ".damaged-" + stampNow();
    std::filesystem::path copy = base;
    for (int n = 2; std::filesystem::exists(copy); ++n)
        copy = base + "-" + std::to_string(n);
    std::filesystem::copy_file(file, copy);
    return copy;
}

std::uint32_t le(const std::string& s, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

// Keeps the whole records: the count becomes theirs and the cut one goes (its bytes stay
// in the copy).
void cutToWholeRecords(const std::filesystem::path& table) {
    FileHandle f(table, O_RDWR);
    const std::string head = f.readAt(0, 12);
    const std::uint32_t headerLength = le(head, kHeaderLengthOffset, 2);
    const std::uint32_t recordLength = le(head, kRecordLengthOffset, 2);
    if (recordLength == 0 || headerLength > f.size())
        throw TableError(table, "damaged header: cannot tell where records are");
    const std::uint64_t whole = (f.size() - headerLength) / recordLength;
    const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::uint64_t>(whole, le(head, kCountOffset, 4)));
    const std::uint64_t end = headerLength + static_cast<std::uint64_t>(count) * recordLength;
    if (::ftruncate(f.fd(), static_cast<off_t>(end)) != 0)
        throw TableError(table, "cannot shorten the file");
    f.writeAt(end, std::string(1, DbfFile::kEofMark));
    std::string c(4, '\0');
    for (std::size_t i = 0; i < 4; ++i)
        c[i] = static_cast<char>((count >> (8 * i)) & 0xFF);
    f.writeAt(kCountOffset, c);
    f.sync();
}

// The old memo numbers would point into the new memo file's blocks: they go, and the
// table gets an empty memo file.
void replaceMissingMemo(const std::filesystem::path& table) {
    {
        DbfFile dbf = DbfFile::open(table, OpenMode::Exclusive);
        for (std::uint32_t r = 1; r <= dbf.recordCount(); ++r) {
            std::string rec(dbf.record(r));
            bool changed = false;
            for (const auto& f : dbf.schema().fields()) {
                if (f.type == FieldType::Memo && readMemoBlock(rec, f) != 0) {
                    writeMemoBlock(rec, f, 0);
                    changed = true;
                }
            }
            if (changed)
                dbf.writeRecord(r, rec);
        }
        dbf.sync();
    }
    FptFile::create(memoPathFor(table));
}

} // namespace

const char* to_string(LogFault f) {
    switch (f) {
    case LogFault::None: return "none";
    case LogFault::TruncatedRecord: return "truncated record";
    case LogFault::MissingMemo: return "missing memo file";
    case LogFault::ReadOnly: return "read-only";
    case LogFault::InUse: return "in use";
    case LogFault::Unusable: return "unusable";
    }
    return "?";
}

namespace {

LogDiagnosis diagnoseFiles(const std::filesystem::path& dir, LogTableKind kind, const std::string& openError) {
    const LogTableDef& def = logTableDef(kind);
    const auto table = dir / def.fileName;
    LogDiagnosis d;
    d.file = table;
    d.detail = openError;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(table, ec)) {
        d.fault = LogFault::Unusable;
        if (d.detail.empty())
            d.detail = "the table is missing and could not be created";
        return d;
    }
    const bool canWrite = writable(table);
    if (hasMemo(def) && !std::filesystem::exists(memoPathFor(table))) {
        d.fault = LogFault::MissingMemo;
        d.file = memoPathFor(table);
        d.detail = "the memo file " + d.file.filename().string() +
                   " is missing: the texts of the faxes are lost, the log records are whole";
        d.repairable = canWrite;
        return d;
    }
    try {
        DbfFile::open(table, OpenMode::ReadOnly);
    } catch (const TableBusyError& e) {
        d.fault = LogFault::InUse;
        d.detail = e.what();
        return d;
    } catch (const TableError& e) {
        const std::string what = e.what();
        if (what.find("truncated:") != std::string::npos) {
            d.fault = LogFault::TruncatedRecord;
            d.detail = what + "; the last record is cut short";
            d.repairable = canWrite;
        } else {
            d.fault = LogFault::Unusable;
            d.detail = what;
        }
        return d;
    }
    if (!canWrite) {
        d.fault = LogFault::ReadOnly;
        d.detail = "the files may be read but not changed (no write permission)";
        d.readable = readableAsIs(dir, kind);
        return d;
    }
    d.readable = readableAsIs(dir, kind);
    d.fault = openError.empty() ? LogFault::None : LogFault::Unusable;
    return d;
}

// The diagnosis names its file once: an error text that starts with it loses the prefix.
LogDiagnosis withoutFilePrefix(LogDiagnosis d) {
    const std::string prefix = d.file.string() + ": ";
    if (d.detail.rfind(prefix, 0) == 0)
        d.detail.erase(0, prefix.size());
    return d;
}

} // namespace

LogDiagnosis diagnoseLogTable(const std::filesystem::path& dir, LogTableKind kind, const std::string& openError) {
    return withoutFilePrefix(diagnoseFiles(dir, kind, openError));
}

bool repairLogTable(const std::filesystem::path& dir, LogTableKind kind, const LogDiagnosis& d,
                    std::vector<std::filesystem::path>* backups, std::string* error) {
    const auto table = dir / logTableDef(kind).fileName;
    try {
        switch (d.fault) {
        case LogFault::TruncatedRecord: {
            const auto copy = keepCopy(table);
            if (backups)
                backups->push_back(copy);
            cutToWholeRecords(table);
            return true;
        }
        case LogFault::MissingMemo: {
            const auto copy = keepCopy(table);
            if (backups)
                backups->push_back(copy);
            replaceMissingMemo(table);
            return true;
        }
        case LogFault::None:
        case LogFault::ReadOnly:
        case LogFault::InUse:
        case LogFault::Unusable:
            break;
        }
        if (error)
            *error = table.string() + ": " + to_string(d.fault) + " cannot be repaired here";
        return false;
    } catch (const std::exception& e) {
        if (error)
            *error = e.what();
        return false;
    }
}

} // namespace faxlog
