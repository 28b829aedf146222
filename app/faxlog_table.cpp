#include "faxlog_table.h"

#include "faxlog/dbe_table.h"
#include "faxlog/codepage.h"
#include "faxlog/dbf_record.h"
#include "faxlog/log_records.h"
#include "faxlog/log_repair.h"
#include "faxlog/log_tables.h"
#include "faxlog/dbe_engine.h"
#include "faxlog/work_area.h"

#include <algorithm>
#include <cmath>

namespace app {

namespace {

constexpr int kSysPropOff = 1009;

faxlog::LogTableKind tableKind(LogKind kind) {
    switch (kind) {
    case LogKind::Sent:
        return faxlog::LogTableKind::Sent;
    case LogKind::Received:
        return faxlog::LogTableKind::Received;
    }
    return faxlog::LogTableKind::Sent;
}

std::string rtrim(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return std::string(s);
}

// A field of a raw record as the grid shows it.
std::string fieldText(std::string_view record, const faxlog::FieldDef& f) {
    using faxlog::FieldType;
    switch (f.type) {
    case FieldType::Character:
        return faxlog::cp1252ToUtf8(rtrim(faxlog::readCharacter(record, f)));
    case FieldType::Logical:
        return faxlog::readLogical(record, f) ? "T" : "F";
    case FieldType::Date: {
        const faxlog::XDate d = faxlog::readDate(record, f);
        return d.empty() ? std::string() : d.dtos();
    }
    case FieldType::Numeric:
    case FieldType::Float: {
        const auto n = faxlog::readNumber(record, f);
        if (!n)
            return {};
        if (f.decimals == 0)
            return std::to_string(std::llround(*n));
        return rtrim(faxlog::fieldBytes(record, f));
    }
    case FieldType::Memo:
        return {};
    }
    return {};
}

// One open log table. Grid rows are read straight from the table's records, so that
// painting a row never moves the current record.
class FaxlogTable : public LogTable {
public:
    FaxlogTable(LogDatabase& db, LogKind kind, bool readOnly)
        : db_(db), kind_(kind), readOnly_(readOnly), table_(db.engine()) {}

    bool open(std::string* error, std::vector<std::string>* notices = nullptr) {
        if (readOnly_)
            return faxlog::openLogTableForReading(table_, tableKind(kind_), db_.programDirectory(), error,
                                                  notices);
        return faxlog::openLogTable(table_, tableKind(kind_), db_.programDirectory(), error, notices);
    }

    LogKind kind() const override { return kind_; }
    bool isOpen() const override { return table_.isOpen(); }
    bool readOnly() const override { return readOnly_; }
    std::string recoveryNote() const override {
        const faxlog::WorkArea* area = isOpen() ? db_.engine().area(table_.workArea()) : nullptr;
        return area ? area->dbf().recoveryNote() : std::string();
    }

    bool indexOrderActive() override { return isOpen() && table_.indexOrd() != 0; }
    void useNaturalOrder() override {
        if (isOpen())
            table_.setOrder(0);
    }
    void useDateOrder() override {
        if (!isOpen())
            return;
        const int order = table_.tagArea(faxlog::logTableDef(tableKind(kind_)).openTag.name);
        if (order > 0)
            table_.setOrder(order);
        table_.goTop();
    }
    bool hasTag(std::string_view tag) override { return isOpen() && table_.tagArea(tag) > 0; }

    int rowCount() override { return isOpen() ? int(table_.rowCount()) : 0; }
    std::string field(int row, std::string_view name) override {
        if (!isOpen() || row < 0 || row >= rowCount())
            return {};
        faxlog::WorkArea* area = db_.engine().area(table_.workArea());
        const int index = area->schema().indexOf(name);
        if (index < 0)
            return {};
        const auto recno = std::uint32_t(table_.rowRecNo(std::size_t(row)));
        return fieldText(area->dbf().record(recno), area->schema()[std::size_t(index)]);
    }

