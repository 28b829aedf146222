#include "faxlog_table.h"

#include "faxlog/codepage.h"
#include "faxlog/dbf_record.h"
#include "faxlog/sx_engine.h"
#include "faxlog/table_error.h"
#include "faxlog/work_area.h"
#include "settings/program_directory.h"

#include <cmath>

namespace app {

namespace {

constexpr const char* kNotDeleted = ".not. deleted()";

struct FieldSpec {
    const char* name;
    const char* type;
    int width;
};

struct TableSpec {
    const char* file;
    const char* alias;
    const char* cdx;
    const char* tag;
    const char* key;
    std::vector<FieldSpec> fields;
};

const TableSpec& specFor(LogKind kind) {
    static const TableSpec sent{"PVN.DBF",
                                "PVN",
                                "PVN.CDX",
                                "DATESENT",
                                "DTOS(DATESENT)+TIMESENT",
                                {{"SUBJECT", "C", 50},
                                 {"SENT", "L", 1},
                                 {"DATESENT", "D", 8},
                                 {"TIMESENT", "C", 5},
                                 {"RECIPIENT", "C", 35},
                                 {"PHONE", "C", 25},
                                 {"PAGES", "N", 2},
                                 {"LASTRESULT", "C", 100},
                                 {"RTFCOVER", "M", 10},
                                 {"RTFDOC", "M", 10}}};
    static const TableSpec received{"PVNREC.DBF",
                                    "PVNREC",
                                    "PVNREC.CDX",
                                    "DATETIME",
                                    "DTOS(DATEREC)+TIMEREC",
                                    {{"DATEREC", "D", 8},
                                     {"TIMEREC", "C", 5},
                                     {"FROM", "C", 20},
                                     {"PAGES", "N", 2},
                                     {"FAXFILE", "C", 12},
                                     {"NOTES", "C", 60}}};
    switch (kind) {
    case LogKind::Sent:
        return sent;
    case LogKind::Received:
        return received;
    }
    return sent;
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

} // namespace

// One open log table in its work area. Every engine call selects the table's area first
// and restores the previous one, so the tables never disturb each other.
class FaxlogTable : public LogTable {
public:
    FaxlogTable(LogDatabase& db, LogKind kind, int area) : db_(db), kind_(kind), area_(area) {}
    ~FaxlogTable() override { close(); }

    LogKind kind() const override { return kind_; }
    bool isOpen() const override { return area_ != 0 && db_.engine().area(area_) != nullptr; }

    bool indexOrderActive() override { return isOpen() && wa().order() != 0; }
    void useNaturalOrder() override {
        if (isOpen())
            wa().setOrder(0);
    }
    void useDateOrder() override {
        Selected s(*this);
        const int order = db_.engine().sx_TagArea(specFor(kind_).tag);
        if (order > 0)
            db_.engine().sx_SetOrder(order);
        db_.engine().sx_GoTop();
    }
    bool hasTag(std::string_view tag) override {
        Selected s(*this);
        return db_.engine().sx_TagArea(tag) > 0;
    }

    int rowCount() override { return isOpen() ? int(wa().visibleCount()) : 0; }
    std::string field(int row, std::string_view name) override {
        if (!isOpen() || row < 0 || row >= rowCount())
            return {};
        faxlog::WorkArea& area = wa();
        const int index = area.schema().indexOf(name);
        if (index < 0)
            return {};
        const std::uint32_t recno = area.visibleRecno(std::size_t(row));
        return fieldText(area.dbf().record(recno), area.schema()[std::size_t(index)]);
    }

