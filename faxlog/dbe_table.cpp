#include "faxlog/apollo.h"

#include "faxlog/table_error.h"

namespace faxlog {

// Selects a work area for the life of one wrapper call.
class TApollo::Selection {
public:
    explicit Selection(TApollo& t) : engine_(t.engine_) {
        if (t.area_ == 0)
            throw TableError(t.path_.empty() ? std::string("table is not open") : t.path_.string() + ": table is not open");
        previous_ = engine_.sx_Select(t.area_);
    }
    ~Selection() { engine_.sx_Select(previous_); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    SxEngine& engine_;
    int previous_ = 0;
};

TApolloEnv::TApolloEnv(SxEngine& engine) : engine_(engine) {}

void TApolloEnv::start() {
    engine_.sx_SetStringType(1);
    engine_.sx_ErrorLevel(1);
    if (engine_.sx_Version().empty())
        throw TableError("the table engine reports no version");
}

void TApolloEnv::setDeleted(bool skip) {
    engine_.sx_SetDeleted(skip);
    deleted_ = skip;
}

void TApolloEnv::setSysProp(int property, long value) { engine_.sx_SysProp(property, value); }

TApollo::~TApollo() {
    try {
        close();
    } catch (...) {
    }
}

void TApollo::fail(const std::string& operation) {
    const std::string& why = engine_.sx_LastError();
    throw TableError(path_, operation + " failed" + (why.empty() ? std::string() : ": " + why));
}

void TApollo::check(bool ok, const char* operation) {
    if (!ok)
        fail(operation);
}

std::string TApollo::aliasFor(const std::filesystem::path& table, const SxEngine& engine) {
    std::string base = table.stem().string().substr(0, 8);
    for (auto& c : base)
        if (c == '~' || c == '-' || c == ' ')
            c = '_';
    std::string alias = base;
    for (int k = 1; engine.sx_WorkArea(alias) != 0; ++k)
        alias = base + "_" + std::to_string(k);
    return alias;
}

void TApollo::use(const std::filesystem::path& table, int mode, int driver) {
    close();
    const int previous = engine_.selected();
    const int area = engine_.sx_Use(table, aliasFor(table, engine_), mode, driver);
    if (area == 0) {
        const std::string why = engine_.sx_LastError();
        engine_.sx_Select(previous);
        throw TableError(why.empty() ? table.string() + ": cannot open" : why);
    }
    engine_.sx_Select(previous);
    area_ = area;
    path_ = table;
}

void TApollo::close() {
    if (area_ == 0)
        return;
    const int previous = engine_.sx_Select(area_);
    engine_.sx_Close();
    engine_.sx_Select(previous == area_ ? 0 : previous);
    area_ = 0;
}


int TApollo::indexTag(std::string_view tag, std::string_view key, bool descending, std::string_view condition) {
    const Selection sel(*this);
    const int n = engine_.sx_IndexTag("", tag, key, 0, descending, condition);
    check(n != 0, "creating index tag");
    return n;
}

int TApollo::tagArea(std::string_view tag) {
    const Selection sel(*this);
    return engine_.sx_TagArea(tag);
}

std::string TApollo::tagName(int order) {
    const Selection sel(*this);
    return engine_.sx_TagName(order);
}

int TApollo::indexOrd() {
    const Selection sel(*this);
    return engine_.sx_IndexOrd();
}

void TApollo::setOrder(int order) {
    const Selection sel(*this);
    engine_.sx_SetOrder(order);
    check(engine_.sx_LastError().empty(), "selecting the index order");
}

void TApollo::closeIndexes() {
    const Selection sel(*this);
    engine_.sx_CloseIndexes();
    check(engine_.sx_LastError().empty(), "closing the indexes");
}

void TApollo::indexOpen() {
    const Selection sel(*this);
    engine_.sx_IndexOpen("");
    check(engine_.sx_LastError().empty(), "opening the indexes");
}

void TApollo::query(std::string_view expression) {
    const Selection sel(*this);
    check(engine_.sx_Query(expression), "setting the query");
}

long TApollo::queryRecCount() {
    const Selection sel(*this);
    return engine_.sx_QueryRecCount();
}

std::string TApollo::dbFilter() {
    const Selection sel(*this);
    return engine_.sx_DBFilter();
}

void TApollo::setScope(std::optional<std::string> top, std::optional<std::string> bottom) {
    const Selection sel(*this);
    check(engine_.sx_SetScope(std::move(top), std::move(bottom)), "setting the scope");
}

bool TApollo::go(long recno) {
    const Selection sel(*this);
    return engine_.sx_Go(recno);
}

void TApollo::goTop() {
    const Selection sel(*this);
    engine_.sx_GoTop();
    check(engine_.sx_LastError().empty(), "moving to the first record");
}

void TApollo::goBottom() {
    const Selection sel(*this);
    engine_.sx_GoBottom();
    check(engine_.sx_LastError().empty(), "moving to the last record");
}

void TApollo::skip(long n) {
    const Selection sel(*this);
    engine_.sx_Skip(n);
    check(engine_.sx_LastError().empty(), "moving to another record");
}

bool TApollo::bof() {
    const Selection sel(*this);
    return engine_.sx_Bof();
}

bool TApollo::eof() {
    const Selection sel(*this);
    return engine_.sx_Eof();
}

long TApollo::recNo() {
    const Selection sel(*this);
    return engine_.sx_RecNo();
}

long TApollo::recCount() {
    const Selection sel(*this);
    return engine_.sx_RecCount();
}

bool TApollo::seek(std::string_view key) {
    const Selection sel(*this);
    const bool found = engine_.sx_Seek(key);
    check(found || engine_.sx_LastError().empty(), "seeking");
    return found;
}

void TApollo::refresh() {
    const Selection sel(*this);
    engine_.sx_Refresh();
    check(engine_.sx_LastError().empty(), "refreshing the position");
}

bool TApollo::hasRecord() {
    const Selection sel(*this);
    return engine_.sx_RecNo() != engine_.sx_RecCount() + 1;
}

void TApollo::appendBlank() {
    const Selection sel(*this);
    check(engine_.sx_AppendBlank(), "appending a record");
}

std::string TApollo::getRecord() {
    const Selection sel(*this);
    return engine_.sx_GetRecord();
}

void TApollo::putRecord(std::string_view record) {
    const Selection sel(*this);
    check(engine_.sx_PutRecord(record), "writing the record");
}

void TApollo::deleteRecord() {
    const Selection sel(*this);
    check(engine_.sx_Delete(), "deleting the record");
}

void TApollo::recall() {
    const Selection sel(*this);
    check(engine_.sx_Recall(), "recalling the record");
}

bool TApollo::deleted() {
    const Selection sel(*this);
    return engine_.sx_Deleted();
}

bool TApollo::rlock(long recno) {
    const Selection sel(*this);
    return engine_.sx_Rlock(recno);
}

void TApollo::unlock(long recno) {
    const Selection sel(*this);
    engine_.sx_Unlock(recno);
}

void TApollo::commit() {
    const Selection sel(*this);
    check(engine_.sx_Commit(), "saving the table");
}

bool TApollo::evalLogical(std::string_view expression) {
    const Selection sel(*this);
    const bool v = engine_.sx_EvalLogical(expression);
    check(v || engine_.sx_LastError().empty(), "evaluating the expression");
    return v;
}

void TApollo::pack() {
    const Selection sel(*this);
    check(engine_.sx_Pack(), "packing the table");
}

int TApollo::fieldCount() {
    const Selection sel(*this);
    return engine_.sx_FieldCount();
}

std::string TApollo::fieldName(int index) {
    const Selection sel(*this);
    return engine_.sx_FieldName(index);
}

char TApollo::fieldType(std::string_view field) {
    const Selection sel(*this);
    const char t = engine_.sx_FieldType(field);
    check(engine_.sx_LastError().empty(), "reading the field type");
    return t;
}

int TApollo::fieldWidth(std::string_view field) {
    const Selection sel(*this);
    return engine_.sx_FieldWidth(field);
}

int TApollo::fieldDecimals(std::string_view field) {
    const Selection sel(*this);
    return engine_.sx_FieldDecimals(field);
}

std::string TApollo::getString(std::string_view field) {
    const Selection sel(*this);
    std::string s = engine_.sx_GetString(field);
    check(engine_.sx_LastError().empty(), "reading a field");
    return s;
}

std::string TApollo::getTrimString(std::string_view field) {
    const Selection sel(*this);
    std::string s = engine_.sx_GetTrimString(field);
    check(engine_.sx_LastError().empty(), "reading a field");
    return s;
}

long TApollo::getInteger(std::string_view field) {
    const Selection sel(*this);
    const long v = engine_.sx_GetInteger(field);
    check(engine_.sx_LastError().empty(), "reading a field");
    return v;
}

double TApollo::getDouble(std::string_view field) {
    const Selection sel(*this);
    const double v = engine_.sx_GetDouble(field);
    check(engine_.sx_LastError().empty(), "reading a field");
    return v;
}

bool TApollo::getLogical(std::string_view field) {
    const Selection sel(*this);
    const bool v = engine_.sx_GetLogical(field);
    check(engine_.sx_LastError().empty(), "reading a field");
    return v;
}

XDate TApollo::getDate(std::string_view field) {
    const Selection sel(*this);
    const XDate v = engine_.sx_GetDate(field);
    check(engine_.sx_LastError().empty(), "reading a field");
    return v;
}

std::string TApollo::getMemo(std::string_view field) {
    const Selection sel(*this);
    std::string s = engine_.sx_GetMemo(field);
    check(engine_.sx_LastError().empty(), "reading a memo");
    return s;
}

void TApollo::replace(std::string_view field, std::string_view text) {
    const Selection sel(*this);
    check(engine_.sx_Replace(field, text), "changing a field");
}

void TApollo::replaceNumber(std::string_view field, std::optional<double> value) {
    const Selection sel(*this);
    check(engine_.sx_ReplaceNumber(field, value), "changing a field");
}

void TApollo::replaceLogical(std::string_view field, bool value) {
    const Selection sel(*this);
    check(engine_.sx_ReplaceLogical(field, value), "changing a field");
}

void TApollo::replaceDate(std::string_view field, const XDate& value) {
    const Selection sel(*this);
    check(engine_.sx_ReplaceDate(field, value), "changing a field");
}

void TApollo::replaceMemo(std::string_view field, std::string_view bytes) {
    const Selection sel(*this);
    check(engine_.sx_ReplaceMemo(field, bytes), "changing a memo");
}

void TApollo::replaceFromFile(std::string_view field, const std::filesystem::path& file) {
    const Selection sel(*this);
    check(engine_.sx_Replace(field, kReplaceBlobFile, file.string()), "loading a memo from a file");
}

bool TApollo::blobToFile(std::string_view field, const std::filesystem::path& file) {
    const Selection sel(*this);
    return engine_.sx_BlobToFile(field, file);
}

std::size_t TApollo::rowCount() {
    const Selection sel(*this);
    WorkArea* a = engine_.currentArea();
    return a ? a->visibleCount() : 0;
}

long TApollo::rowRecNo(std::size_t row) {
    const Selection sel(*this);
    WorkArea* a = engine_.currentArea();
    return a ? static_cast<long>(a->visibleRecno(row)) : 0;
}

std::optional<std::size_t> TApollo::rowOf(long recno) {
    const Selection sel(*this);
    WorkArea* a = engine_.currentArea();
    if (!a || recno < 1)
        return std::nullopt;
    return a->positionOf(static_cast<std::uint32_t>(recno));
}


} // namespace faxlog
