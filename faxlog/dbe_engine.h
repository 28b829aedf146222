// The table engine: numbered work areas with aliases, each an open table, and the sx_
// operations the fax log uses, acting on the selected work area.
//
// Operations report failure the way callers of such an engine expect: a zero, false or
// empty result, with the reason in sx_LastError(). At error level 2 they throw instead.
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

// sx_Use modes and the one driver: DBF data, ".CDX" compound index, ".FPT" memo file.
constexpr int kModeShared = 0;
constexpr int kModeReadOnly = 1;
constexpr int kModeExclusive = 2;
constexpr int kDriverFoxCdx = 2;
// sx_Replace type code: the value is the name of a file whose bytes go into a memo field.
constexpr int kReplaceBlobFile = 8192;

class SxEngine {
public:
    SxEngine() = default;
    ~SxEngine();
    SxEngine(const SxEngine&) = delete;
    SxEngine& operator=(const SxEngine&) = delete;

    // --- engine ---
    std::string sx_Version() const;
    int sx_SetStringType(int type);      // returns the previous setting
    int sx_ErrorLevel(int level);        // 0 quiet, 1 record, 2 throw; returns previous
    bool sx_SetDeleted(bool skip);       // returns the previous setting
    long sx_SysProp(int property, long value); // returns the previous value
    const std::string& sx_LastError() const { return lastError_; }

    // --- work areas ---
    int sx_Select(int area);             // returns the previously selected area
    int sx_WorkArea(std::string_view alias) const; // 0 when no area has that alias
    int sx_Use(const std::filesystem::path& path, std::string_view alias, int mode, int driver);
    void sx_Close();
    void sx_CloseAll();

    // --- creating a table ---
    int sx_CreateNew(const std::filesystem::path& path, std::string_view alias, int driver, int fieldCount);
    bool sx_CreateField(std::string_view name, std::string_view type, int width, int decimals);
    int sx_CreateExec(); // the new table, open exclusively in a new work area; 0 on failure

    // --- index tags ---
    int sx_IndexTag(std::string_view file, std::string_view tag, std::string_view key, int option,
                    bool descending, std::string_view condition);
    int sx_TagArea(std::string_view tag);
    std::string sx_TagName(int order);
    int sx_IndexOrd();
    int sx_SetOrder(int order);          // returns the previous order
    int sx_IndexOpen(std::string_view file);
    void sx_CloseIndexes();
    int sx_TagCount();

    // --- views ---
    bool sx_Query(std::string_view expression);
    long sx_QueryRecCount();
    std::string sx_DBFilter();
    bool sx_SetScope(std::optional<std::string> top, std::optional<std::string> bottom);

    // --- navigation ---
    bool sx_Go(long recno);
    void sx_GoTop();
    void sx_GoBottom();
    void sx_Skip(long n);
    bool sx_Bof();
    bool sx_Eof();
    long sx_RecNo();
    long sx_RecCount();
    bool sx_Seek(std::string_view key);
    void sx_Refresh(); // stay on the current record while visible, else its neighbour

    // --- records ---
    std::string sx_GetRecord();
    bool sx_PutRecord(std::string_view record);
    bool sx_AppendBlank();
    bool sx_Delete();
    bool sx_Recall();
    bool sx_Deleted();
    bool sx_Rlock(long recno);
    void sx_Unlock(long recno); // 0: every lock of the area
    bool sx_Commit();
    bool sx_EvalLogical(std::string_view expression);
    bool sx_Pack();

    // --- fields ---
    int sx_FieldCount();
    std::string sx_FieldName(int index); // 1-based
    char sx_FieldType(std::string_view field);
    int sx_FieldWidth(std::string_view field);
    int sx_FieldDecimals(std::string_view field);
    std::string sx_GetString(std::string_view field);     // as stored, blank-padded, UTF-8
    std::string sx_GetTrimString(std::string_view field); // trailing blanks removed
    double sx_GetDouble(std::string_view field);
    long sx_GetInteger(std::string_view field);
    bool sx_GetLogical(std::string_view field);
    XDate sx_GetDate(std::string_view field);
    std::string sx_GetMemo(std::string_view field);
    bool sx_Replace(std::string_view field, std::string_view text); // any type, from text
    bool sx_Replace(std::string_view field, int type, std::string_view value); // kReplaceBlobFile
    bool sx_ReplaceNumber(std::string_view field, std::optional<double> value);
    bool sx_ReplaceLogical(std::string_view field, bool value);
    bool sx_ReplaceDate(std::string_view field, const XDate& value);
    bool sx_ReplaceMemo(std::string_view field, std::string_view bytes);
    bool sx_BlobToFile(std::string_view field, const std::filesystem::path& file);

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