    bool hasCurrentRecord() override {
        if (!isOpen())
            return false;
        faxlog::WorkArea& area = wa();
        return !area.eof() && area.recno() >= 1 && area.recno() <= area.recordCount();
    }
    int currentRow() override {
        if (!hasCurrentRecord())
            return -1;
        const auto pos = wa().positionOf(wa().recno());
        return pos ? int(*pos) : -1;
    }
    void setCurrentRow(int row) override {
        if (!isOpen() || row < 0 || row >= rowCount())
            return;
        wa().go(wa().visibleRecno(std::size_t(row)));
    }
    std::string currentField(std::string_view name) override {
        if (!hasCurrentRecord())
            return {};
        const int index = wa().schema().indexOf(name);
        if (index < 0)
            return {};
        return fieldText(wa().currentRecord(), wa().schema()[std::size_t(index)]);
    }
    void deleteCurrent() override {
        if (!hasCurrentRecord())
            return;
        faxlog::WorkArea& area = wa();
        const int row = currentRow();
        area.setDeleted(true);
        area.commit();
        // Stay where the user was: the next row, or the last one when it was the last.
        const int rows = rowCount();
        if (rows == 0)
            area.go(0);
        else
            area.go(area.visibleRecno(std::size_t(std::clamp(row, 0, rows - 1))));
    }

    bool reopen() override {
        const std::uint32_t recno = isOpen() ? wa().recno() : 0;
        close();
        area_ = db_.openArea(kind_);
        if (!isOpen())
            return false;
        if (recno > 0 && wa().positionOf(recno))
            wa().go(recno);
        return true;
    }
    void close() override {
        if (!isOpen())
            return;
        Selected s(*this);
        db_.engine().sx_Commit();
        db_.engine().sx_Close();
        area_ = 0;
    }

private:
    // Selects the table's work area for the length of one call.
    struct Selected {
        explicit Selected(FaxlogTable& t) : engine(t.db_.engine()), previous(engine.sx_Select(t.area_)) {}
        ~Selected() { engine.sx_Select(previous); }
        faxlog::SxEngine& engine;
        int previous;
    };

    faxlog::WorkArea& wa() const { return *db_.engine().area(area_); }

    LogDatabase& db_;
    LogKind kind_;
    int area_;
};

LogDatabase::LogDatabase(std::filesystem::path programDir)
    : programDir_(std::move(programDir)), engine_(std::make_unique<faxlog::SxEngine>()) {
    engine_->sx_SetStringType(1);
    engine_->sx_ErrorLevel(1);
    engine_->sx_SetDeleted(true);
    engine_->sx_SysProp(1009, 0);
}

LogDatabase::~LogDatabase() = default;

int LogDatabase::openArea(LogKind kind) {
    const TableSpec& spec = specFor(kind);
    faxlog::SxEngine& sx = *engine_;
    const auto fail = [&](const std::string& why) {
        lastError_ = why.empty() ? sx.sx_LastError() : why;
        return 0;
    };
    try {
        const auto path = settings::findFileNoCase(programDir_, spec.file);
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            if (!sx.sx_CreateNew(path, spec.alias, faxlog::kDriverFoxCdx, int(spec.fields.size())))
                return fail({});
            for (const FieldSpec& f : spec.fields)
                sx.sx_CreateField(f.name, f.type, f.width, 0);
            if (!sx.sx_CreateExec())
                return fail({});
            sx.sx_Close();
            if (!std::filesystem::exists(path, ec))
                return fail(path.string() + ": not created");
        }
        const bool hadIndex = std::filesystem::exists(settings::findFileNoCase(programDir_, spec.cdx), ec);
        const int area = sx.sx_Use(path, spec.alias, faxlog::kModeExclusive, faxlog::kDriverFoxCdx);
        if (area == 0)
            return fail({});
        if (!hadIndex && !sx.sx_IndexTag("", spec.tag, spec.key, 0, true, kNotDeleted)) {
            const std::string why = sx.sx_LastError();
            sx.sx_Close();
            return fail(why);
        }
        if (kind == LogKind::Sent)
            sx.sx_GoTop();
        if (!sx.sx_Query(kNotDeleted)) {
            const std::string why = sx.sx_LastError();
            sx.sx_Close();
            return fail(why);
        }
        return area;
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

std::unique_ptr<LogTable> LogDatabase::open(LogKind kind) {
    const int area = openArea(kind);
    if (area == 0)
        return nullptr;
    return std::make_unique<FaxlogTable>(*this, kind, area);
}

} // namespace app