    bool hasCurrentRecord() override { return isOpen() && !table_.eof() && table_.hasRecord(); }
    int currentRow() override {
        if (!hasCurrentRecord())
            return -1;
        const auto row = table_.rowOf(table_.recNo());
        return row ? int(*row) : -1;
    }
    void setCurrentRow(int row) override {
        if (isOpen() && row >= 0 && row < rowCount())
            table_.go(table_.rowRecNo(std::size_t(row)));
    }
    std::string currentField(std::string_view name) override {
        if (!hasCurrentRecord())
            return {};
        faxlog::WorkArea* area = db_.engine().area(table_.workArea());
        const int index = area->schema().indexOf(name);
        if (index < 0)
            return {};
        return fieldText(area->currentRecord(), area->schema()[std::size_t(index)]);
    }
    void deleteCurrent() override {
        if (readOnly_ || !hasCurrentRecord())
            return;
        const int row = currentRow();
        if (kind_ == LogKind::Received) {
            faxlog::deleteReceivedFax(table_, db_.programDirectory());
        } else {
            table_.deleteRecord();
            table_.commit();
        }
        // Stay where the user was: the next row, or the last one when it was the last.
        const int rows = rowCount();
        if (rows == 0)
            table_.go(table_.recCount() + 1);
        else
            table_.go(table_.rowRecNo(std::size_t(std::clamp(row, 0, rows - 1))));
    }

    bool reopen() override {
        const long recno = isOpen() && hasCurrentRecord() ? table_.recNo() : 0;
        close();
        std::string error;
        if (!open(&error))
            return false;
        if (recno > 0 && table_.rowOf(recno))
            table_.go(recno);
        return true;
    }
    void close() override {
        if (!isOpen())
            return;
        if (!readOnly_)
            table_.commit();
        table_.close();
    }
    faxlog::TDbeTable* dbeTable() override { return readOnly_ ? nullptr : &table_; }

private:
    LogDatabase& db_;
    LogKind kind_;
    bool readOnly_;
    faxlog::TDbeTable table_;
};

} // namespace

LogDatabase::LogDatabase(std::filesystem::path programDir)
    : programDir_(std::move(programDir)), engine_(std::make_unique<faxlog::DbeEngine>()),
      env_(std::make_unique<faxlog::TDbeEnv>(*engine_)) {
    env_->start();
    env_->setDeleted(true);
    env_->setSysProp(kSysPropOff, 0);
}

LogDatabase::~LogDatabase() = default;

std::unique_ptr<LogTable> LogDatabase::open(LogKind kind) { return openTable(kind, false); }

std::unique_ptr<LogTable> LogDatabase::openTable(LogKind kind, bool readOnly) {
    auto table = std::make_unique<FaxlogTable>(*this, kind, readOnly);
    lastError_.clear();
    notices_.clear();
    try {
        if (!table->open(&lastError_, &notices_))
            return nullptr;
    } catch (const std::exception& e) {
        lastError_ = e.what();
        return nullptr;
    }
    return table;
}

LogOpenProblem LogDatabase::diagnose(LogKind kind) {
    const auto d = faxlog::diagnoseLogTable(programDir_, tableKind(kind), lastError_);
    return {d.file.string(), d.detail, d.repairable, d.readable};
}

bool LogDatabase::repair(LogKind kind, std::string* report) {
    const auto d = faxlog::diagnoseLogTable(programDir_, tableKind(kind), lastError_);
    std::vector<std::filesystem::path> copies;
    std::string error;
    const bool ok = faxlog::repairLogTable(programDir_, tableKind(kind), d, &copies, &error);
    if (report) {
        if (!ok) {
            *report = error;
        } else {
            *report = "Repaired " + d.file.filename().string() + " (" + faxlog::to_string(d.fault) + ").";
            for (const auto& c : copies)
                *report += "\nThe damaged file was kept as " + c.string();
        }
    }
    return ok;
}

std::unique_ptr<LogTable> LogDatabase::openReadOnly(LogKind kind) { return openTable(kind, true); }

} // namespace app
