#include "faxlog/dbe_table.h"

#include "faxlog/table_error.h"

namespace faxlog {

// Selects a work area for the life of one wrapper call.
class TDbeTable::Selection {
public:
    explicit Selection(TDbeTable& t) : engine_(t.engine_) {
        if (t.area_ == 0)
            throw TableError(t.path_.empty() ? std::string("table is not open") : t.path_.string() + ": table is not open");
        previous_ = engine_.dbe_Select(t.area_);
    }
    ~Selection() { engine_.dbe_Select(previous_); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    DbeEngine& engine_;
    int previous_ = 0;
};

TDbeEnv::TDbeEnv(DbeEngine& engine) : engine_(engine) {}

void TDbeEnv::start() {
    engine_.dbe_SetStringType(1);
    engine_.dbe_ErrorLevel(1);
    if (engine_.dbe_Version().empty())
        throw TableError("the table engine reports no version");
}

void TDbeEnv::setDeleted(bool skip) {
    engine_.dbe_SetDeleted(skip);
    deleted_ = skip;
}

void TDbeEnv::setSysProp(int property, long value) { engine_.dbe_SysProp(property, value); }

TDbeTable::~TDbeTable() {
    try {
        close();
    } catch (...) {
    }
}

void TDbeTable::fail(const std::string& operation) {
    const std::string& why = engine_.dbe_LastError();
    throw TableError(path_, operation + " failed" + (why.empty() ? std::string() : ": " + why));
}

void TDbeTable::check(bool ok, const char* operation) {
    if (!ok)
        fail(operation);
}

std::string TDbeTable::aliasFor(const std::filesystem::path& table, const DbeEngine& engine) {
    std::string base = table.stem().string().substr(0, 8);
    for (auto& c : base)
        if (c == '~' || c == '-' || c == ' ')
            c = '_';
    std::string alias = base;
    for (int k = 1; engine.dbe_WorkArea(alias) != 0; ++k)
        alias = base + "_" + std::to_string(k);
    return alias;
}

void TDbeTable::use(const std::filesystem::path& table, int mode, int driver) {
    close();
    const int previous = engine_.selected();
    const int area = engine_.dbe_Use(table, aliasFor(table, engine_), mode, driver);
    if (area == 0) {
        const std::string why = engine_.dbe_LastError();
        engine_.dbe_Select(previous);
        throw TableError(why.empty() ? table.string() + ": cannot open" : why);
    }
    engine_.dbe_Select(previous);
    area_ = area;
    path_ = table;
}

void TDbeTable::close() {
    if (area_ == 0)
        return;
    const int previous = engine_.dbe_Select(area_);
    engine_.dbe_Close();
    engine_.dbe_Select(previous == area_ ? 0 : previous);
    area_ = 0;
}


int TDbeTable::indexTag(std::string_view tag, std::string_view key, bool descending, std::string_view condition) {
    const Selection sel(*this);
    const int n = engine_.dbe_IndexTag("", tag, key, 0, descending, condition);
    check(n != 0, "creating index tag");
    return n;
}

int TDbeTable::tagArea(std::string_view tag) {
    const Selection sel(*this);
    return engine_.dbe_TagArea(tag);
}

std::string TDbeTable::tagName(int order) {
    const Selection sel(*this);
    return engine_.dbe_TagName(order);
}

int TDbeTable::indexOrd() {
    const Selection sel(*this);
    return engine_.dbe_IndexOrd();
}

void TDbeTable::setOrder(int order) {
    const Selection sel(*this);
    engine_.dbe_SetOrder(order);
    check(engine_.dbe_LastError().empty(), "selecting the index order");
}

void TDbeTable::closeIndexes() {
    const Selection sel(*this);
    engine_.dbe_CloseIndexes();
    check(engine_.dbe_LastError().empty(), "closing the indexes");
}

void TDbeTable::indexOpen() {
    const Selection sel(*this);
    engine_.dbe_IndexOpen("");
    check(engine_.dbe_LastError().empty(), "opening the indexes");
}

void TDbeTable::query(std::string_view expression) {
    const Selection sel(*this);
    check(engine_.dbe_Query(expression), "setting the query");
}

long TDbeTable::queryRecCount() {
    const Selection sel(*this);
    return engine_.dbe_QueryRecCount();
}

std::string TDbeTable::dbFilter() {
    const Selection sel(*this);
    return engine_.dbe_DBFilter();
}

void TDbeTable::setScope(std::optional<std::string> top, std::optional<std::string> bottom) {
    const Selection sel(*this);
    check(engine_.dbe_SetScope(std::move(top), std::move(bottom)), "setting the scope");
}

bool TDbeTable::go(long recno) {
    const Selection sel(*this);
    return engine_.dbe_Go(recno);
}

void TDbeTable::goTop() {
    const Selection sel(*this);
    engine_.dbe_GoTop();
    check(engine_.dbe_LastError().empty(), "moving to the first record");
}

void TDbeTable::goBottom() {
    const Selection sel(*this);
    engine_.dbe_GoBottom();
    check(engine_.dbe_LastError().empty(), "moving to the last record");
}

void TDbeTable::skip(long n) {
    const Selection sel(*this);
    engine_.dbe_Skip(n);
    check(engine_.dbe_LastError().empty(), "moving to another record");
}

bool TDbeTable::bof() {
    const Selection sel(*this);
    return engine_.dbe_Bof();
}

bool TDbeTable::eof() {
    const Selection sel(*this);
    return engine_.dbe_Eof();
}

long TDbeTable::recNo() {
    const Selection sel(*this);
    return engine_.dbe_RecNo();
}

long TDbeTable::recCount() {
    const Selection sel(*this);
    return engine_.dbe_RecCount();
}

bool TDbeTable::seek(std::string_view key) {
    const Selection sel(*this);
    const bool found = engine_.dbe_Seek(key);
    check(found || engine_.dbe_LastError().empty(), "seeking");
    return found;
}

void TDbeTable::refresh() {
    const Selection sel(*this);
    engine_.dbe_Refresh();
    check(engine_.dbe_LastError().empty(), "refreshing the position");
}

bool TDbeTable::hasRecord() {
    const Selection sel(*this);
    return engine_.dbe_RecNo() != engine_.dbe_RecCount() + 1;
}

void TDbeTable::appendBlank() {
    const Selection sel(*this);
    check(engine_.dbe_AppendBlank(), "appending a record");
}

std::string TDbeTable::getRecord() {
    const Selection sel(*this);
    return engine_.dbe_GetRecord();
}

void TDbeTable::putRecord(std::string_view record) {
    const Selection sel(*this);
    check(engine_.dbe_PutRecord(record), "writing the record");
}

void TDbeTable::deleteRecord() {
    const Selection sel(*this);
    check(engine_.dbe_Delete(), "deleting the record");
}

void TDbeTable::recall() {
    const Selection sel(*this);
    check(engine_.dbe_Recall(), "recalling the record");
}

bool TDbeTable::deleted() {
    const Selection sel(*this);
    return engine_.dbe_Deleted();
}

bool TDbeTable::rlock(long recno) {
    const Selection sel(*this);
    return engine_.dbe_Rlock(recno);
}

void TDbeTable::unlock(long recno) {
    const Selection sel(*this);
    engine_.dbe_Unlock(recno);
}

void TDbeTable::commit() {
    const Selection sel(*this);
    check(engine_.dbe_Commit(), "saving the table");
}

bool TDbeTable::evalLogical(std::string_view expression) {
    const Selection sel(*this);
    const bool v = engine_.dbe_EvalLogical(expression);
    check(v || engine_.dbe_LastError().empty(), "evaluating the expression");
    return v;
}

void TDbeTable::pack() {
    const Selection sel(*this);
    check(engine_.dbe_Pack(), "packing the table");
}

int TDbeTable::fieldCount() {
    const Selection sel(*this);
    return engine_.dbe_FieldCount();
}

std::string TDbeTable::fieldName(int index) {
    const Selection sel(*this);
    return engine_.dbe_FieldName(index);
}

char TDbeTable::fieldType(std::string_view field) {
    const Selection sel(*this);
    const char t = engine_.dbe_FieldType(field);
    check(engine_.dbe_LastError().empty(), "reading the field type");
    return t;
}

int TDbeTable::fieldWidth(std::string_view field) {
    const Selection sel(*this);
    return engine_.dbe_FieldWidth(field);
}

int TDbeTable::fieldDecimals(std::string_view field) {
    const Selection sel(*this);
    return engine_.dbe_FieldDecimals(field);
}

std::string TDbeTable::getString(std::string_view field) {
    const Selection sel(*this);
    std::string s = engine_.dbe_GetString(field);
    check(engine_.dbe_LastError().empty(), "reading a field");
    return s;
}

std::string TDbeTable::getTrimString(std::string_view field) {
    const Selection sel(*this);
    std::string s = engine_.dbe_GetTrimString(field);
    check(engine_.dbe_LastError().empty(), "reading a field");
    return s;
}

long TDbeTable::getInteger(std::string_view field) {
    const Selection sel(*this);
    const long v = engine_.dbe_GetInteger(field);
    check(engine_.dbe_LastError().empty(), "reading a field");
    return v;
}

double TDbeTable::getDouble(std::string_view field) {
    const Selection sel(*this);
    const double v = engine_.dbe_GetDouble(field);
    check(engine_.dbe_LastError().empty(), "reading a field");
    return v;
}

bool TDbeTable::getLogical(std::string_view field) {
    const Selection sel(*this);
    const bool v = engine_.dbe_GetLogical(field);
    check(engine_.dbe_LastError().empty(), "reading a field");
    return v;
}

XDate TDbeTable::getDate(std::string_view field) {
    const Selection sel(*this);
    const XDate v = engine_.dbe_GetDate(field);
    check(engine_.dbe_LastError().empty(), "reading a field");
    return v;
}

std::string TDbeTable::getMemo(std::string_view field) {
    const Selection sel(*this);
    std::string s = engine_.dbe_GetMemo(field);
    check(engine_.dbe_LastError().empty(), "reading a memo");
    return s;
}

void TDbeTable::replace(std::string_view field, std::string_view text) {
    const Selection sel(*this);
    check(engine_.dbe_Replace(field, text), "changing a field");
}

void TDbeTable::replaceNumber(std::string_view field, std::optional<double> value) {
    const Selection sel(*this);
    check(engine_.dbe_ReplaceNumber(field, value), "changing a field");
}

void TDbeTable::replaceLogical(std::string_view field, bool value) {
    const Selection sel(*this);
    check(engine_.dbe_ReplaceLogical(field, value), "changing a field");
}

void TDbeTable::replaceDate(std::string_view field, const XDate& value) {
    const Selection sel(*this);
    check(engine_.dbe_ReplaceDate(field, value), "changing a field");
}

void TDbeTable::replaceMemo(std::string_view field, std::string_view bytes) {
    const Selection sel(*this);
    check(engine_.dbe_ReplaceMemo(field, bytes), "changing a memo");
}

void TDbeTable::replaceFromFile(std::string_view field, const std::filesystem::path& file) {
    const Selection sel(*this);
    check(engine_.dbe_Replace(field, kReplaceBlobFile, file.string()), "loading a memo from a file");
}

bool TDbeTable::blobToFile(std::string_view field, const std::filesystem::path& file) {
    const Selection sel(*this);
    return engine_.dbe_BlobToFile(field, file);
}

std::size_t TDbeTable::rowCount() {
    const Selection sel(*this);
    WorkArea* a = engine_.currentArea();
    return a ? a->visibleCount() : 0;
}

long TDbeTable::rowRecNo(std::size_t row) {
    const Selection sel(*this);
    WorkArea* a = engine_.currentArea();
    return a ? static_cast<long>(a->visibleRecno(row)) : 0;
}

std::optional<std::size_t> TDbeTable::rowOf(long recno) {
    const Selection sel(*this);
    WorkArea* a = engine_.currentArea();
    if (!a || recno < 1)
        return std::nullopt;
    return a->positionOf(static_cast<std::uint32_t>(recno));
}


} // namespace faxlog
