// The table engine: numbered work areas with aliases, each an open table, and the dbe_
// operations the fax log uses, acting on the selected work area.
//
// Operations report failure the way callers of such an engine expect: a zero, false or
// empty result, with the reason in dbe_LastError(). At error level 2 they throw instead.
#pragma once

#include "faxlog/dbf_schema.h"
#include "faxlog/work_area.h"
#include "faxlog/xbase_date.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace faxlog {

// dbe_Use modes and the one driver: DBF data, ".CDX" compound index, ".FPT" memo file.
constexpr int kModeShared = 0;
constexpr int kModeReadOnly = 1;
constexpr int kModeExclusive = 2;
constexpr int kDriverFoxCdx = 2;
// dbe_Replace type code: the value is the name of a file whose bytes go into a memo field.
constexpr int kReplaceBlobFile = 8192;

class DbeEngine {
public:
    DbeEngine() = default;
    ~DbeEngine();
    DbeEngine(const DbeEngine&) = delete;
    DbeEngine& operator=(const DbeEngine&) = delete;

    // --- engine ---
    std::string dbe_Version() const;
    int dbe_SetStringType(int type);      // returns the previous setting
    int dbe_ErrorLevel(int level);        // 0 quiet, 1 record, 2 throw; returns previous
    bool dbe_SetDeleted(bool skip);       // returns the previous setting
    long dbe_SysProp(int property, long value); // returns the previous value
    const std::string& dbe_LastError() const { return lastError_; }

    // --- work areas ---
    int dbe_Select(int area);             // returns the previously selected area
    int dbe_WorkArea(std::string_view alias) const; // 0 when no area has that alias
    int dbe_Use(const std::filesystem::path& path, std::string_view alias, int mode, int driver);
    void dbe_Close();
    void dbe_CloseAll();

    // --- creating a table ---
    int dbe_CreateNew(const std::filesystem::path& path, std::string_view alias, int driver, int fieldCount);
    bool dbe_CreateField(std::string_view name, std::string_view type, int width, int decimals);
    int dbe_CreateExec(); // the new table, open exclusively in a new work area; 0 on failure

    // --- index tags ---
    int dbe_IndexTag(std::string_view file, std::string_view tag, std::string_view key, int option,
                    bool descending, std::string_view condition);
    int dbe_TagArea(std::string_view tag);
    std::string dbe_TagName(int order);
    int dbe_IndexOrd();
    int dbe_SetOrder(int order);          // returns the previous order
    int dbe_IndexOpen(std::string_view file);
    void dbe_CloseIndexes();
    int dbe_TagCount();

    // --- views ---
    bool dbe_Query(std::string_view expression);
    long dbe_QueryRecCount();
    std::string dbe_DBFilter();
    bool dbe_SetScope(std::optional<std::string> top, std::optional<std::string> bottom);

    // --- navigation ---
    bool dbe_Go(long recno);
    void dbe_GoTop();
    void dbe_GoBottom();
    void dbe_Skip(long n);
    bool dbe_Bof();
    bool dbe_Eof();
    long dbe_RecNo();
    long dbe_RecCount();
    bool dbe_Seek(std::string_view key);
    void dbe_Refresh(); // stay on the current record while visible, else its neighbour

    // --- records ---
    std::string dbe_GetRecord();
    bool dbe_PutRecord(std::string_view record);
    bool dbe_AppendBlank();
    bool dbe_Delete();
    bool dbe_Recall();
    bool dbe_Deleted();
    bool dbe_Rlock(long recno);
    void dbe_Unlock(long recno); // 0: every lock of the area
    bool dbe_Commit();
    bool dbe_EvalLogical(std::string_view expression);
    bool dbe_Pack();

    // --- fields ---
    int dbe_FieldCount();
    std::string dbe_FieldName(int index); // 1-based
    char dbe_FieldType(std::string_view field);
    int dbe_FieldWidth(std::string_view field);
    int dbe_FieldDecimals(std::string_view field);
    std::string dbe_GetString(std::string_view field);     // as stored, blank-padded, UTF-8
    std::string dbe_GetTrimString(std::string_view field); // trailing blanks removed
    double dbe_GetDouble(std::string_view field);
    long dbe_GetInteger(std::string_view field);
    bool dbe_GetLogical(std::string_view field);
    XDate dbe_GetDate(std::string_view field);
    std::string dbe_GetMemo(std::string_view field);
    bool dbe_Replace(std::string_view field, std::string_view text); // any type, from text
    bool dbe_Replace(std::string_view field, int type, std::string_view value); // kReplaceBlobFile
    bool dbe_ReplaceNumber(std::string_view field, std::optional<double> value);
    bool dbe_ReplaceLogical(std::string_view field, bool value);
    bool dbe_ReplaceDate(std::string_view field, const XDate& value);
    bool dbe_ReplaceMemo(std::string_view field, std::string_view bytes);
    bool dbe_BlobToFile(std::string_view field, const std::filesystem::path& file);

    // The selected area's table, for row-wise readers such as a grid model.
    WorkArea* currentArea();
    WorkArea* area(int n);
    int selected() const { return current_; }

private:
    template <typename T, typename F>
    T guarded(T fallback, F&& body);
    WorkArea& cur();
    int field(std::string_view name);

    struct PendingCreate {
        std::filesystem::path path;
        std::string alias;
        std::vector<FieldDef> fields;
    };

    std::map<int, std::unique_ptr<WorkArea>> areas_;
    int current_ = 0;
    EngineSwitches switches_;
    int stringType_ = 1;
    int errorLevel_ = 1;
    std::map<int, long> sysProps_;
    std::optional<PendingCreate> create_;
    std::string lastError_;
};

} // namespace faxlog
