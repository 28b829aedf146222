#include "faxlog/log_tables.h"

#include "faxlog/table_error.h"
#include "faxlog/work_area.h"

#include <cctype>

namespace faxlog {
namespace {

FieldDef fld(const char* name, FieldType t, int width) { return FieldDef{name, t, width, 0, 0}; }

constexpr FieldType C = FieldType::Character;
constexpr FieldType L = FieldType::Logical;
constexpr FieldType D = FieldType::Date;
constexpr FieldType N = FieldType::Numeric;
constexpr FieldType M = FieldType::Memo;

const LogTableDef& sentDef() {
    // The rebuild's DATESENT takes the time too, so that a rebuilt log lists a day's
    // faxes newest first, as the tag made at open does.
    static const LogTableDef d{
        LogTableKind::Sent,
        "PVN.DBF",
        {fld("SUBJECT", C, 50), fld("SENT", L, 1), fld("DATESENT", D, 8), fld("TIMESENT", C, 5),
         fld("RECIPIENT", C, 35), fld("PHONE", C, 25), fld("PAGES", N, 2), fld("LASTRESULT", C, 100),
         fld("RTFCOVER", M, 10), fld("RTFDOC", M, 10)},
        {"DATESENT", "DTOS(DATESENT)+TIMESENT", kNotDeleted, true},
        {{"DATESENT", "DTOS(DATESENT)+TIMESENT", kNotDeleted, true},
         {"DATEND", "DTOS(DATESENT)+TIMESENT", kNotDeleted, false},
         {"SUBJECT", "UPPER(SUBJECT)", kNotDeleted, false},
         {"RECIPIENT", "UPPER(RECIPIENT)", kNotDeleted, false}},
        false};
    return d;
}

const LogTableDef& receivedDef() {
    static const LogTableDef d{
        LogTableKind::Received,
        "PVNREC.DBF",
        {fld("DATEREC", D, 8), fld("TIMEREC", C, 5), fld("FROM", C, 20), fld("PAGES", N, 2),
         fld("FAXFILE", C, 12), fld("NOTES", C, 60)},
        {"DATETIME", "DTOS(DATEREC)+TIMEREC", kNotDeleted, true},
        {{"DATETIME", "DTOS(DATEREC)+TIMEREC", kNotDeleted, true},
         {"DATEND", "DTOS(DATEREC)+TIMEREC", kNotDeleted, false},
         {"FROM", "UPPER(FROM)", kNotDeleted, true}},
        false};
    return d;
}

const LogTableDef& coverDef() {
    static const LogTableDef d{LogTableKind::Cover,
                               "PVNCOV.DBF",
                               {fld("DESCRIPT", C, 35), fld("COVER", M, 10)},
                               {"DESCRIPT", "DESCRIPT", kNotDeleted, false},
                               {{"DESCRIPT", "DESCRIPT", kNotDeleted, false}},
                               true};
    return d;
}

const LogTableDef& phoneDef() {
    static const LogTableDef d{LogTableKind::Phone,
                               "PVNPB.DBF",
                               {fld("NAME", C, 35), fld("PHONE", C, 25)},
                               {"NAME", "UPPER(NAME)", kNotDeleted, false},
                               {{"NAME", "UPPER(NAME)", kNotDeleted, false}},
                               true};
    return d;
}

} // namespace

const char* to_string(LogTableKind k) {
    switch (k) {
    case LogTableKind::Sent: return "sent";
    case LogTableKind::Received: return "received";
    case LogTableKind::Cover: return "covers";
    case LogTableKind::Phone: return "phonebook";
    }
    return "?";
}

const LogTableDef& logTableDef(LogTableKind k) {
    switch (k) {
    case LogTableKind::Sent: return sentDef();
    case LogTableKind::Received: return receivedDef();
    case LogTableKind::Cover: return coverDef();
    case LogTableKind::Phone: return phoneDef();
    }
    return sentDef();
}

const std::vector<LogTableKind>& allLogTables() {
    static const std::vector<LogTableKind> all = {LogTableKind::Sent, LogTableKind::Received,
                                                  LogTableKind::Cover, LogTableKind::Phone};
    return all;
}

bool createLogTable(DbeEngine& engine, const LogTableDef& def, const std::filesystem::path& dir,
                    std::string* error) {
    const auto path = dir / def.fileName;
    const int previous = engine.selected();
    bool ok = engine.dbe_CreateNew(path, "XXXXXXXXXX", kDriverFoxCdx, static_cast<int>(def.fields.size())) != 0;
    for (const auto& f : def.fields)
        ok = ok && engine.dbe_CreateField(f.name, std::string(1, typeLetter(f.type)), f.width, 0);
    ok = ok && engine.dbe_CreateExec() != 0;
    const std::string why = engine.dbe_LastError();
    if (ok)
        engine.dbe_Close();
    engine.dbe_Select(previous);
    ok = ok && std::filesystem::exists(path);
    if (!ok && error)
        *error = why.empty() ? path.string() + ": table was not created" : why;
    return ok;
}

namespace {

// What opening noticed and repaired on its own: records recovered beyond a short count,
// an index rebuilt or dropped.
void collectNotices(TDbeTable& t, std::vector<std::string>* notices) {
    WorkArea* area = t.engine().area(t.workArea());
    if (!notices || !area)
        return;
    if (!area->dbf().recoveryNote().empty())
        notices->push_back(area->dbf().recoveryNote());
    if (!area->indexes().repairNote().empty())
        notices->push_back(area->indexes().repairNote());
}

std::string canonical(std::string_view expression) {
    std::string out;
    for (char c : expression)
        if (c != ' ')
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool sameDefinition(const TableIndexes::Tag& have, const TagDef& want) {
    const cdx::TagInfo& info = have.cdx->info();
    return canonical(info.keyExpression) == canonical(want.key) &&
           canonical(info.forExpression) == canonical(want.condition) && info.descending == want.descending;
}

bool openLog(TDbeTable& t, LogTableKind kind, const std::filesystem::path& dir, int mode,
             std::string* error, std::vector<std::string>* notices) {
    const LogTableDef& def = logTableDef(kind);
    const auto path = dir / def.fileName;
    try {
        const bool created = !std::filesystem::exists(path);
        if (created) {
            if (mode == kModeReadOnly) {
                if (error)
                    *error = path.string() + ": no such table";
                return false;
            }
            if (!createLogTable(t.engine(), def, dir, error))
                return false;
        }
        t.use(path, mode);
        collectNotices(t, notices);
        WorkArea* area = t.engine().area(t.workArea());
        if (!area)
            throw TableError(path, "opened without a work area");
        if (created) {
            // A new log starts with every tag a rebuild would make: nothing to reindex.
            for (const TagDef& tag : def.rebuildTags)
                t.indexTag(tag.name, tag.key, tag.descending, tag.condition);
        } else if (area->indexes().damaged()) {
            // The damaged file's own tag list is not to be trusted: every tag this table
            // is defined with comes back.
            for (const TagDef& tag : def.rebuildTags)
                t.indexTag(tag.name, tag.key, tag.descending, tag.condition);
        } else {
            // A tag of ours whose definition in the file is not ours was damaged or made by
            // someone else: it is built again as defined.
            for (const TagDef& tag : def.rebuildTags) {
                const int order = t.tagArea(tag.name);
                if (order == 0 || sameDefinition(area->indexes()[static_cast<std::size_t>(order - 1)], tag))
                    continue;
                if (notices)
                    notices->push_back(area->indexes().path().string() + ": tag " + tag.name +
                                       " did not match its definition and was rebuilt");
                t.indexTag(tag.name, tag.key, tag.descending, tag.condition);
            }
            // A missing index file comes back with the one tag opening needs.
            if (t.tagArea(def.openTag.name) == 0)
                t.indexTag(def.openTag.name, def.openTag.key, def.openTag.descending, def.openTag.condition);
        }
        t.setOrder(0);
        t.goTop();
        t.query(kNotDeleted);
        if (def.orderAlways)
            t.setOrder(t.tagArea(def.openTag.name));
        else
            applyActiveOrder(t, kind);
        return true;
    } catch (const std::exception& e) {
        if (error)
            *error = e.what();
        t.close();
        return false;
    }
}

} // namespace

bool openLogTable(TDbeTable& t, LogTableKind kind, const std::filesystem::path& dir, std::string* error,
                  std::vector<std::string>* notices) {
    return openLog(t, kind, dir, kModeExclusive, error, notices);
}

bool openLogTableForReading(TDbeTable& t, LogTableKind kind, const std::filesystem::path& dir,
                            std::string* error, std::vector<std::string>* notices) {
    return openLog(t, kind, dir, kModeReadOnly, error, notices);
}

void applyActiveOrder(TDbeTable& t, LogTableKind kind) {
    const LogTableDef& def = logTableDef(kind);
    const int tag = t.tagArea(def.openTag.name);
    if (def.orderAlways) {
        if (t.indexOrd() != tag)
            t.setOrder(tag);
        return;
    }
    // "Has a record" is where the table stands, as the window's rules see it; it needs no
    // count of a big table.
    t.refresh();
    const bool hasRecords = t.hasRecord();
    if (!hasRecords && t.indexOrd() != 0) {
        t.setOrder(0);
    } else if (hasRecords && t.indexOrd() == 0 && tag != 0) {
        t.setOrder(tag);
        t.goTop();
    }
}

bool hasRebuildTags(TDbeTable& t) { return t.tagArea("DATEND") != 0; }

} // namespace faxlog
