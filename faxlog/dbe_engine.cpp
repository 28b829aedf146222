#include "faxlog/dbe_engine.h"

#include "faxlog/codepage.h"
#include "faxlog/dbf_record.h"
#include "faxlog/fpt_file.h"
#include "faxlog/table_error.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <sstream>
#include <utility>

namespace faxlog {
namespace {

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

std::string rtrim(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

} // namespace

DbeEngine::~DbeEngine() { dbe_CloseAll(); }

template <typename T, typename F>
T DbeEngine::guarded(T fallback, F&& body) {
    try {
        lastError_.clear();
        return body();
    } catch (const std::exception& e) {
        lastError_ = e.what();
        if (errorLevel_ >= 2)
            throw;
        return fallback;
    }
}

WorkArea& DbeEngine::cur() {
    const auto it = areas_.find(current_);
    if (it == areas_.end())
        throw TableError("no table is open in work area " + std::to_string(current_));
    return *it->second;
}

WorkArea* DbeEngine::currentArea() { return area(current_); }

WorkArea* DbeEngine::area(int n) {
    const auto it = areas_.find(n);
    return it == areas_.end() ? nullptr : it->second.get();
}

int DbeEngine::field(std::string_view name) {
    const int i = cur().schema().indexOf(name);
    if (i < 0)
        throw TableError(cur().dbf().path(), "no field named " + std::string(name));
    return i;
}

// ---------------------------------------------------------------- engine

std::string DbeEngine::dbe_Version() const { return "Parvane DBF engine 1.0 (FoxPro 2.x DBF/CDX/FPT)"; }

int DbeEngine::dbe_SetStringType(int type) { return std::exchange(stringType_, type); }

int DbeEngine::dbe_ErrorLevel(int level) { return std::exchange(errorLevel_, level); }

bool DbeEngine::dbe_SetDeleted(bool skip) {
    const bool old = switches_.skipDeleted;
    if (old != skip) {
        switches_.skipDeleted = skip;
        ++switches_.generation;
    }
    return old;
}

long DbeEngine::dbe_SysProp(int property, long value) {
    long& slot = sysProps_[property];
    return std::exchange(slot, value);
}

// ---------------------------------------------------------------- work areas

int DbeEngine::dbe_Select(int area) { return std::exchange(current_, area); }

int DbeEngine::dbe_WorkArea(std::string_view alias) const {
    for (const auto& [n, a] : areas_)
        if (sameName(a->alias(), alias))
            return n;
    return 0;
}

int DbeEngine::dbe_Use(const std::filesystem::path& path, std::string_view alias, int mode, int driver) {
    return guarded(0, [&] {
        if (driver != kDriverFoxCdx)
            throw TableError(path, "driver " + std::to_string(driver) + " is not supported");
        if (mode < kModeShared || mode > kModeExclusive)
            throw TableError(path, "unknown open mode " + std::to_string(mode));
        std::string name(alias);
        if (name.empty())
            name = path.stem().string();
        if (dbe_WorkArea(name))
            throw TableError(path, "alias " + name + " is in use");
        int n = 1;
        while (areas_.count(n))
            ++n;
        areas_[n] = std::make_unique<WorkArea>(path, name, static_cast<OpenMode>(mode), switches_);
        current_ = n;
        // Opened, with a note on what opening repaired.
        const std::string& recovered = areas_[n]->dbf().recoveryNote();
        const std::string& note = areas_[n]->indexes().repairNote();
        if (!recovered.empty())
            lastError_ = recovered;
        else if (!note.empty())
            lastError_ = note;
        return n;
    });
}

void DbeEngine::dbe_Close() {
    guarded(0, [&] {
        areas_.erase(current_);
        return 0;
    });
}

void DbeEngine::dbe_CloseAll() {
    areas_.clear();
    create_.reset();
}

// ---------------------------------------------------------------- create

int DbeEngine::dbe_CreateNew(const std::filesystem::path& path, std::string_view alias, int driver, int fieldCount) {
    return guarded(0, [&] {
        if (driver != kDriverFoxCdx)
            throw TableError(path, "driver " + std::to_string(driver) + " is not supported");
        if (fieldCount < 1)
            throw TableError(path, "a table needs at least one field");
        create_ = PendingCreate{path, std::string(alias), {}};
        create_->fields.reserve(static_cast<std::size_t>(fieldCount));
        return 1;
    });
}

bool DbeEngine::dbe_CreateField(std::string_view name, std::string_view type, int width, int decimals) {
    return guarded(false, [&] {
        if (!create_)
            throw TableError("dbe_CreateField without dbe_CreateNew");
        const auto t = type.empty() ? std::nullopt : fieldTypeFromLetter(type[0]);
        if (!t)
            throw TableError(create_->path, "unknown field type '" + std::string(type) + "'");
        create_->fields.push_back({std::string(name), *t, width, decimals, 0});
        return true;
    });
}

int DbeEngine::dbe_CreateExec() {
    return guarded(0, [&] {
        if (!create_)
            throw TableError("dbe_CreateExec without dbe_CreateNew");
        PendingCreate c = std::move(*create_);
        create_.reset();
        Schema schema;
        try {
            schema = Schema(c.fields);
        } catch (const std::invalid_argument& e) {
            throw TableError(c.path, e.what());
        }
        if (std::filesystem::exists(c.path))
            throw TableError(c.path, "already exists");
        const auto memo = memoPathFor(c.path);
        if (schema.hasMemo())
            FptFile::create(memo);
        try {
            DbfFile::create(c.path, schema);
        } catch (...) {
            std::error_code ec;
            if (schema.hasMemo())
                std::filesystem::remove(memo, ec);
            throw;
        }
        std::string alias = c.alias.empty() ? c.path.stem().string() : c.alias;
        for (int k = 1; dbe_WorkArea(alias); ++k)
            alias = c.alias + "_" + std::to_string(k);
        int n = 1;
        while (areas_.count(n))
            ++n;
        areas_[n] = std::make_unique<WorkArea>(c.path, alias, OpenMode::Exclusive, switches_);
        current_ = n;
        return n;
    });
}

// ---------------------------------------------------------------- indexes

int DbeEngine::dbe_IndexTag(std::string_view file, std::string_view tag, std::string_view key, int option,
                          bool descending, std::string_view condition) {
    return guarded(0, [&] {
        if (!file.empty() && !sameName(std::filesystem::path(file).stem().string(),
                                       cur().dbf().path().stem().string()))
            throw TableError(std::filesystem::path(file), "only the table's own compound index is supported");
        if (option != 0)
            throw TableError(cur().dbf().path(), "index option " + std::to_string(option) + " is not supported");
        return cur().createTag({std::string(tag), std::string(key), std::string(condition), descending});
    });
}

int DbeEngine::dbe_TagArea(std::string_view tag) {
    return guarded(0, [&] { return cur().indexes().find(tag); });
}

std::string DbeEngine::dbe_TagName(int order) {
    return guarded(std::string(), [&] {
        auto& ix = cur().indexes();
        if (order < 1 || order > static_cast<int>(ix.size()))
            return std::string();
        return ix[static_cast<std::size_t>(order - 1)].cdx->info().name;
    });
}

int DbeEngine::dbe_TagCount() {
    return guarded(0, [&] { return static_cast<int>(cur().indexes().size()); });
}

int DbeEngine::dbe_IndexOrd() {
    return guarded(0, [&] { return cur().order(); });
}

int DbeEngine::dbe_SetOrder(int order) {
    return guarded(0, [&] {
        const int old = cur().order();
        cur().setOrder(order);
        return old;
    });
}

int DbeEngine::dbe_IndexOpen(std::string_view) {
    return guarded(0, [&] {
        cur().openIndexes();
        return static_cast<int>(cur().indexes().size());
    });
}

void DbeEngine::dbe_CloseIndexes() {
    guarded(0, [&] {
        cur().closeIndexes();
        return 0;
    });
}

// ---------------------------------------------------------------- views

bool DbeEngine::dbe_Query(std::string_view expression) {
    return guarded(false, [&] {
        cur().setQuery(expression);
        return true;
    });
}

long DbeEngine::dbe_QueryRecCount() {
    return guarded(0L, [&] { return static_cast<long>(cur().visibleCount()); });
}

std::string DbeEngine::dbe_DBFilter() {
    return guarded(std::string(), [&] { return cur().queryText(); });
}

bool DbeEngine::dbe_SetScope(std::optional<std::string> top, std::optional<std::string> bottom) {
    return guarded(false, [&] {
        cur().setScope(std::move(top), std::move(bottom));
        return true;
    });
}

// ---------------------------------------------------------------- navigation

bool DbeEngine::dbe_Go(long recno) {
    return guarded(false, [&] {
        return recno >= 1 && recno <= static_cast<long>(UINT32_MAX) && cur().go(static_cast<std::uint32_t>(recno));
    });
}

void DbeEngine::dbe_GoTop() {
    guarded(0, [&] {
        cur().goTop();
        return 0;
    });
}

void DbeEngine::dbe_GoBottom() {
    guarded(0, [&] {
        cur().goBottom();
        return 0;
    });
}

void DbeEngine::dbe_Skip(long n) {
    guarded(0, [&] {
        cur().skip(n);
        return 0;
    });
}

bool DbeEngine::dbe_Bof() {
    return guarded(true, [&] { return cur().bof(); });
}

bool DbeEngine::dbe_Eof() {
    return guarded(true, [&] { return cur().eof(); });
}

long DbeEngine::dbe_RecNo() {
    return guarded(0L, [&] { return static_cast<long>(cur().recno()); });
}

long DbeEngine::dbe_RecCount() {
    return guarded(0L, [&] { return static_cast<long>(cur().recordCount()); });
}

void DbeEngine::dbe_Refresh() {
    guarded(0, [&] {
        cur().refresh();
        return 0;
    });
}

bool DbeEngine::dbe_Seek(std::string_view key) {
    return guarded(false, [&] { return cur().seek(key); });
}

// ---------------------------------------------------------------- records

std::string DbeEngine::dbe_GetRecord() {
    return guarded(std::string(), [&] { return std::string(cur().currentRecord()); });
}

bool DbeEngine::dbe_PutRecord(std::string_view record) {
    return guarded(false, [&] {
        cur().putRecord(record);
        return true;
    });
}

bool DbeEngine::dbe_AppendBlank() {
    return guarded(false, [&] {
        cur().appendBlank();
        return true;
    });
}

bool DbeEngine::dbe_Delete() {
    return guarded(false, [&] {
        cur().setDeleted(true);
        return true;
    });
}

bool DbeEngine::dbe_Recall() {
    return guarded(false, [&] {
        cur().setDeleted(false);
        return true;
    });
}

bool DbeEngine::dbe_Deleted() {
    return guarded(false, [&] { return cur().deleted(); });
}

bool DbeEngine::dbe_Rlock(long recno) {
    return guarded(false, [&] { return recno > 0 && cur().lockRecord(static_cast<std::uint32_t>(recno)); });
}

void DbeEngine::dbe_Unlock(long recno) {
    guarded(0, [&] {
        if (recno <= 0)
            cur().unlockAll();
        else
            cur().unlockRecord(static_cast<std::uint32_t>(recno));
        return 0;
    });
}

bool DbeEngine::dbe_Commit() {
    return guarded(false, [&] {
        cur().commit();
        return true;
    });
}

bool DbeEngine::dbe_EvalLogical(std::string_view expression) {
    // A bad expression is an error and false, never "true for every record".
    return guarded(false, [&] { return cur().evalLogical(expression); });
}

bool DbeEngine::dbe_Pack() {
    return guarded(false, [&] {
        cur().pack();
        return true;
    });
}

// ---------------------------------------------------------------- fields

int DbeEngine::dbe_FieldCount() {
    return guarded(0, [&] { return static_cast<int>(cur().schema().size()); });
}

std::string DbeEngine::dbe_FieldName(int index) {
    return guarded(std::string(), [&] {
        const auto& s = cur().schema();
        if (index < 1 || index > static_cast<int>(s.size()))
            return std::string();
        return s[static_cast<std::size_t>(index - 1)].name;
    });
}

char DbeEngine::dbe_FieldType(std::string_view name) {
    return guarded(' ', [&] { return typeLetter(cur().schema()[static_cast<std::size_t>(field(name))].type); });
}

int DbeEngine::dbe_FieldWidth(std::string_view name) {
    return guarded(0, [&] { return cur().schema()[static_cast<std::size_t>(field(name))].width; });
}

int DbeEngine::dbe_FieldDecimals(std::string_view name) {
    return guarded(0, [&] { return cur().schema()[static_cast<std::size_t>(field(name))].decimals; });
}

std::string DbeEngine::dbe_GetString(std::string_view name) {
    return guarded(std::string(), [&] {
        const FieldDef& f = cur().schema()[static_cast<std::size_t>(field(name))];
        if (f.type == FieldType::Memo)
            return cur().memo(field(name));
        return cp1252ToUtf8(fieldBytes(cur().currentRecord(), f));
    });
}

std::string DbeEngine::dbe_GetTrimString(std::string_view name) { return rtrim(dbe_GetString(name)); }

double DbeEngine::dbe_GetDouble(std::string_view name) {
    return guarded(0.0, [&] {
        const FieldDef& f = cur().schema()[static_cast<std::size_t>(field(name))];
        return readNumber(cur().currentRecord(), f).value_or(0.0);
    });
}

long DbeEngine::dbe_GetInteger(std::string_view name) { return std::lround(dbe_GetDouble(name)); }

bool DbeEngine::dbe_GetLogical(std::string_view name) {
    return guarded(false, [&] {
        return readLogical(cur().currentRecord(), cur().schema()[static_cast<std::size_t>(field(name))]);
    });
}

XDate DbeEngine::dbe_GetDate(std::string_view name) {
    return guarded(XDate{}, [&] {
        return readDate(cur().currentRecord(), cur().schema()[static_cast<std::size_t>(field(name))]);
    });
}

std::string DbeEngine::dbe_GetMemo(std::string_view name) {
    return guarded(std::string(), [&] { return cur().memo(field(name)); });
}

bool DbeEngine::dbe_Replace(std::string_view name, std::string_view text) {
    return guarded(false, [&] {
        cur().replace(field(name), text);
        return true;
    });
}

bool DbeEngine::dbe_Replace(std::string_view name, int type, std::string_view value) {
    if (type != kReplaceBlobFile)
        return dbe_Replace(name, value);
    return guarded(false, [&] {
        const std::filesystem::path file(value);
        std::ifstream in(file, std::ios::binary);
        if (!in)
            throw TableError(file, "cannot read the file for the memo");
        std::ostringstream data;
        data << in.rdbuf();
        cur().replaceMemo(field(name), data.str());
        return true;
    });
}

bool DbeEngine::dbe_ReplaceNumber(std::string_view name, std::optional<double> value) {
    return guarded(false, [&] {
        cur().replaceNumber(field(name), value);
        return true;
    });
}

bool DbeEngine::dbe_ReplaceLogical(std::string_view name, bool value) {
    return guarded(false, [&] {
        cur().replaceLogical(field(name), value);
        return true;
    });
}

bool DbeEngine::dbe_ReplaceDate(std::string_view name, const XDate& value) {
    return guarded(false, [&] {
        cur().replaceDate(field(name), value);
        return true;
    });
}

bool DbeEngine::dbe_ReplaceMemo(std::string_view name, std::string_view bytes) {
    return guarded(false, [&] {
        cur().replaceMemo(field(name), bytes);
        return true;
    });
}

bool DbeEngine::dbe_BlobToFile(std::string_view name, const std::filesystem::path& file) {
    return guarded(false, [&] {
        const std::string data = cur().memo(field(name));
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        if (!out)
            throw TableError(file, "cannot write the memo to the file");
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!out)
            throw TableError(file, "writing the memo failed");
        return true;
    });
}

} // namespace faxlog
