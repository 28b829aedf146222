// Wrappers over the engine as the program's windows use it: TDbeEnv holds the engine
// switches, and one TDbeTable per table selects that table's work area for each call and
// restores the previous selection afterwards. Failures throw TableError.
#pragma once

#include "faxlog/dbe_engine.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace faxlog {

class TDbeEnv {
public:
    explicit TDbeEnv(DbeEngine& engine);
    // Start-up settings: string type 1, error level 1; throws when the engine has no version.
    void start();
    void setDeleted(bool skip);
    bool deleted() const { return deleted_; }
    void setSysProp(int property, long value);
    DbeEngine& engine() { return engine_; }

private:
    DbeEngine& engine_;
    bool deleted_ = false;
};

class TDbeTable {
public:
    explicit TDbeTable(DbeEngine& engine) : engine_(engine) {}
    ~TDbeTable();
    TDbeTable(const TDbeTable&) = delete;
    TDbeTable& operator=(const TDbeTable&) = delete;

    DbeEngine& engine() { return engine_; }
    // The alias for a table: base name cut to 8 characters, "~", "-" and blanks made "_",
    // then "_1", "_2", ... while that alias is in use.
    static std::string aliasFor(const std::filesystem::path& table, const DbeEngine& engine);

    void use(const std::filesystem::path& table, int mode = kModeExclusive, int driver = kDriverFoxCdx);
    bool isOpen() const { return area_ != 0; }
    int workArea() const { return area_; }
    const std::filesystem::path& path() const { return path_; }
    void close();

    // Index tags
    int indexTag(std::string_view tag, std::string_view key, bool descending, std::string_view condition);
    int tagArea(std::string_view tag);
    std::string tagName(int order);
    int indexOrd();
    void setOrder(int order);
    void closeIndexes();
    void indexOpen();

    // Views
    void query(std::string_view expression);
    long queryRecCount();
    std::string dbFilter();
    void setScope(std::optional<std::string> top, std::optional<std::string> bottom);

    // Navigation
    bool go(long recno);
    void goTop();
    void goBottom();
    void skip(long n = 1);
    bool bof();
    bool eof();
    long recNo();
    long recCount();
    bool seek(std::string_view key);
    // After a change: stays on the current record while it is visible, else moves to its
    // next visible neighbour (or the previous one at the end).
    void refresh();
    // True when the position is a record (not the end-of-table phantom).
    bool hasRecord();

    // Records
    void appendBlank();
    std::string getRecord();
    void putRecord(std::string_view record);
    void deleteRecord();
    void recall();
    bool deleted();
    bool rlock(long recno);
    void unlock(long recno = 0);
    void commit();
    bool evalLogical(std::string_view expression);
    void pack();

    // Fields
    int fieldCount();
    std::string fieldName(int index);
    char fieldType(std::string_view field);
    int fieldWidth(std::string_view field);
    int fieldDecimals(std::string_view field);
    std::string getString(std::string_view field);
    std::string getTrimString(std::string_view field);
    long getInteger(std::string_view field);
    double getDouble(std::string_view field);
    bool getLogical(std::string_view field);
    XDate getDate(std::string_view field);
    std::string getMemo(std::string_view field);
    void replace(std::string_view field, std::string_view text);
    void replaceNumber(std::string_view field, std::optional<double> value);
    void replaceLogical(std::string_view field, bool value);
    void replaceDate(std::string_view field, const XDate& value);
    void replaceMemo(std::string_view field, std::string_view bytes);
    void replaceFromFile(std::string_view field, const std::filesystem::path& file); // type 8192
    bool blobToFile(std::string_view field, const std::filesystem::path& file);

    // Rows as a grid shows them (order, query, deleted filter and scope applied): the
    // count and the record number of row i, from a cached mapping.
    std::size_t rowCount();
    long rowRecNo(std::size_t row);
    std::optional<std::size_t> rowOf(long recno);

private:
    class Selection;
    [[noreturn]] void fail(const std::string& operation);
    void check(bool ok, const char* operation);

    DbeEngine& engine_;
    int area_ = 0;
    std::filesystem::path path_;
};

} // namespace faxlog
